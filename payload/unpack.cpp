// Streaming decoder of PackedResource containers.
#include "payload/unpack.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "base/failure.h"
#include "payload/token_tables.h"

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

// A literal run is copied as one fixed-size move from the byte after its control byte, reading
// a little past its end.
constexpr size_t kRunMove = 48;
// Worst case of one group read unchecked: flag byte, eight 41-byte literal runs, the run
// move's overread, the eight-byte literal move's overread and the next flag byte. A streamed
// body keeps at least this much at hand before each token.
constexpr size_t kGroupInput = 1 + 8 * 41 + (1 + kRunMove - 41) + 8 + 1;
// Worst case of one group written unchecked: eight longest copies and the last one's overshoot.
constexpr int64_t kGroupOutput = 8 * kMaxCopy + 64;

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


// The unchecked control token at src, appended at dst: the caller guarantees 1 + kRunMove
// readable bytes at src and room after dst for the longest copy and up to 63 bytes of
// overshoot. Advances both.
inline void FastControlToken(const uint8_t*& src, uint8_t*& dst, const uint8_t* win) {
  const uint8_t* const token = src;
  uint8_t* const out = dst;
  const size_t have = static_cast<size_t>(out - win);
  const unsigned e = token[0];
  if (__builtin_expect(e >= 0x80, 1)) {
    // Near and far copies, told apart without a branch. As a big-endian word e f, a far
    // distance is its low 14 bits, a near one the 10 bits above the length nibble.
    const unsigned f = token[1];
    const unsigned far = (e >> 6) & 1;
    const unsigned shift = 4 - 4 * far;
    const unsigned farMask = 0u - far;
    const size_t d = (((e << 8 | f) >> shift) & (0x3FFFu >> shift)) + 1;
    const size_t n = (kTables.farLength[token[2]] & farMask) | (((f & 0x0F) + 3) & ~farMask);
    src += e >> 6;  // 2 or 3 bytes
    if (d > have) Corrupt();
    dst += n;
    if (__builtin_expect(d >= 16, 1)) {
      // 48 bytes whatever the length, enough for every near copy and most far ones.
      const uint8_t* const from = out - d;
      Copy16(out, from);
      Copy16(out + 16, from + 16);
      Copy16(out + 32, from + 32);
      if (__builtin_expect(n > 48, 0)) {
        for (size_t i = 48; i < n; i += 16) Copy16(out + i, from + i);
      }
    } else {
      CopyMatch(out, d, n);
    }
    return;
  }
  if ((e & 3) == 3) {
    // A literal run of 9 to 40 bytes, moved as 48.
    const size_t n = (e >> 2) + 9;
    Copy16(out, token + 1);
    Copy16(out + 16, token + 17);
    Copy16(out + 32, token + 33);
    src += n + 1;
    dst += n;
    return;
  }
  // A short copy: four bytes one at a time, right for every distance.
  const size_t d = (e >> 2) + 1;
  if (d > have) Corrupt();
  const uint8_t* const from = out - d;
  out[0] = from[0];
  out[1] = from[1];
  out[2] = from[2];
  out[3] = from[3];
  src += 1;
  dst += (e & 3) + 2;
}

std::unique_ptr<uint8_t[]> Allocate(size_t size) {
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size]);
  if (!bytes) throw EOutOfMemory();
  return bytes;
}

// The body as the decoder takes it: bytes [0, size) of data are at hand, `left` more are still in
// the source. Whole bodies (lent in place or read at once) have none left; a streamed body is
// refilled whenever fewer than one unchecked group's worth remain, so no token straddles a
// refill.
struct Body {
  const uint8_t* data = nullptr;
  size_t size = 0;
  uint64_t left = 0;
  TStream* source = nullptr;
  uint8_t* buffer = nullptr;  // streamed: the chunk, `capacity` bytes
  size_t capacity = 0;

  // Keeps the bytes from ip on at the chunk's start and fills the rest; ip becomes 0.
  void Refill(size_t& ip) {
    const size_t keep = size - ip;
    std::memmove(buffer, data + ip, keep);
    const size_t n = static_cast<size_t>(std::min<uint64_t>(capacity - keep, left));
    source->ReadBuffer(buffer + keep, static_cast<int32_t>(n));
    data = buffer;
    size = keep + n;
    left -= n;
    ip = 0;
  }
};

