// The streams the decoding benchmarks hand to UnpackResource: the container read in place (as
// the resource stream does) and the output written into a buffer allocated once (as LZ4 does).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/failure.h"
#include "base/stream.h"

namespace bench {

class SpanStream : public TStream {
 public:
  SpanStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int32_t Read(void* buffer, int32_t count) override {
    const size_t n = std::min(static_cast<size_t>(count), size_ - position_);
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return static_cast<int32_t>(n);
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  bool Borrow(int32_t count, const uint8_t** bytes) override {
    if (count < 0 || size_ - position_ < static_cast<size_t>(count)) throw EReadError();
    *bytes = data_ + position_;
    position_ += static_cast<size_t>(count);
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

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
