// Arbitrary bytes into the decoder through TMemoryStream, checked against the plain reference
// decoder of the tests: where the reference decodes, the output must match byte for byte; where
// it finds the container malformed, the decoder must fail with EReadError and never touch memory
// outside its buffers or the container's 16 + P bytes (AddressSanitizer watches that: the source
// holds exactly those bytes). The body is lent in place, copied from a stream that cannot lend,
// or streamed in the smallest pieces, as the reserved byte says. The decoder runs with one
// workspace kept across inputs, so that its 3 MiB window is not allocated (and poisoned) for
// every input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "base/failure.h"
#include "base/stream.h"
#include "payload/unpack.h"
#include "tests/payload/container_builder.h"

namespace {

// The reserved bytes, which the decoder never looks at, steer the header. With bit 1 of byte 12
// clear the header is made honest: P is the body's length and D the output length after one of
// the body's tokens, so that most inputs decode in full and are compared byte for byte. With it
// set, the sizes are taken as given, folded into range so that runs stay quick. Bit 0 chooses
// the range of the decoded size: small, or past 2 MiB so that the 1 MiB flushes are reached.
// Bits 2 and 3 choose how the body is taken: lent, copied, or streamed (2 and 3).
constexpr int32_t kMaxDecodedSmall = 64 * 1024;
constexpr int32_t kMaxDecodedLarge = 2 * 1024 * 1024 + 256 * 1024;
constexpr int32_t kMaxPackedOverrun = 64 * 1024;

int32_t Field(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

class CopyingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  bool Borrow(int32_t, const uint8_t**) override { return false; }
};

// The destination: compares what it is given with the expected output as it comes, so that no
// output is stored.
class CompareStream : public TStream {
 public:
  CompareStream(const uint8_t* expected, size_t size) : expected_(expected), size_(size) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    const size_t n = static_cast<size_t>(count);
    if (!expected_ || n > size_ - written_ || std::memcmp(buffer, expected_ + written_, n) != 0)
      differs_ = true;
    else
      written_ += n;
    any_ = any_ || n != 0;
    return count;
  }
  bool Matches() const { return !differs_ && written_ == size_; }
  bool Any() const { return any_; }

 private:
  const uint8_t* expected_;
  size_t size_;
  size_t written_ = 0;
  bool differs_ = false;
  bool any_ = false;
};

// The reference's output length for the body (the output in out), or -1 where it finds the
// body malformed.
int64_t Reference(const uint8_t* body, size_t size, int32_t decoded, std::vector<uint8_t>& out) {
  try {
    return static_cast<int64_t>(testing_payload::ReferenceBody(body, size, decoded, &out));
  } catch (const EReadError&) {
    return -1;
  }
}

// For an honest header: the output length after the token that pick selects among those that
// decode (following lengths only, up to max bytes), or -1 when none does.
int32_t HonestDecodedSize(const uint8_t* body, size_t size, int32_t max, int32_t pick) {
  static std::vector<int64_t> ends;
  ends.clear();
  try {
    testing_payload::ReferenceBody(body, size, max, nullptr, &ends);
  } catch (const EReadError&) {
    // The tokens before the malformed one still count.
  }
  if (ends.empty() || pick < 0) return -1;
  return static_cast<int32_t>(ends[static_cast<size_t>(pick) % ends.size()]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static packed::Workspace workspace;
  static std::vector<uint8_t> expected;
  std::vector<uint8_t> container(data, data + size);
  const bool headerFits = size >= static_cast<size_t>(packed::kHeaderSize);
  int32_t packedSize = -1, decodedSize = -1;
  int64_t expectedSize = -1;
  if (headerFits) {
    packedSize = Field(container.data() + 4);
    decodedSize = Field(container.data() + 8);
    const int32_t available = static_cast<int32_t>(size) - packed::kHeaderSize;
    if (packedSize > available + kMaxPackedOverrun) packedSize %= available + kMaxPackedOverrun + 1;
    const int32_t maxDecoded = (container[12] & 1) ? kMaxDecodedLarge : kMaxDecodedSmall;
    if (decodedSize > maxDecoded) decodedSize %= maxDecoded + 1;
    const uint8_t* body = container.data() + packed::kHeaderSize;
    if ((container[12] & 2) == 0) {
      packedSize = available;
      const int32_t honest = HonestDecodedSize(body, static_cast<size_t>(available), maxDecoded, decodedSize);
      if (honest >= 0) decodedSize = honest;
    }
    packed::WriteHeader(container.data(), packedSize, decodedSize);
    if (packedSize >= 0 && packedSize <= available && decodedSize >= 0)
      expectedSize = Reference(body, static_cast<size_t>(packedSize), decodedSize, expected);
  }
  const bool bodyFits = headerFits && packedSize >= 0 && static_cast<size_t>(packedSize) <= size - packed::kHeaderSize;
  // Nothing after the container's bytes, so that a read past them is out of bounds.
  if (bodyFits) container.resize(packed::kHeaderSize + static_cast<size_t>(packedSize));
  const int mode = headerFits ? (container[12] >> 2) & 3 : 0;

  std::unique_ptr<TMemoryStream> source;
  if (mode == 0)
    source = std::make_unique<TMemoryStream>(std::vector<uint8_t>(container.begin(), container.end()));
  else
    source = std::make_unique<CopyingStream>(std::vector<uint8_t>(container.begin(), container.end()));
  CompareStream destination(expectedSize >= 0 ? expected.data() : nullptr,
                            expectedSize >= 0 ? static_cast<size_t>(expectedSize) : 0);
  try {
    if (mode >= 2)
      packed::UnpackStreamed(*source, destination, workspace, packed::kMinStreamChunk);
    else
      packed::Unpack(*source, destination, workspace);
  } catch (const EReadError&) {
    // Short input, negative sizes or a malformed body: nothing else is allowed to fail. Only a
    // streamed body finds out it is short as it goes.
    if (expectedSize >= 0) Fail("the decoder refused a container the reference decodes");
    if (!bodyFits && mode < 2 && destination.Any()) Fail("a short container wrote output before failing");
    return 0;
  }
  if (expectedSize < 0) Fail("the decoder decoded a container the reference refuses");
  if (!destination.Matches()) Fail("output differs from the reference");
  if (source->Position() != static_cast<size_t>(packed::kHeaderSize + packedSize)) Fail("source read past the container's body");
  return 0;
}
