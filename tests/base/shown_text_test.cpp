// Shown text: the program's own Shift-JIS words and the system's names kept apart run by run,
// each cut and converted by the rules of its own code page.
#include "base/shown_text.h"

#include <gtest/gtest.h>

#include "base/failure.h"
#include "tests/base/system_code_page.h"

namespace {

TEST(ShownTextTest, RunsKeepTheirCodePagesAndMergeWithTheirOwnKind) {
  ShownText text = OwnText("検索中 ") + SystemText("D:\\Jeux\\") + SystemText("Caf\xE9") + OwnText("");
  ASSERT_EQ(text.Runs().size(), 2u);
  EXPECT_EQ(text.Runs()[0].page, CodePage::Own);
  EXPECT_EQ(text.Runs()[1].page, CodePage::System);
  EXPECT_EQ(text.Runs()[1].bytes, "D:\\Jeux\\Caf\xE9");
  EXPECT_EQ(text.Bytes(), "検索中 D:\\Jeux\\Caf\xE9");
  EXPECT_NE(OwnText("C:\\"), SystemText("C:\\"));
  EXPECT_TRUE((OwnText("") + SystemText("")).Empty());
  text += text;
  EXPECT_EQ(text.Runs().size(), 4u);
}

TEST(ShownTextTest, FailuresKeepTheSystemsNamesApartFromTheirWords) {
  EXPECT_EQ(EFCreateError("C:\\Caf\xE9\\VELDRAN.EXE").Shown(),
            OwnText("ファイル ") + SystemText("C:\\Caf\xE9\\VELDRAN.EXE") + OwnText(" を作成できません"));
  EXPECT_EQ(EUnspellableFolder(UnicodeText("Caf\xC3\xA9")).Shown().Runs()[1].page, CodePage::Unicode);
  EXPECT_EQ(EPlatformError(5, "Acc\xE8s refus\xE9.\r\n").Shown(), SystemText("Acc\xE8s refus\xE9."));
  EXPECT_EQ(EPlatformError(0, "").Shown(), OwnText("システム エラー (0)"));
  EXPECT_EQ(EReadError().Shown(), OwnText(EReadError().Message()));
}

// Each run is cut, and converted, by its own code page: the system's as the system has it (932,
// 1252 or UTF-8), the program's words by 932 and a name the system cannot spell by UTF-8 on all.
TEST(ShownTextTest, EachRunFollowsItsCodePageOnEverySystem) {
  const std::string so = "ソ", e = "\xC3\xA9", ge = "\xE3\x82\xB2";  // 83 5C; "é" and "ゲ" in UTF-8
  const struct {
    unsigned system;
    std::string text, last;
    size_t n;
    std::string start;
  } cases[] = {
      {932, "C:\\表", "表", 4, "C:\\"},  // 95 5C
      {1252, "Caf\xE9\\", "\\", 4, "Caf\xE9"},  // no double-byte characters: "\xE9\\" is two
      {65001, "C:\\Caf" + e, e, 7, "C:\\Caf"},
  };
  for (const auto& c : cases) {
    SystemIs system(c.system);
    EXPECT_EQ(CodePageOf(CodePage::System), MultibyteCodePage(c.system));
    EXPECT_EQ(LastChar(SystemText(c.text)), c.last) << c.system;
    EXPECT_EQ(Truncate(OwnText("ab") + SystemText(c.text) + OwnText(so), 2 + c.n), OwnText("ab") + SystemText(c.start))
        << c.system;
    EXPECT_EQ(CodePageOf(CodePage::Own), kOwnCodePage);
    EXPECT_EQ(LastChar(OwnText("a" + so)), so) << c.system;
    EXPECT_EQ(Truncate(OwnText("a" + so), 2), OwnText("a")) << c.system;
    EXPECT_EQ(LastChar(OwnText("x") + UnicodeText("a" + ge)), ge) << c.system;
    EXPECT_EQ(Truncate(UnicodeText(ge + ge), 5), UnicodeText(ge)) << c.system;
  }
  EXPECT_EQ(Truncate(OwnText("x"), 0), ShownText());
}

}  // namespace
