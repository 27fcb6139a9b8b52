// Streaming decoder of PackedResource containers.
#include "payload/unpack.h"

#include <cstring>
#include <memory>
#include <new>

#include "base/failure.h"

namespace packed {

Header ParseHeader(const uint8_t* header) {
  auto field = [header](int offset) {
    uint32_t v = uint32_t(header[offset]) | uint32_t(header[offset + 1]) << 8 |
                 uint32_t(header[offset + 2]) << 16 | uint32_t(header[offset + 3]) << 24;
    return static_cast<int32_t>(v);
  };
  return Header{field(4), field(8)};
}

void WriteHeader(uint8_t* header, int32_t packedSize, int32_t decodedSize) {
  auto put = [header](int offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[offset + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  std::memcpy(header, kSignature, 4);
  put(4, static_cast<uint32_t>(packedSize));
  put(8, static_cast<uint32_t>(decodedSize));
  put(12, 0);
}

}  // namespace packed

namespace {

using namespace packed;

// Chunked copies may write this many bytes past a token's end; the window has room to spare
// since a token starts below 2 MiB and adds at most 4 KiB.
constexpr size_t kChunk = 16;
// A literal run is copied as one fixed-size move, reading a little past its end.
constexpr size_t kRunMove = 48;
// Worst case of one group read unchecked: flag byte, eight 41-byte literal runs, the run
// move's overread and the next flag byte.
constexpr size_t kGroupInput = 1 + 8 * 41 + (kRunMove - 41) + 1;
constexpr int64_t kGroupOutput = 8 * kMaxCopy;

[[noreturn]] __attribute__((noinline, cold)) void Corrupt() { throw EReadError(); }

inline void Copy16(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, kChunk); }

// Appends n bytes taken from d bytes back, with the byte-at-a-time meaning when the source
// overlaps the bytes being written. May write up to kChunk - 1 bytes past dst + n.
inline void CopyMatch(uint8_t* dst, size_t d, size_t n) {
  if (d >= kChunk) {
    const uint8_t* src = dst - d;
    uint8_t* end = dst + n;
    do {
      Copy16(dst, src);
      dst += kChunk;
      src += kChunk;
    } while (dst < end);
    return;
  }
  if (d == 1) {
    std::memset(dst, dst[-1], n);
    return;
  }
  // The output from d bytes back is periodic with period d, so any multiple of d serves as a
  // distance once the first copy reaches back only into that periodic stretch.
  size_t step = d * ((kChunk + d - 1) / d);
  size_t head = step - d;
  size_t i = 0;
  for (; i < n && i < head; ++i) dst[i] = dst[i - d];
  for (; i < n; i += kChunk) Copy16(dst + i, dst + i - step);
}

// Decodes one token whose flag bit is 1 at in[ip]. Checked tokens test every input byte
// against the buffer end; unchecked ones rely on the caller's margin.
template <bool kChecked>
inline void ControlToken(const uint8_t* in, size_t inSize, size_t& ip, uint8_t* win, size_t& wp) {
  if (kChecked && ip >= inSize) Corrupt();
  unsigned e = in[ip++];
  uint8_t* out = win + wp;
  size_t d, n;
  if (e < 0x80) {
    if ((e & 3) == 3) {
      n = (e >> 2) + 9;
      if (kChecked) {
        if (inSize - ip < n) Corrupt();
        std::memcpy(out, in + ip, n);
      } else {
        std::memcpy(out, in + ip, kRunMove);
      }
      ip += n;
      wp += n;
      return;
    }
    d = (e >> 2) + 1;
    n = (e & 3) + 2;
    if (d > wp) Corrupt();
    if (d >= 4) {
      std::memcpy(out, out - d, 4);
    } else {
      for (size_t i = 0; i < n; ++i) out[i] = out[i - d];
    }
    wp += n;
    return;
  }
  if (e < 0xC0) {
    if (kChecked && ip >= inSize) Corrupt();
    unsigned f = in[ip++];
    d = ((e & 0x3F) << 4) + (f >> 4) + 1;
    n = (f & 0x0F) + 3;
    if (d > wp) Corrupt();
    if (d >= kChunk) {
      Copy16(out, out - d);
      if (n > kChunk) Copy16(out + kChunk, out + kChunk - d);
    } else {
      CopyMatch(out, d, n);
    }
    wp += n;
    return;
  }
  if (kChecked && inSize - ip < 2) Corrupt();
  unsigned f = in[ip];
  unsigned g = in[ip + 1];
  ip += 2;
  d = ((e & 0x3F) << 8) + f + 1;
  n = g == 0xFF ? 4096 : g == 0xFE ? 1024 : g == 0xFD ? 256 : g + 3;
  if (d > wp) Corrupt();
  CopyMatch(out, d, n);
  wp += n;
}

struct Buffer {
  explicit Buffer(size_t size) : bytes(new (std::nothrow) uint8_t[size]) {
    if (!bytes) throw EOutOfMemory();
  }
  std::unique_ptr<uint8_t[]> bytes;
};

}  // namespace

void UnpackResource(TStream& source, TStream& destination) {
  uint8_t header[kHeaderSize];
  source.ReadBuffer(header, kHeaderSize);
  const Header h = ParseHeader(header);
  if (h.packedSize < 0 || h.decodedSize < 0) Corrupt();

  const size_t inSize = static_cast<size_t>(h.packedSize) + kSpareBytes;
  Buffer input(inSize);
  Buffer window(kWindowSize);
  uint8_t* const in = input.bytes.get();
  uint8_t* const win = window.bytes.get();
  // The spare bytes are only ever taken as an unused flag byte, or by a malformed body; give
  // them a fixed value so that the output never depends on stale memory.
  std::memset(in + h.packedSize, 0, kSpareBytes);
  source.ReadBuffer(in, h.packedSize);

  const int64_t decoded = h.decodedSize;
  int64_t produced = 0;
  size_t ip = 1;
  size_t wp = 0;
  unsigned flag = in[0];
  int group = 0;

  while (produced < decoded) {
    if (group == 0 && inSize - ip >= kGroupInput && decoded - produced > kGroupOutput &&
        static_cast<int64_t>(kFlushThreshold) - static_cast<int64_t>(wp) > kGroupOutput) {
      // None of these eight tokens can reach the decoded size, a flush or the input's end.
      const size_t start = wp;
      for (int k = 0; k < 8; ++k, flag <<= 1) {
        if (flag & 0x80) {
          ControlToken<false>(in, inSize, ip, win, wp);
        } else {
          win[wp++] = in[ip++];
        }
      }
      produced += static_cast<int64_t>(wp - start);
      flag = in[ip++];
      continue;
    }

    const size_t start = wp;
    if (flag & 0x80) {
      ControlToken<true>(in, inSize, ip, win, wp);
    } else {
      if (ip >= inSize) Corrupt();
      win[wp++] = in[ip++];
    }
    produced += static_cast<int64_t>(wp - start);
    flag = (flag << 1) & 0xFF;
    if (++group == 8) {
      if (ip >= inSize) Corrupt();
      flag = in[ip++];
      group = 0;
    }
    if (wp >= static_cast<size_t>(kFlushThreshold)) {
      destination.WriteBuffer(win, kFlushBlock);
      std::memmove(win, win + kFlushBlock, wp - kFlushBlock);
      wp -= kFlushBlock;
    }
  }
  destination.WriteBuffer(win, static_cast<int32_t>(wp));
}
