// Arbitrary bytes into UnpackResource through TMemoryStream, checked against a plain reference
// decoder: where the reference decodes, the output must match byte for byte; where it finds the
// container malformed, UnpackResource must fail with EReadError and never touch memory outside
// its buffers (AddressSanitizer watches that).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "base/failure.h"
#include "base/stream.h"
#include "payload/unpack.h"

namespace {

// The reserved bytes, which the decoder never looks at, steer the header. With bit 1 of byte 12
// clear the header is made honest: P is the body's length and D the output length after one of
// the body's tokens, so that most inputs decode in full and are compared byte for byte. With it
// set, the sizes are taken as given, folded into range so that runs stay quick. Bit 0 chooses
// the range of the decoded size: small, or past 2 MiB so that the 1 MiB flushes are reached.
constexpr int32_t kMaxDecodedSmall = 64 * 1024;
constexpr int32_t kMaxDecodedLarge = 2 * 1024 * 1024 + 256 * 1024;
constexpr int32_t kMaxPackedOverrun = 64 * 1024;

// The decoding steps exactly as the format describes them, one byte at a time, with every read
// and every distance checked. The spare bytes after the body read as zero. Left out of the
// coverage feedback: the fuzzer is to explore UnpackResource, not this.
// When ends is given, the output length after each token is recorded in it.
__attribute__((no_sanitize("coverage"))) std::optional<std::vector<uint8_t>> Reference(
    const std::vector<uint8_t>& body, int32_t decoded, std::vector<int32_t>* ends = nullptr) {
  std::vector<uint8_t> in(body);
  in.resize(body.size() + packed::kSpareBytes, 0);
  std::vector<uint8_t> buffer(static_cast<size_t>(decoded) + packed::kMaxCopy);
  uint8_t* const out = buffer.data();
  size_t produced = 0;
  size_t ip = 0;
  bool ok = true;
  auto take = [&]() -> unsigned {
    if (ip >= in.size()) {
      ok = false;
      return 0;
    }
    return in[ip++];
  };
  unsigned flag = take();
  if (!ok) return std::nullopt;
  int group = 0;
  while (static_cast<int64_t>(produced) < decoded) {
    if ((flag & 0x80) == 0) {
      const unsigned b = take();
      if (!ok) return std::nullopt;
      out[produced++] = static_cast<uint8_t>(b);
    } else {
      const unsigned e = take();
      if (!ok) return std::nullopt;
      size_t d = 0, n = 0;
      if (e < 0x80 && (e & 3) == 3) {
        n = (e >> 2) + 9;
        for (size_t i = 0; i < n; ++i) {
          const unsigned b = take();
          if (!ok) return std::nullopt;
          out[produced++] = static_cast<uint8_t>(b);
        }
      } else {
        if (e < 0x80) {
          d = (e >> 2) + 1;
          n = (e & 3) + 2;
        } else if (e < 0xC0) {
          const unsigned f = take();
          d = ((e & 0x3F) << 4) + (f >> 4) + 1;
          n = (f & 0x0F) + 3;
        } else {
          const unsigned f = take();
          const unsigned g = take();
          d = ((e & 0x3F) << 8) + f + 1;
          n = g == 0xFF ? 4096 : g == 0xFE ? 1024 : g == 0xFD ? 256 : g + 3;
        }
        if (!ok || d > produced) return std::nullopt;
        for (size_t i = 0; i < n; ++i, ++produced) out[produced] = out[produced - d];
      }
    }
    if (ends) ends->push_back(static_cast<int32_t>(produced));
    flag = (flag << 1) & 0xFF;
    if (++group == 8) {
      flag = take();
      if (!ok) return std::nullopt;
      group = 0;
    }
  }
  buffer.resize(produced);
  return buffer;
}

int32_t Field(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> container(data, data + size);
  int32_t packedSize = -1, decodedSize = -1;
  if (size >= static_cast<size_t>(packed::kHeaderSize)) {
    packedSize = Field(container.data() + 4);
    decodedSize = Field(container.data() + 8);
    const int32_t available = static_cast<int32_t>(size) - packed::kHeaderSize;
    if (packedSize > available + kMaxPackedOverrun) packedSize %= available + kMaxPackedOverrun + 1;
    const int32_t maxDecoded = (container[12] & 1) ? kMaxDecodedLarge : kMaxDecodedSmall;
    if (decodedSize > maxDecoded) decodedSize %= maxDecoded + 1;
    if ((container[12] & 2) == 0) {
      packedSize = available;
      std::vector<uint8_t> body(container.begin() + packed::kHeaderSize, container.end());
      std::vector<int32_t> ends;
      Reference(body, maxDecoded, &ends);
      if (!ends.empty() && decodedSize >= 0) decodedSize = ends[static_cast<size_t>(decodedSize) % ends.size()];
    }
    packed::WriteHeader(container.data(), packedSize, decodedSize);
  }

  std::optional<std::vector<uint8_t>> expected;
  const bool headerFits = size >= static_cast<size_t>(packed::kHeaderSize);
  const bool bodyFits = headerFits && packedSize >= 0 &&
                        static_cast<size_t>(packedSize) <= size - packed::kHeaderSize;
  if (bodyFits && decodedSize >= 0) {
    std::vector<uint8_t> body(container.begin() + packed::kHeaderSize,
                              container.begin() + packed::kHeaderSize + packedSize);
    expected = Reference(body, decodedSize);
  }

  TMemoryStream source(container);
  TMemoryStream destination;
  try {
    UnpackResource(source, destination);
  } catch (const EReadError&) {
    // Short input, negative sizes or a malformed body: nothing else is allowed to fail.
    if (expected) {
      std::fprintf(stderr, "UnpackResource refused a container the reference decodes\n");
      std::abort();
    }
    if (!headerFits || !bodyFits) {
      if (!destination.Bytes().empty()) {
        std::fprintf(stderr, "a short container wrote output before failing\n");
        std::abort();
      }
    }
    return 0;
  }
  if (!expected) {
    std::fprintf(stderr, "UnpackResource decoded a container the reference refuses\n");
    std::abort();
  }
  if (destination.Bytes() != *expected) {
    std::fprintf(stderr, "output differs from the reference: %zu bytes against %zu\n",
                 destination.Bytes().size(), expected->size());
    std::abort();
  }
  if (source.Position() != static_cast<size_t>(packed::kHeaderSize + packedSize)) {
    std::fprintf(stderr, "source read past the container's body\n");
    std::abort();
  }
  return 0;
}
