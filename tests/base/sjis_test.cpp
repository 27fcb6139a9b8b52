// Shift-JIS scanning: trail bytes that look like "\" or letters must never be taken alone.
#include "base/sjis.h"

#include <gtest/gtest.h>

namespace {

// "ソ" is 83 5C and "表" 95 5C in Shift-JIS: their trail byte is a backslash.
const std::string kSo = "ソ";
const std::string kHyo = "表";

TEST(SjisLiterals, SourceIsCompiledToCp932) {
  ASSERT_EQ(kSo, "\x83\x5C");
  ASSERT_EQ(kHyo, "\x95\x5C");
}

TEST(SjisLastChar, StepsOverDoubleByteCharacters) {
  EXPECT_EQ(sjis::LastChar(""), "");
  EXPECT_EQ(sjis::LastChar("a"), "a");
  EXPECT_EQ(sjis::LastChar("C:\\" + kSo), kSo);
  EXPECT_EQ(sjis::LastChar("。"), "。");
  EXPECT_EQ(sjis::LastChar(kHyo + "\\"), "\\");
  // A lone lead byte at the end counts as one byte.
  EXPECT_EQ(sjis::LastChar("ab\x83"), "\x83");
}

TEST(SjisBackslash, TrailByteIsNotASeparator) {
  EXPECT_FALSE(sjis::EndsWithBackslash("C:\\" + kSo));
  EXPECT_FALSE(sjis::EndsWithBackslash(kHyo));
  EXPECT_TRUE(sjis::EndsWithBackslash("C:\\"));
  EXPECT_TRUE(sjis::EndsWithBackslash(kSo + "\\"));
  EXPECT_FALSE(sjis::EndsWithBackslash(""));
}

TEST(SjisLastDelimiter, FindsOnlyWholeCharacters) {
  EXPECT_EQ(sjis::LastDelimiter("\\:", "C:\\Games\\" + kSo), 8u);
  EXPECT_EQ(sjis::LastDelimiter("\\:", kSo + kHyo), std::string::npos);
  EXPECT_EQ(sjis::LastDelimiter("\\:", "C:" + kSo), 1u);
  EXPECT_EQ(sjis::LastDelimiter("\\", ""), std::string::npos);
}

TEST(SjisTruncate, NeverSplitsACharacter) {
  EXPECT_EQ(sjis::Truncate("abc", 5), "abc");
  EXPECT_EQ(sjis::Truncate("abc", 2), "ab");
  EXPECT_EQ(sjis::Truncate("a" + kSo, 2), "a");
  EXPECT_EQ(sjis::Truncate("a" + kSo, 3), "a" + kSo);
  EXPECT_EQ(sjis::Truncate(kSo + kHyo, 3), kSo);
  EXPECT_EQ(sjis::Truncate("", 0), "");
}

TEST(SjisSplitPath, SplitsAtWholeBackslashesOnly) {
  EXPECT_EQ(sjis::SplitPath("C:\\\\Games\\" + kSo), (std::vector<std::string>{"C:", "Games", kSo}));
  EXPECT_EQ(sjis::SplitPath(kHyo + "\\a\\"), (std::vector<std::string>{kHyo, "a"}));
  EXPECT_TRUE(sjis::SplitPath("").empty());
}

TEST(SjisFolding, LeavesDoubleByteCharactersAlone) {
  // 0x83 0x61 is the katakana "ャ": its trail byte is the letter "a".
  const std::string kya = "\x83\x61";
  EXPECT_EQ(sjis::UpperAscii("mg_data.mbl"), "MG_DATA.MBL");
  EXPECT_EQ(sjis::UpperAscii(kya + "a"), kya + "A");
  EXPECT_EQ(sjis::LowerAscii("SETUP" + kya), "setup" + kya);
  // Full-width letters are not folded.
  EXPECT_EQ(sjis::UpperAscii("ｍｇ"), "ｍｇ");
}

TEST(SjisLeadBytes, PredicateCanBeReplaced) {
  sjis::SetLeadBytePredicate([](unsigned char) { return false; });
  EXPECT_EQ(sjis::LastChar(kSo), "\\");
  sjis::SetLeadBytePredicate(nullptr);
  EXPECT_EQ(sjis::LastChar(kSo), kSo);
}

}  // namespace
