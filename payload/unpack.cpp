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

// A literal run is copied as one fixed-size move, reading a little past its end.
constexpr size_t kRunMove = 48;
// Worst case of one group read unchecked: flag byte, eight 41-byte literal runs, the run
// move's overread, the eight-byte literal move's overread and the next flag byte.
constexpr size_t kGroupInput = 1 + 8 * 41 + (kRunMove - 41) + 8 + 1;
constexpr int64_t kGroupOutput = 8 * kMaxCopy;

[[noreturn]] __attribute__((noinline, cold)) void Corrupt() { throw EReadError(); }

inline void Copy8(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, 8); }
inline void Copy16(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, 16); }

// Appends n bytes taken from d bytes back, with the byte-at-a-time meaning when the source
// overlaps the bytes being written. Writes at least 8 bytes and up to 15 past dst + n; the
// window has room to spare, since a token starts below 2 MiB and adds at most 4 KiB.
inline void CopyMatch(uint8_t* dst, size_t d, size_t n) {
  const uint8_t* src = dst - d;
  uint8_t* const end = dst + n;
  if (d >= 16) {
    do {
      Copy16(dst, src);
      dst += 16;
      src += 16;
    } while (dst < end);
    return;
  }
  if (d < 8) {
    // Write the first 8 bytes of the repeating pattern, then move the source back to a
    // multiple of d that is at least 8 bytes behind, so that 8-byte moves never overlap.
    static const uint8_t kForward[8] = {0, 1, 2, 1, 0, 4, 4, 4};
    static const int8_t kBack[8] = {0, 0, 0, -1, -4, 1, 2, 3};
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
    dst[3] = src[3];
    src += kForward[d];
    std::memcpy(dst + 4, src, 4);
    src -= kBack[d];
  } else {
    Copy8(dst, src);
    src += 8;
  }
  dst += 8;
  while (dst < end) {
    Copy8(dst, src);
    Copy8(dst + 8, src + 8);
    dst += 16;
    src += 16;
  }
}

// Decodes one token whose flag bit is 1 at in[ip], testing every input byte against the
// buffer's end and the distance against the bytes in the window. Used near the end of the
// input or output and around flushes, where the unchecked path's margins do not hold.
inline void CheckedControlToken(const uint8_t* in, size_t inSize, size_t& ip, uint8_t* win, size_t& wp) {
  if (ip >= inSize) Corrupt();
  const unsigned e = in[ip];
  uint8_t* const out = win + wp;
  if (e < 0x80) {
    if ((e & 3) == 3) {
      const size_t n = (e >> 2) + 9;
      if (inSize - ip - 1 < n) Corrupt();
      std::memcpy(out, in + ip + 1, n);
      ip += n + 1;
      wp += n;
      return;
    }
    const size_t d = (e >> 2) + 1;
    if (d > wp) Corrupt();
    // One byte at a time in order, which is right for every distance, overlapping or not.
    const uint8_t* src = out - d;
    out[0] = src[0];
    out[1] = src[1];
    out[2] = src[2];
    out[3] = src[3];
    ip += 1;
    wp += (e & 3) + 2;
    return;
  }
  if (inSize - ip < (e < 0xC0 ? 2u : 3u)) Corrupt();
  const unsigned f = in[ip + 1];
  size_t d, n;
  if (e < 0xC0) {
    d = ((e & 0x3F) << 4) + (f >> 4) + 1;
    n = (f & 0x0F) + 3;
    ip += 2;
  } else {
    const unsigned g = in[ip + 2];
    d = ((e & 0x3F) << 8) + f + 1;
    n = g < 0xFD ? g + 3 : g == 0xFD ? 256 : g == 0xFE ? 1024 : 4096;
    ip += 3;
  }
  if (d > wp) Corrupt();
  CopyMatch(out, d, n);
  wp += n;
}

