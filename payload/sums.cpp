// Formatting and parsing of the "SUMS" records.
#include "payload/sums.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace sums {

std::vector<uint8_t> Format(const std::vector<Record>& records) {
  std::vector<uint8_t> bytes;
  for (const Record& r : records) {
    const bool printable =
        std::all_of(r.Name.begin(), r.Name.end(), [](char c) { return c > 0x20 && c < 0x7F; });
    if (r.Name.empty() || r.Name.size() > kNameSize || !printable)
      throw std::invalid_argument("resource name must be 1 to 8 printable ASCII characters: " + r.Name);
    uint8_t record[kRecordSize] = {};
    std::memcpy(record, r.Name.data(), r.Name.size());
    std::memcpy(record + kNameSize, r.Digest.data(), r.Digest.size());
    bytes.insert(bytes.end(), record, record + kRecordSize);
  }
  return bytes;
}

std::vector<Record> Parse(const uint8_t* data, size_t size) {
  std::vector<Record> records;
  for (size_t at = 0; at + kRecordSize <= size; at += kRecordSize) {
    const char* name = reinterpret_cast<const char*>(data + at);
    Record r;
    r.Name.assign(name, std::find(name, name + kNameSize, '\0'));
    std::memcpy(r.Digest.data(), data + at + kNameSize, r.Digest.size());
    records.push_back(r);
  }
  return records;
}

bool Find(const uint8_t* data, size_t size, const std::string& name, TSha256::Digest* digest) {
  for (const Record& r : Parse(data, size)) {
    if (r.Name != name) continue;
    *digest = r.Digest;
    return true;
  }
  return false;
}

}  // namespace sums
