// The PackedResource container and its streaming decoder.
//
// A container is a 16-byte header (signature 59 42 83 03, packed size P, decoded size D,
// four reserved bytes; little-endian, signed 32-bit sizes) followed by P body bytes of flag
// bytes and LZ77 tokens. UnpackResource takes the header and the whole body, decodes through a
// 3 MiB window and writes the output in 1 MiB blocks plus one final write. A source that holds
// its bytes in memory (the resource stream, TMemoryStream) lends the body where it lies; any
// other source is read into a buffer of P bytes. UnpackStreamed reads the body a piece at a
// time instead, for tools that decode files too large to hold.
//
// Safety promise: whatever the bytes of the container, the decoder never reads or writes outside
// its window and the body's P bytes (16 + P bytes of the source, not one more). A malformed
// container (negative sizes, tokens running past the body, a copy reaching before the first
// output byte) fails with EReadError; memory that cannot be had fails with EOutOfMemory before
// the body is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/stream.h"

namespace packed {

constexpr int32_t kHeaderSize = 16;
constexpr uint8_t kSignature[4] = {0x59, 0x42, 0x83, 0x03};
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

// The decoder's buffers, for a caller that decodes many containers one after another (the
// fuzzer): kept between calls, grown when a body needs more, so nothing is allocated per call.
struct Workspace {
  std::unique_ptr<uint8_t[]> input;  // the body, when the source cannot lend it
  size_t inputSize = 0;
  std::unique_ptr<uint8_t[]> window;
};

// UnpackResource with the buffers taken from, and left in, the workspace. Output and failures
// are the same.
void Unpack(TStream& source, TStream& destination, Workspace& workspace);

// Body bytes UnpackStreamed holds at once, and the least it may be given.
constexpr size_t kStreamChunk = 1024 * 1024;
constexpr size_t kMinStreamChunk = 1024;

// The same decoding and output, with the body read from source chunk bytes at a time as decoding
// goes: memory is the window and one chunk whatever P is. A body shorter than P fails with
// EReadError when decoding reaches its end, after the blocks before it have been written.
void UnpackStreamed(TStream& source, TStream& destination, Workspace& workspace, size_t chunk = kStreamChunk);

}  // namespace packed

// Decodes one container from source (positioned at its header) to destination. Neither stream
// is seeked or closed. Takes exactly 16 + P bytes of the source; a short body fails before
// anything is written.
void UnpackResource(TStream& source, TStream& destination);
