// The "SUMS" records: their exact layout, and finding a payload's digest in them.
#include "payload/sums.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TSha256::Digest DigestOf(const std::string& s) { return TSha256::Of(s.data(), s.size()); }

}  // namespace

TEST(Sums, RecordsAreTheNamePaddedToEightBytesThenTheDigest) {
  const std::vector<uint8_t> bytes = sums::Format({{"EXE", DigestOf("a")}, {"DAT2LONG", DigestOf("b")}});
  ASSERT_EQ(bytes.size(), 80u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8), (std::vector<uint8_t>{'E', 'X', 'E', 0, 0, 0, 0, 0}));
  const TSha256::Digest a = DigestOf("a");
  EXPECT_TRUE(std::equal(a.begin(), a.end(), bytes.begin() + 8));
  EXPECT_EQ(std::string(bytes.begin() + 40, bytes.begin() + 48), "DAT2LONG");
  EXPECT_EQ(sums::Parse(bytes.data(), bytes.size()).at(1).Name, "DAT2LONG");  // eight bytes, no NUL
}

TEST(Sums, FindsEachRecordAndNothingElse) {
  std::vector<uint8_t> bytes = sums::Format({{"EXE", DigestOf("a")}, {"DAT2", DigestOf("b")}});
  TSha256::Digest d;
  ASSERT_TRUE(sums::Find(bytes.data(), bytes.size(), "DAT2", &d));
  EXPECT_EQ(d, DigestOf("b"));
  ASSERT_TRUE(sums::Find(bytes.data(), bytes.size(), "EXE", &d));
  EXPECT_EQ(d, DigestOf("a"));
  EXPECT_FALSE(sums::Find(bytes.data(), bytes.size(), "EX", &d));
  EXPECT_FALSE(sums::Find(bytes.data(), bytes.size(), "SUMS", &d));
  // A record cut short is no record.
  EXPECT_FALSE(sums::Find(bytes.data(), bytes.size() - 1, "DAT2", &d));
  EXPECT_EQ(sums::Parse(bytes.data(), bytes.size()).size(), 2u);
  EXPECT_TRUE(sums::Parse(nullptr, 0).empty());
}

TEST(Sums, RefusesNamesTheRecordCannotHold) {
  for (const char* name : {"", "NINECHARS", "A B", "\x83\x5C", "A\x7F"})
    EXPECT_THROW(sums::Format({{name, DigestOf("")}}), std::invalid_argument) << name;
}
