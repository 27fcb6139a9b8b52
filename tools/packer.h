// Encoder of PackedResource containers (see payload/unpack.h for the format).
//
// The parse is optimal for the token grammar's cost in bits (a flag bit per token plus the
// token's bytes), as a shortest path over the matches a hash-chain search finds within the
// 16 KiB reach of the copy forms. Every container it makes obeys the format's rules: the body
// starts with a flag byte and has one after every eighth token (none after a final full group),
// no copy reaches before the first byte, every length fits its form and the last token ends
// exactly at the decoded size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace packed {

struct PackOptions {
  // Hash-chain candidates examined per position; more finds longer or nearer matches.
  int maxChain = 512;
  // A match this long is taken without searching the positions it covers.
  int niceLength = 512;
};

// Packs size bytes into a complete container (header and body). Inputs whose size or body
// would not fit a signed 32-bit field raise std::length_error.
std::vector<uint8_t> Pack(const uint8_t* data, size_t size, const PackOptions& options = {});
std::vector<uint8_t> Pack(const std::vector<uint8_t>& data, const PackOptions& options = {});

}  // namespace packed
