// The "." rule of the error report, over Shift-JIS endings.
#include "dialogs/error_text.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_names.h"

namespace {

struct DotCase {
  std::string message;
  bool appended;
};

class ErrorReportDot : public ::testing::TestWithParam<DotCase> {};

TEST_P(ErrorReportDot, AppendsAfterCharactersAboveTheDot) {
  const DotCase& c = GetParam();
  EXPECT_EQ(ErrorReportText(c.message), c.appended ? c.message + "." : c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, ErrorReportDot,
    ::testing::Values(DotCase{"ディレクトリを作成できません", true},  // double-byte ending
                      DotCase{"完了しました。", true},               // the Japanese full stop too
                      DotCase{"ソ", true},                           // 83 5C: trail byte is a backslash
                      DotCase{"abc", true}, DotCase{"I/O エラー (5)", false}, DotCase{"x9", true},
                      DotCase{"a/", true}, DotCase{"a:", true}, DotCase{"a;", true},
                      DotCase{"\xB1", true},  // half-width kana
                      DotCase{"end.", false}, DotCase{"line\n", false}, DotCase{"a ", false},
                      DotCase{"a!", false}, DotCase{"a,", false}, DotCase{"a-", false}, DotCase{"", false}),
    [](const auto& info) { return testing_names::TextName(info.param.message); });

// A message that ends in a name of the system's ends by that name's character rules, and the
// "." added is the program's own.
TEST(ErrorReportShownDot, FollowsTheRunItEnds) {
  const ShownText path = OwnText("ファイル ") + SystemText("C:\\Caf\xE9");
  EXPECT_EQ(ErrorReportText(path), path + OwnText("."));
  EXPECT_EQ(ErrorReportText(OwnText("x ") + SystemText("C:\\a.")), OwnText("x ") + SystemText("C:\\a."));
  EXPECT_EQ(ErrorReportText(ShownText()), ShownText());
}

}  // namespace
