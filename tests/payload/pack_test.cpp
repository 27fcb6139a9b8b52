// The packer: round trips through the decoder, and every container obeying the format's rules.
#include "payload/pack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "payload/unpack.h"
#include "tests/payload/container_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Walks a container's body and checks the rules a packer must keep; returns "" when all hold.
std::string RuleViolation(const Bytes& c, size_t decodedSize) {
  if (c.size() < 16) return "no header";
  if (c[0] != 0x59 || c[1] != 0x42 || c[2] != 0x83 || c[3] != 0x03) return "bad signature";
  if (c[12] | c[13] | c[14] | c[15]) return "reserved bytes not zero";
  packed::Header h = packed::ParseHeader(c.data());
  if (h.packedSize < 0 || static_cast<size_t>(h.packedSize) != c.size() - 16) return "packed size is not the body's";
  if (h.decodedSize < 0 || static_cast<size_t>(h.decodedSize) != decodedSize) return "decoded size is not the file's";
  const uint8_t* body = c.data() + 16;
  const size_t P = static_cast<size_t>(h.packedSize);
  if (P == 0) return "body has no flag byte";
  size_t ip = 1, produced = 0;
  unsigned flag = body[0];
  int group = 0;
  while (produced < decodedSize) {
    if (group == 8) {
      if (ip >= P) return "flag byte missing before a token";
      flag = body[ip++];
      group = 0;
    }
    if (ip >= P) return "token starts past the body";
    if (flag & 0x80) {
      unsigned e = body[ip++];
      size_t d = 0, n = 0;
      if (e < 0x80 && (e & 3) == 3) {
        n = (e >> 2) + 9;
        if (P - ip < n) return "literal run past the body";
        ip += n;
      } else if (e < 0x80) {
        d = (e >> 2) + 1;
        n = (e & 3) + 2;
      } else if (e < 0xC0) {
        if (ip >= P) return "near copy past the body";
        unsigned f = body[ip++];
        d = ((e & 0x3F) << 4) + (f >> 4) + 1;
        n = (f & 15) + 3;
      } else {
        if (P - ip < 2) return "far copy past the body";
        unsigned f = body[ip], g = body[ip + 1];
        ip += 2;
        d = ((e & 0x3F) << 8) + f + 1;
        n = g == 0xFF ? 4096 : g == 0xFE ? 1024 : g == 0xFD ? 256 : g + 3;
      }
      if (d > produced) return "copy reaches before the first byte at " + std::to_string(produced);
      produced += n;
    } else {
      ++ip;
      ++produced;
    }
    flag <<= 1;
    ++group;
  }
  if (produced != decodedSize) return "last token ends past the file";
  // Only a flag byte after a final full group may follow the last token.
  if (ip != P && !(ip + 1 == P && group == 8)) return "bytes left after the last token";
  return "";
}

Bytes Periodic(size_t size, size_t period) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>('a' + (i % period) * 7 % 26);
  return b;
}

Bytes Noise(size_t size, uint32_t seed, size_t period = 0) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (auto& v : b) v = static_cast<uint8_t>(rng());
  for (size_t i = period; period && i < size; ++i) b[i] = b[i - period];
  return b;
}

