// The streams the decoding benchmarks hand to UnpackResource: the container read in place (as
// the resource stream does) and the output written into a buffer allocated once (as LZ4 does).
#pragma once

#include <cstdint>
#include <cstring>

#include "base/stream.h"

namespace bench {

using SpanStream = TSpanStream;

// The buffer must hold the whole output.
class BufferStream : public TStream {
 public:
  explicit BufferStream(uint8_t* out) : out_(out) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    std::memcpy(out_ + position_, buffer, static_cast<size_t>(count));
    position_ += static_cast<size_t>(count);
    return count;
  }

 private:
  uint8_t* out_;
  size_t position_ = 0;
};

}  // namespace bench
