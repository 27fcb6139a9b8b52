// Access keys marked in captions.
#include "ui/caption.h"

#include <gtest/gtest.h>

#include "tests/base/system_code_page.h"
#include "tests/test_names.h"

namespace {

struct KeyCase {
  const char* caption;
  char key;
};

class AccessKey : public ::testing::TestWithParam<KeyCase> {};

TEST_P(AccessKey, IsTheCharacterAfterTheMark) { EXPECT_EQ(AccessKeyOf(GetParam().caption), GetParam().key); }

INSTANTIATE_TEST_SUITE_P(
    Captions, AccessKey,
    ::testing::Values(KeyCase{"はい(&Y)", 'Y'}, KeyCase{"中止(&a)", 'A'}, KeyCase{"OK", 0}, KeyCase{"&", 0},
                      KeyCase{"A&&B", 0}, KeyCase{"A&&&B", 'B'}, KeyCase{"&1st", '1'},
                      // A trail byte 0x26 does not exist in Shift-JIS, but 0x5C-style traps do:
                      // the scan steps over whole characters.
                      KeyCase{"ソ&N", 'N'}, KeyCase{"&あ", 0}, KeyCase{"ディレクトリ名(&N):", 'N'}),
    [](const auto& info) { return testing_names::TextName(info.param.caption); });

}  // namespace

namespace {

// Captions are Shift-JIS on every system: on an English one (no lead bytes) "あ" after the mark
// is still a double-byte character and no access key. A run of system text goes by the system's
// code page ("\xE9" is "é" there, not the lead byte of 932 that would take the "&"), and a mark
// at the end of one run marks the first character of the next.
TEST(AccessKeyOnAnySystem, ReadsEachRunByItsCodePage) {
  SystemIs english(1252);
  EXPECT_EQ(AccessKeyOf("&あ"), 0);
  EXPECT_EQ(AccessKeyOf("はい(&Y)"), 'Y');
  EXPECT_EQ(AccessKeyOf(SystemText("Caf\xE9&x")), 'X');
  EXPECT_EQ(AccessKeyOf(OwnText("ソ&") + SystemText("d")), 'D');
  EXPECT_EQ(AccessKeyOf(OwnText("&") + SystemText("&d")), 0);
}

// A mark that ends the caption has no key, whatever byte lies beyond it.
TEST(AccessKeyAtTheEnd, IsNone) { EXPECT_EQ(AccessKeyOf(std::string_view("OK&Y", 3)), 0); }

}  // namespace
