// The "SUMS" resource: the SHA-256 of each payload's decoded file, so that a damaged container
// cannot install a damaged file. A sequence of 40-byte records in install order: the payload's
// resource name in ASCII, zero-padded to 8 bytes, then the 32-byte digest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/sha256.h"

namespace sums {

constexpr size_t kNameSize = 8;
constexpr size_t kRecordSize = kNameSize + 32;
constexpr char kResourceName[] = "SUMS";

struct Record {
  std::string Name;  // 1 to 8 ASCII characters
  TSha256::Digest Digest;
};

// The records as the resource holds them; a name that is empty, longer than 8 bytes or not
// printable ASCII raises std::invalid_argument.
std::vector<uint8_t> Format(const std::vector<Record>& records);

// Every whole record of the resource's bytes; a trailing partial record is not one.
std::vector<Record> Parse(const uint8_t* data, size_t size);

// The digest recorded for name; false when no record carries that name.
bool Find(const uint8_t* data, size_t size, const std::string& name, TSha256::Digest* digest);

}  // namespace sums
