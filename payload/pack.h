// Encoder of PackedResource containers (see payload/unpack.h for the format).
//
// The parse is optimal for the token grammar's cost in bits (a flag bit per token plus the
// token's bytes), as a shortest path over the matches a hash-chain search finds within the
// 16 KiB reach of the copy forms. The input is parsed in blocks, each with the 16 KiB before it
// as history, several blocks at once on their own threads; memory stays bounded whatever the
// input's size. Every container it makes obeys the format's rules: the body starts with a flag
// byte and has one after every eighth token (none after a final full group), no copy reaches
// before the first byte, every length fits its form and the last token ends exactly at the
// decoded size. Each copy is checked against the input before it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace packed {

struct PackOptions {
  // Hash-chain candidates examined per position; more finds longer or nearer matches.
  int maxChain = 256;
  // A match this long is taken without searching the positions it covers.
  int niceLength = 96;
  // Blocks parsed at once; 0 takes the machine's cores, at most kMaxThreads.
  int threads = 0;
};

// Bytes parsed as one block (after its 16 KiB of history), and the most blocks in flight: with
// 10 bytes of parse state per block byte and about 1 MiB of match tables per thread, the packer
// stays far below 64 MiB whatever the input's size.
constexpr size_t kPackBlock = 512 * 1024;
constexpr int kMaxThreads = 4;

// Delivers up to count bytes of input into buffer; 0 at the end.
using PackReader = std::function<size_t(uint8_t* buffer, size_t count)>;
// Takes the next count bytes of the body.
using PackWriter = std::function<void(const uint8_t* bytes, size_t count)>;
// Told the input bytes packed so far, after every round of blocks.
using PackProgress = std::function<void(uint64_t done)>;

struct BodySize {
  uint64_t decoded = 0;
  uint64_t packed = 0;
};

// Packs everything read into a body (no header), streamed to write as it is made. An input or
// body larger than a signed 32-bit size raises std::length_error.
BodySize PackBody(const PackReader& read, const PackWriter& write, const PackOptions& options = {},
                  const PackProgress& progress = {});

// Packs size bytes into a complete container (header and body), in memory.
std::vector<uint8_t> Pack(const uint8_t* data, size_t size, const PackOptions& options = {});
std::vector<uint8_t> Pack(const std::vector<uint8_t>& data, const PackOptions& options = {});

}  // namespace packed