// Text-like data: words from a small vocabulary with occasional noise.
Bytes Words(size_t size) {
  static const char* words[] = {"the ", "castle ", "of ", "VELDRAN ", "sword ", "北の塔 ", "dragon ", "\r\n"};
  std::mt19937 rng(99);
  Bytes b;
  while (b.size() < size) {
    const char* w = words[rng() % 8];
    b.insert(b.end(), w, w + std::char_traits<char>::length(w));
    if (rng() % 10 == 0) b.push_back(static_cast<uint8_t>(rng()));
  }
  b.resize(size);
  return b;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Input {
  std::string name;
  Bytes bytes;
};

std::vector<Input> Inputs() {
  std::vector<Input> inputs = {
      {"Empty", {}},
      {"OneByte", {0x42}},
      {"TwoBytes", {0x42, 0x42}},
      {"EightLiterals", {1, 2, 3, 4, 5, 6, 7, 8}},
      {"Zeros100K", Bytes(100000, 0)},
      {"Zeros5MiB", Bytes(5 << 20, 0)},
      {"Period3", Periodic(50000, 3)},
      {"Period17", Periodic(50000, 17)},
      {"Period5000", Periodic(60000, 5000)},
      {"Noise200K", Noise(200000, 1)},
      {"NoiseRepeatedOnePastTheReach", Noise(40000, 4, packed::kMaxDistance + 1)},
      {"Words300K", Words(300000)},
  };
  for (const char* name : {"VELDRAN.EXE", "mg_data2.mbl"}) {
    Bytes b = ReadFile(std::string(SAMPLE_DIR) + "/" + name);
    if (!b.empty()) inputs.push_back({std::string("Sample_") + (name[0] == 'V' ? "EXE" : "DAT2"), b});
  }
  return inputs;
}

class PackerRoundTrip : public ::testing::TestWithParam<Input> {};

TEST_P(PackerRoundTrip, DecodesToTheInputAndKeepsTheRules) {
  const Bytes& data = GetParam().bytes;
  Bytes c = packed::Pack(data);
  EXPECT_EQ(RuleViolation(c, data.size()), "");
  TMemoryStream source(c), out;
  UnpackResource(source, out);
  EXPECT_TRUE(out.Bytes() == data);
}

INSTANTIATE_TEST_SUITE_P(Inputs, PackerRoundTrip, ::testing::ValuesIn(Inputs()),
                         [](const auto& info) { return info.param.name; });

// Sizes that only a sound choice of forms reaches.
TEST(PackerChoices, RepeatsBecomeTheCheapestTokens) {
  // 64 KiB of a two-byte pattern: two literals, then mostly 4 KiB copies of three bytes each
  // (copies of at most 255 bytes would need over 250 tokens).
  EXPECT_LE(packed::Pack(Periodic(65536, 2)).size(), 100u);
  // Noise cannot shrink, but 40-byte runs keep the growth to about 1 in 40 plus flags.
  Bytes noise = Noise(40000, 5);
  EXPECT_LE(packed::Pack(noise).size(), 16 + noise.size() + noise.size() / 40 + noise.size() / 320 + 8);
  // A four-byte repeat within 32 bytes costs one byte, not a three-byte far copy.
  Bytes shortRepeat = {'q', 'w', 'e', 'r', 'q', 'w', 'e', 'r'};
  EXPECT_EQ(packed::Pack(shortRepeat).size(), 16u + 1 + 4 + 1);
}

// Blocks: their bounds are fixed by position, so the number of threads parsing them at once does
// not change the container; each block sees the 16 KiB before it.
// The last block is noise repeated at the copies' full reach: its first byte matches only
// across the whole 16 KiB of history.
TEST(PackBlocks, TheContainerDoesNotDependOnTheThreads) {
  Bytes data = Words(2 * packed::kPackBlock);
  const Bytes noise = Noise(packed::kPackBlock + 12345, 6, packed::kMaxDistance);
  data.insert(data.end(), noise.begin(), noise.end());
  packed::PackOptions one, four;
  one.threads = 1;
  four.threads = 4;
  const Bytes c = packed::Pack(data, one);
  EXPECT_EQ(packed::Pack(data, four), c);
  EXPECT_EQ(RuleViolation(c, data.size()), "");
  TMemoryStream source(c), out;
  UnpackResource(source, out);
  EXPECT_TRUE(out.Bytes() == data);
}

TEST(PackBlocks, ALaterBlockCopiesFromTheOneBefore) {
  // 8 KiB of noise repeated over three blocks: only the first 8 KiB are literals, wherever a
  // block starts. A block parsed without its history would pay 8 KiB again.
  const Bytes noise = Noise(8192, 3);
  Bytes data;
  while (data.size() < 3 * packed::kPackBlock) data.insert(data.end(), noise.begin(), noise.end());
  const size_t copies = data.size() / 4096 * 3 + 3 * 64;
  EXPECT_LE(packed::Pack(data).size(), 16 + noise.size() + noise.size() / 40 + noise.size() / 320 + copies);
}

// The streaming entry point: input in odd pieces gives the in-memory container's body, handed
// on in pieces as it is made, with the progress told after every round.
TEST(PackBody, StreamsTheSameBodyAsPack) {
  const Bytes data = Words(2 * packed::kPackBlock + 777);
  packed::PackOptions options;
  options.threads = 1;
  const Bytes whole = packed::Pack(data, options);
  size_t at = 0;
  Bytes body;
  int writes = 0;
  std::vector<uint64_t> progress;
  const packed::BodySize size = packed::PackBody(
      [&](uint8_t* buffer, size_t count) {
        const size_t n = std::min({count, data.size() - at, size_t(1000)});
        std::copy(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n), buffer);
        at += n;
        return n;
      },
      [&](const uint8_t* bytes, size_t count) {
        body.insert(body.end(), bytes, bytes + count);
        ++writes;
      },
      options, [&](uint64_t done) { progress.push_back(done); });
  EXPECT_EQ(size.decoded, data.size());
  EXPECT_EQ(size.packed, body.size());
  EXPECT_TRUE(Bytes(whole.begin() + 16, whole.end()) == body);
  EXPECT_GE(writes, 3);  // one per round and the end, not all at once
  EXPECT_EQ(progress, (std::vector<uint64_t>{packed::kPackBlock, 2 * packed::kPackBlock, data.size()}));
}

}  // namespace