// What a control byte e says about its token, so that the unchecked path decodes every form
// with the same few operations and no branch on the form:
//   distance = base + ((f & dMask) >> dShift)      (0 for a literal run)
//   length   = nBase + (f & nMask) + (kFarLength[g] & farMask)
struct ControlInfo {
  uint16_t dBase = 0;
  uint8_t dMask = 0;
  uint8_t dShift = 0;
  uint8_t nBase = 0;
  uint8_t nMask = 0;
  uint16_t farMask = 0;
  uint8_t size = 0;  // body bytes of the token
  uint8_t run = 0;
};

struct ControlTables {
  ControlInfo info[256];
  uint16_t farLength[256];
  uint8_t controls[256];  // flag bits set in a flag byte (no popcount instruction on every target)
  constexpr ControlTables() : info(), farLength(), controls() {
    for (unsigned f = 0; f < 256; ++f)
      for (unsigned bit = 1; bit < 256; bit <<= 1) controls[f] = static_cast<uint8_t>(controls[f] + ((f & bit) != 0));
    for (unsigned g = 0; g < 256; ++g) farLength[g] = static_cast<uint16_t>(g < 0xFD ? g + 3 : g == 0xFD ? 256 : g == 0xFE ? 1024 : 4096);
    for (unsigned e = 0; e < 256; ++e) {
      ControlInfo& c = info[e];
      if (e < 0x80 && (e & 3) == 3) {
        c.nBase = static_cast<uint8_t>((e >> 2) + 9);
        c.size = static_cast<uint8_t>(1 + c.nBase);
        c.run = 1;
      } else if (e < 0x80) {
        c.dBase = static_cast<uint16_t>((e >> 2) + 1);
        c.nBase = static_cast<uint8_t>((e & 3) + 2);
        c.size = 1;
      } else if (e < 0xC0) {
        c.dBase = static_cast<uint16_t>(((e & 0x3F) << 4) + 1);
        c.dMask = 0xF0;
        c.dShift = 4;
        c.nBase = 3;
        c.nMask = 0x0F;
        c.size = 2;
      } else {
        c.dBase = static_cast<uint16_t>(((e & 0x3F) << 8) + 1);
        c.dMask = 0xFF;
        c.farMask = 0xFFFF;
        c.size = 3;
      }
    }
  }
};

constexpr ControlTables kControl;

// The unchecked control token: the caller guarantees 48 readable bytes at in[ip].
inline void FastControlToken(const uint8_t* in, size_t& ip, uint8_t* win, size_t& wp) {
  const uint8_t* const token = in + ip;
  const ControlInfo& c = kControl.info[token[0]];
  const unsigned f = token[1];
  const size_t d = c.dBase + ((f & c.dMask) >> c.dShift);
  const size_t n = c.nBase + (f & c.nMask) + (kControl.farLength[token[2]] & c.farMask);
  uint8_t* dst = win + wp;
  const uint8_t* src = c.run ? token + 1 : dst - d;
  ip += c.size;
  if (d > wp) Corrupt();
  wp += n;
  if (d - 1 >= 15) {
    // A literal run (distance 0) or a copy whose source ends before each 16-byte move.
    uint8_t* const end = dst + n;
    Copy16(dst, src);
    Copy16(dst + 16, src + 16);
    dst += 32;
    src += 32;
    while (dst < end) {
      Copy16(dst, src);
      dst += 16;
      src += 16;
    }
  } else {
    CopyMatch(dst, d, n);
  }
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
      // Literals between control tokens move together as one 8-byte move: the flag's leading
      // zero bits count them, and the flag's count of set bits is the number of control tokens.
      const size_t start = wp;
      uint32_t bits = flag << 24;
      unsigned used = 0;
      for (unsigned controls = kControl.controls[flag]; controls > 0; --controls) {
        const unsigned literals = static_cast<unsigned>(__builtin_clz(bits));
        Copy8(win + wp, in + ip);
        wp += literals;
        ip += literals;
        bits <<= literals + 1;
        used += literals + 1;
        FastControlToken(in, ip, win, wp);
      }
      Copy8(win + wp, in + ip);
      wp += 8 - used;
      ip += 8 - used;
      produced += static_cast<int64_t>(wp - start);
      flag = in[ip++];
      continue;
    }

    const size_t start = wp;
    if (flag & 0x80) {
      CheckedControlToken(in, inSize, ip, win, wp);
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
