// Shift-JIS scanning: trail bytes that look like "\" or letters must never be taken alone.
#include "base/sjis.h"

#include <gtest/gtest.h>

#include "tests/base/system_code_page.h"

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

// System text is scanned by the system's code page: 932 natively unless a test picks another.
TEST(SjisLeadBytes, SystemTextFollowsTheSystemsCodePage) {
  {
    SystemIs utf8(65001);
    EXPECT_EQ(sjis::LastChar("C:\\Caf\xC3\xA9"), "\xC3\xA9");
  }
  EXPECT_EQ(sjis::LastChar(kSo), kSo);
}

// Characters by code page: a lead byte and the next of the double-byte code pages, UTF-8's
// sequences (broken or ill-formed ones byte by byte, so no trail byte 5C is taken), one byte a
// character elsewhere; and the code pages whose conversion refuses the best-fit flags.
TEST(CodePageChars, EachCodePageCutsItsOwnCharacters) {
  const struct {
    unsigned page;
    std::string text;
    std::vector<size_t> lengths;
  } cases[] = {
      {932, "a" + kSo + "\\", {1, 2, 1}},
      {932, "\xA6\x5C" "ab\x83", {1, 1, 1, 1, 1}},  // half-width kana; a lone lead byte at the end
      {936, "\x81\x5C\xFE\x40", {2, 2}},
      {1252, kSo + "\xE9\\", {1, 1, 1, 1}},
      {65001, "C\xC3\xA9\xE3\x82\xB2\xF0\x9F\x8E\xAE", {1, 2, 3, 4}},
      {65001, "\xE3\x82\\", {1, 1, 1}},
      // overlong forms, a surrogate, past U+10FFFF
      {65001, "\xC0\xAF\xE0\x80\xAF\xF0\x80\x80\xAF\xED\xA0\x80\xF4\x90\x80\x80", std::vector<size_t>(16, 1)},
  };
  for (const auto& c : cases) {
    std::vector<size_t> lengths;
    sjis::ForEachChar(c.text, MultibyteCodePage(c.page), [&](size_t, size_t length) { lengths.push_back(length); });
    EXPECT_EQ(lengths, c.lengths) << c.page;
  }
  EXPECT_TRUE(MultibyteCodePage(932).TakesBestFitFlags());
  EXPECT_TRUE(MultibyteCodePage(1252).TakesBestFitFlags());
  EXPECT_FALSE(MultibyteCodePage(65001).TakesBestFitFlags());
}

}  // namespace
