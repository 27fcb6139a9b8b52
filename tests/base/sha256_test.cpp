// SHA-256 against the published test vectors, and the same digest whatever the split of the
// input, with each engine: the plain code and the processor's SHA instructions (where it has
// them), which must also agree with each other on random input; and the choice of engine, on
// this processor and on others as CPUID describes them.
#include "base/sha256.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Engine = TSha256::Engine;

// Whether this processor has the SHA instructions, by the compiler's runtime rather than by the
// code under test, so that their tests run wherever it has them.
bool ProcessorHasSha() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("sha") && __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1");
}

class Sha256 : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    if (GetParam() == Engine::ShaInstructions && !ProcessorHasSha())
      GTEST_SKIP() << "this processor has no SHA instructions: only the plain code is tested";
    ASSERT_EQ(TSha256(GetParam()).Used(), GetParam()) << "not the engine asked for";
  }
  std::string HexOf(const std::string& text) const { return TSha256::Hex(TSha256::Of(text.data(), text.size(), GetParam())); }
};

TEST_P(Sha256, PublishedVectors) {
  EXPECT_EQ(HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(HexOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
}

TEST_P(Sha256, MillionAsFedInUnevenPieces) {
  TSha256 h(GetParam());
  const std::string chunk(997, 'a');
  size_t left = 1000000;
  while (left > 0) {
    size_t n = left < chunk.size() ? left : chunk.size();
    h.Update(chunk.data(), n);
    left -= n;
  }
  EXPECT_EQ(TSha256::Hex(h.Final()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Lengths around the padding boundaries (55, 56, 63, 64 bytes) must agree between one Update and
// byte-by-byte feeding; a wrong pad length shows up only there.
TEST_P(Sha256, PaddingBoundariesAgreeAcrossSplits) {
  for (size_t n : {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u}) {
    std::vector<uint8_t> data(n);
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
    TSha256 bytewise(GetParam());
    for (uint8_t b : data) bytewise.Update(&b, 1);
    EXPECT_EQ(bytewise.Final(), TSha256::Of(data.data(), data.size(), GetParam())) << n << " bytes";
  }
  // 55 and 56 'a's: the last one-block and the first two-block message.
  EXPECT_EQ(HexOf(std::string(55, 'a')), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(HexOf(std::string(56, 'a')), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
}

TEST_P(Sha256, FinalResetsForTheNextMessage) {
  TSha256 h(GetParam());
  h.Update("abc", 3);
  h.Final();
  EXPECT_EQ(TSha256::Hex(h.Final()), HexOf(""));
}

// Random lengths (many blocks at once, and a tail), random bytes, random splits: the same digest
// as the plain code.
TEST_P(Sha256, AgreesWithThePlainCodeOnRandomInput) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> data(rng() % 5000);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    TSha256 split(GetParam());
    for (size_t at = 0; at < data.size();) {
      const size_t n = std::min<size_t>(rng() % 300, data.size() - at);
      split.Update(data.data() + at, n);
      at += n;
    }
    EXPECT_EQ(split.Final(), TSha256::Of(data.data(), data.size(), Engine::Plain)) << data.size() << " bytes";
  }
}

// Processors by their CPUID words (highest leaf, leaf 1 ECX, leaf 7 EBX): this machine, what
// qemu-i386 7.2 reports (no SHA: the emulated runs take the plain code), and one bit less each.
TEST(Sha256Dispatch, TakesTheInstructionsWhereTheProcessorHasThem) {
  EXPECT_EQ(TSha256::Best(), ProcessorHasSha() ? Engine::ShaInstructions : Engine::Plain);
  EXPECT_EQ(TSha256().Used(), TSha256::Best());
  const struct {
    uint32_t maxLeaf, leaf1Ecx, leaf7Ebx;
    bool sha;
  } processors[] = {{28, 0xFFFA3203, 0xF1BF07AB, true},  {13, 0xFED8320B, 0x01D843A9, false},
                    {21, 0x00080200, 0x20000000, true},  {21, 0x00080000, 0x20000000, false},
                    {21, 0x00000200, 0x20000000, false}, {6, 0x00080200, 0x20000000, false}};
  for (const auto& p : processors)
    EXPECT_EQ(TSha256::ShaInstructionsIn(p.maxLeaf, p.leaf1Ecx, p.leaf7Ebx), p.sha) << std::hex << p.leaf7Ebx;
}

INSTANTIATE_TEST_SUITE_P(Engines, Sha256, ::testing::Values(Engine::Plain, Engine::ShaInstructions),
                         [](const auto& info) { return info.param == Engine::Plain ? "Plain" : "ShaInstructions"; });

}  // namespace
