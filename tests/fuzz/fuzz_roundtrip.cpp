// Packer then decoder: any input packs into a container that obeys the format's rules and
// decodes back to the same bytes. The first input byte picks the packer's effort and how often
// the rest is repeated, so that long, far and overlapping copies and the 1 MiB flushes occur.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/stream.h"
#include "payload/unpack.h"
#include "payload/pack.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "round trip: %s\n", what);
  std::abort();
}

// Walks the body as the decoder would and checks the packer's side of the contract: every token
// inside the body, every copy's distance within the bytes produced, the last token ending
// exactly at the decoded size.
void CheckRules(const std::vector<uint8_t>& container, size_t decoded) {
  const packed::Header h = packed::ParseHeader(container.data());
  if (h.packedSize < 0 || static_cast<size_t>(h.packedSize) + packed::kHeaderSize != container.size())
    Fail("packed size field differs from the body's length");
  if (h.decodedSize < 0 || static_cast<size_t>(h.decodedSize) != decoded) Fail("decoded size field is wrong");
  for (int i = 0; i < 4; ++i)
    if (container[static_cast<size_t>(i)] != packed::kSignature[i]) Fail("signature");
  for (int i = 12; i < 16; ++i)
    if (container[static_cast<size_t>(i)] != 0) Fail("reserved bytes not zero");
  const uint8_t* body = container.data() + packed::kHeaderSize;
  const size_t p = static_cast<size_t>(h.packedSize);
  size_t ip = 0, produced = 0;
  if (p == 0) {
    if (decoded != 0) Fail("empty body for non-empty data");
    return;
  }
  unsigned flag = body[ip++];
  int group = 0;
  while (produced < decoded) {
    if (ip >= p) Fail("token starts past the body");
    if ((flag & 0x80) == 0) {
      ++ip;
      ++produced;
    } else {
      const unsigned e = body[ip];
      size_t d = 0, n = 0, len = 0;
      if (e < 0x80 && (e & 3) == 3) {
        n = (e >> 2) + 9;
        len = 1 + n;
      } else if (e < 0x80) {
        d = (e >> 2) + 1;
        n = (e & 3) + 2;
        len = 1;
      } else if (e < 0xC0) {
        len = 2;
        if (ip + len > p) Fail("near copy runs past the body");
        d = ((e & 0x3F) << 4) + (body[ip + 1] >> 4) + 1;
        n = (body[ip + 1] & 0x0F) + 3;
      } else {
        len = 3;
        if (ip + len > p) Fail("far copy runs past the body");
        const unsigned g = body[ip + 2];
        d = ((e & 0x3F) << 8) + body[ip + 1] + 1;
        n = g == 0xFF ? 4096 : g == 0xFE ? 1024 : g == 0xFD ? 256 : g + 3;
      }
      if (ip + len > p) Fail("token runs past the body");
      if (d > produced) Fail("copy reaches before the first byte");
      ip += len;
      produced += n;
    }
    flag = (flag << 1) & 0xFF;
    if (++group == 8) {
      group = 0;
      if (produced < decoded) {
        if (ip >= p) Fail("flag byte missing");
        flag = body[ip++];
      } else if (ip < p) {
        ++ip;  // the optional trailing flag byte
      }
    }
  }
  if (produced != decoded) Fail("last token runs past the decoded size");
  if (ip != p) Fail("bytes left over after the last token");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned control = data[0];
  std::vector<uint8_t> input;
  const size_t repeats = 1 + (control >> 3);  // 1 to 32
  const size_t limit = 3 * 1024 * 1024;
  for (size_t r = 0; r < repeats && input.size() + size - 1 <= limit; ++r) input.insert(input.end(), data + 1, data + size);

  packed::PackOptions options;
  switch (control & 3) {
    case 0: options.maxChain = 1; options.niceLength = 8; break;
    case 1: options.maxChain = 16; options.niceLength = 64; break;
    case 2: break;
    default: options.maxChain = 4096; options.niceLength = 4096; break;
  }
  std::vector<uint8_t> container = packed::Pack(input, options);
  CheckRules(container, input.size());

  TMemoryStream source(container);
  TMemoryStream destination;
  UnpackResource(source, destination);
  if (destination.Bytes() != input) Fail("decoded bytes differ from the input");
  return 0;
}