// The decoding loop of every entry point.
void Decode(Body& body, int32_t decodedSize, uint8_t* const win, TStream& destination) {
  const int64_t decoded = decodedSize;
  int64_t produced = 0;
  size_t ip = 0;
  size_t wp = 0;
  if (body.left != 0) body.Refill(ip);
  const uint8_t* in = body.data;
  size_t inSize = body.size;
  // An empty body has no flag byte; a zero flag makes the first token fail, if there is one.
  unsigned flag = inSize > 0 ? in[ip++] : 0;
  int group = 0;

  while (produced < decoded) {
    if (body.left != 0 && inSize - ip < kGroupInput) {
      body.Refill(ip);
      in = body.data;
      inSize = body.size;
    }
    if (group == 0 && inSize - ip >= kGroupInput) {
      // Whole groups while none of their eight tokens can reach the decoded size, a flush or
      // the end of the bytes at hand. Literals between control tokens move together as one
      // 8-byte move.
      const int64_t base = produced - static_cast<int64_t>(wp);
      const int64_t wpEnd = std::min<int64_t>(decoded - base, kFlushThreshold) - kGroupOutput;
      const uint8_t* src = in + ip;
      uint8_t* dst = win + wp;
      const uint8_t* const srcEnd = in + (inSize - kGroupInput);
      uint8_t* const dstEnd = win + std::max<int64_t>(wpEnd, 0);
      while (__builtin_expect(src <= srcEnd && dst < dstEnd, 1)) {
        uint32_t literals = kTables.literals[flag];
        for (unsigned controls = kTables.controls[flag]; controls > 0; --controls) {
          const size_t n = literals & 15;
          literals >>= 4;
          Copy8(dst, src);
          dst += n;
          src += n;
          FastControlToken(src, dst, win);
        }
        Copy8(dst, src);
        dst += literals;
        src += literals;
        flag = *src++;
      }
      const bool outOfInput = src > srcEnd;
      ip = static_cast<size_t>(src - in);
      wp = static_cast<size_t>(dst - win);
      produced = base + static_cast<int64_t>(wp);
      // A streamed body is refilled before the next token, which may then run unchecked again.
      if (outOfInput && body.left != 0) continue;
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
      // After the body's last token there may be no flag byte: nothing beyond the body is read,
      // and a zero flag makes any further token fail.
      flag = ip < inSize ? in[ip++] : 0;
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

// The header: lent where the source can, else read into header. Sizes checked.
Header TakeHeader(TStream& source, bool& lends) {
  uint8_t copy[kHeaderSize];
  const uint8_t* header = nullptr;
  lends = source.Borrow(kHeaderSize, &header);
  if (!lends) {
    source.ReadBuffer(copy, kHeaderSize);
    header = copy;
  }
  const Header h = ParseHeader(header);
  if (h.packedSize < 0 || h.decodedSize < 0) Corrupt();
  return h;
}

uint8_t* Window(Workspace& workspace) {
  if (!workspace.window) workspace.window = Allocate(kWindowSize);
  return workspace.window.get();
}

uint8_t* InputBuffer(Workspace& workspace, size_t size) {
  if (workspace.inputSize < size) {
    workspace.input.reset();
    workspace.inputSize = 0;
    workspace.input = Allocate(size);
    workspace.inputSize = size;
  }
  return workspace.input.get();
}

}  // namespace

void UnpackResource(TStream& source, TStream& destination) {
  Workspace workspace;
  packed::Unpack(source, destination, workspace);
}

void packed::Unpack(TStream& source, TStream& destination, Workspace& workspace) {
  bool lends = false;
  const Header h = TakeHeader(source, lends);
  const size_t packedSize = static_cast<size_t>(h.packedSize);
  uint8_t* const win = Window(workspace);
  Body body;
  body.size = packedSize;
  if (lends) {
    source.Borrow(h.packedSize, &body.data);
  } else {
    uint8_t* const in = InputBuffer(workspace, std::max<size_t>(packedSize, 1));
    source.ReadBuffer(in, h.packedSize);
    body.data = in;
  }
  Decode(body, h.decodedSize, win, destination);
}

void packed::UnpackStreamed(TStream& source, TStream& destination, Workspace& workspace, size_t chunk) {
  bool lends = false;
  const Header h = TakeHeader(source, lends);
  uint8_t* const win = Window(workspace);
  Body body;
  if (lends) {
    // Already in memory: nothing to gain from pieces.
    source.Borrow(h.packedSize, &body.data);
    body.size = static_cast<size_t>(h.packedSize);
  } else {
    body.capacity = std::max(chunk, kMinStreamChunk);
    body.buffer = InputBuffer(workspace, body.capacity);
    body.data = body.buffer;
    body.source = &source;
    body.left = static_cast<uint64_t>(h.packedSize);
  }
  Decode(body, h.decodedSize, win, destination);
}
