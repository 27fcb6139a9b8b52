// Hand-made containers for the decoder tests, and a plain reference decoder to compare with.
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <vector>

#include "base/failure.h"
#include "payload/unpack.h"

namespace testing_payload {

// Writes a body token by token, with a flag byte before every group of eight.
class BodyBuilder {
 public:
  BodyBuilder& Literal(uint8_t b) {
    Token(false);
    body_.push_back(b);
    produced_ += 1;
    return *this;
  }
  // Any control token, given as its bytes, producing `length` bytes.
  BodyBuilder& Control(std::initializer_list<uint8_t> bytes, int64_t length) {
    Token(true);
    body_.insert(body_.end(), bytes);
    produced_ += length;
    return *this;
  }
  BodyBuilder& Run(const std::vector<uint8_t>& bytes) {
    Token(true);
    body_.push_back(static_cast<uint8_t>(((bytes.size() - 9) << 2) | 3));
    body_.insert(body_.end(), bytes.begin(), bytes.end());
    produced_ += static_cast<int64_t>(bytes.size());
    return *this;
  }
  BodyBuilder& Short(unsigned distance, unsigned length) {
    return Control({static_cast<uint8_t>(((distance - 1) << 2) | (length - 2))}, length);
  }
  BodyBuilder& Near(unsigned distance, unsigned length) {
    unsigned d = distance - 1;
    return Control({static_cast<uint8_t>(0x80 | (d >> 4)), static_cast<uint8_t>(((d & 15) << 4) | (length - 3))},
                   length);
  }
  BodyBuilder& Far(unsigned distance, unsigned length) {
    unsigned d = distance - 1;
    uint8_t g = length == 4096 ? 0xFF : length == 1024 ? 0xFE : length == 256 ? 0xFD : uint8_t(length - 3);
    return Control({static_cast<uint8_t>(0xC0 | (d >> 8)), static_cast<uint8_t>(d & 0xFF), g}, length);
  }
  // Repeats the last byte until exactly `total` bytes are produced (needs one byte produced).
  BodyBuilder& FillTo(int64_t total) {
    while (total - produced_ >= 4096) Far(1, 4096);
    while (total - produced_ >= 3) Far(1, static_cast<unsigned>(std::min<int64_t>(255, total - produced_)));
    while (produced_ < total) Literal(0x55);
    return *this;
  }
  // Appends the flag byte that a final full group may leave out.
  BodyBuilder& TrailingFlag() {
    if (count_ != 8) throw std::logic_error("trailing flag only after a full group");
    body_.push_back(0);
    return *this;
  }

  const std::vector<uint8_t>& Body() const { return body_; }
  int64_t Produced() const { return produced_; }
  int Tokens() const { return tokens_; }

 private:
  void Token(bool control) {
    if (count_ == 8 || body_.empty()) {
      flagAt_ = body_.size();
      body_.push_back(0);
      count_ = 0;
    }
    if (control) body_[flagAt_] |= static_cast<uint8_t>(0x80 >> count_);
    ++count_;
    ++tokens_;
  }

  std::vector<uint8_t> body_;
  size_t flagAt_ = 0;
  int count_ = 0;
  int tokens_ = 0;
  int64_t produced_ = 0;
};

inline std::vector<uint8_t> Container(const std::vector<uint8_t>& body, int32_t decodedSize) {
  std::vector<uint8_t> c(packed::kHeaderSize);
  packed::WriteHeader(c.data(), static_cast<int32_t>(body.size()), decodedSize);
  c.insert(c.end(), body.begin(), body.end());
  return c;
}

// The format's meaning written as plainly as possible: one byte at a time, every input byte
// and every distance checked, nothing read beyond the body (the flag byte after a last full
// group may be missing: it is then zero, and any further token fails). Decodes the P body bytes
// at body until `decoded` bytes are produced, into out (grown as needed, never shrunk: its size
// is not the output's; without out only the lengths are followed); returns the output length.
// Malformed input raises EReadError. When ends is given, the output length after each token (and
// the flag byte fetched after it) is appended to it as decoding goes, so it keeps the tokens
// before a failure.
#if defined(__clang__)
// Under the fuzzer the reference is left out of the coverage feedback (and its cost): the fuzzer
// is to explore the decoder, not it.
__attribute__((no_sanitize("coverage")))
#endif
inline size_t ReferenceBody(const uint8_t* body, size_t size, int64_t decoded, std::vector<uint8_t>* out,
                            std::vector<int64_t>* ends = nullptr) {
  size_t ip = 0;
  auto take = [&]() -> unsigned {
    if (ip >= size) throw EReadError();
    return body[ip++];
  };
  auto takeFlag = [&]() -> unsigned { return ip < size ? body[ip++] : 0; };
  if (out && out->size() < static_cast<size_t>(decoded) + packed::kMaxCopy)
    out->resize(static_cast<size_t>(decoded) + packed::kMaxCopy);
  uint8_t* const o = out ? out->data() : nullptr;
  size_t produced = 0;
  unsigned flag = takeFlag();
  int group = 0;
  while (static_cast<int64_t>(produced) < decoded) {
    if (flag & 0x80) {
      unsigned e = take();
      size_t d = 0, n = 0;
      if (e < 0x80 && (e & 3) == 3) {
        for (unsigned i = 0; i < (e >> 2) + 9; ++i, ++produced) {
          const unsigned b = take();
          if (o) o[produced] = static_cast<uint8_t>(b);
        }
      } else {
        if (e < 0x80) {
          d = (e >> 2) + 1;
          n = (e & 3) + 2;
        } else if (e < 0xC0) {
          unsigned f = take();
          d = ((e & 0x3F) << 4) + (f >> 4) + 1;
          n = (f & 15) + 3;
        } else {
          unsigned f = take(), g = take();
          d = ((e & 0x3F) << 8) + f + 1;
          n = g == 0xFF ? 4096 : g == 0xFE ? 1024 : g == 0xFD ? 256 : g + 3;
        }
        if (d > produced) throw EReadError();
        if (o) {
          // Byte by byte, o[p + i] = o[p + i - d], in non-overlapping moves: the first d bytes
          // (or all n), then the repeating pattern doubled from what is already written.
          uint8_t* const p = o + produced;
          std::memcpy(p, p - d, std::min(d, n));
          for (size_t k = d; k < n; k *= 2) std::memcpy(p + k, p, std::min(k, n - k));
        }
        produced += n;
      }
    } else {
      const unsigned b = take();
      if (o) o[produced] = static_cast<uint8_t>(b);
      ++produced;
    }
    flag = (flag << 1) & 0xFF;
    if (++group == 8) {
      flag = takeFlag();
      group = 0;
    }
    if (ends) ends->push_back(static_cast<int64_t>(produced));
  }
  return produced;
}

// The same for a whole container, header included.
inline std::vector<uint8_t> ReferenceDecode(const std::vector<uint8_t>& container) {
  if (container.size() < 16) throw EReadError();
  packed::Header h = packed::ParseHeader(container.data());
  if (h.packedSize < 0 || h.decodedSize < 0) throw EReadError();
  if (container.size() - 16 < static_cast<size_t>(h.packedSize)) throw EReadError();
  std::vector<uint8_t> out;
  out.resize(ReferenceBody(container.data() + 16, static_cast<size_t>(h.packedSize), h.decodedSize, &out));
  return out;
}

}  // namespace testing_payload
