// The PackedResource container and its streaming decoder.
//
// A container is a 16-byte header (signature 59 42 83 03, packed size P, decoded size D,
// four reserved bytes; little-endian, signed 32-bit sizes) followed by P body bytes of flag
// bytes and LZ77 tokens. UnpackResource reads the header and the whole body, decodes through a
// 3 MiB window and writes the output in 1 MiB blocks plus one final write.
//
// Safety promise: whatever the bytes of the container, the decoder never reads or writes outside
// its two buffers. A malformed container (negative sizes, tokens running past the body and its
// 256 spare bytes, a copy reaching before the first output byte) fails with EReadError; memory
// that cannot be had fails with EOutOfMemory before the body is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/stream.h"

namespace packed {

constexpr int32_t kHeaderSize = 16;
constexpr uint8_t kSignature[4] = {0x59, 0x42, 0x83, 0x03};
// Bytes after the body that the input buffer holds; a trailing flag fetch may land there.
constexpr int32_t kSpareBytes = 256;
constexpr int32_t kWindowSize = 3 * 1024 * 1024;
constexpr int32_t kFlushThreshold = 2 * 1024 * 1024;
constexpr int32_t kFlushBlock = 1024 * 1024;

// Largest distance and lengths of each token form.
constexpr int32_t kMaxDistance = 16384;
constexpr int32_t kMaxCopy = 4096;

struct Header {
  int32_t packedSize = 0;
  int32_t decodedSize = 0;
};

// Reads the two size fields of a 16-byte header.
Header ParseHeader(const uint8_t* header);
// Writes a complete header (signature, sizes, reserved zero).
void WriteHeader(uint8_t* header, int32_t packedSize, int32_t decodedSize);

// The decoder's two buffers, for a caller that decodes many containers one after another (the
// fuzzer): kept between calls, grown when a body needs more, so nothing is allocated per call.
struct Workspace {
  std::unique_ptr<uint8_t[]> input;
  size_t inputSize = 0;
  std::unique_ptr<uint8_t[]> window;
};

// UnpackResource with the buffers taken from, and left in, the workspace. Output and failures
// are the same.
void Unpack(TStream& source, TStream& destination, Workspace& workspace);

}  // namespace packed

// Decodes one container from source (positioned at its header) to destination. Neither stream
// is seeked or closed. Reads exactly 16 + P bytes of the source.
void UnpackResource(TStream& source, TStream& destination);
