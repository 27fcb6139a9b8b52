// Shown text: the program's own Shift-JIS words and the system's names kept apart run by run,
// each cut and converted by the rules of its own code page.
#include "base/shown_text.h"

#include <gtest/gtest.h>

#include "base/failure.h"
#include "base/sjis.h"

namespace {

// Marks each run with its code page, so that a test sees which conversion each part went through.
class TaggingDecoder : public TextDecoder {
 public:
  std::u16string Decode(CodePage page, std::string_view bytes) const override {
    std::u16string out = page == CodePage::Own ? u"<own:" : u"<sys:";
    for (unsigned char c : bytes) out += static_cast<char16_t>(c);
    return out + u">";
  }
};

bool NoLeadBytes(unsigned char) { return false; }

// The system's lead bytes for the length of a test: those of an English system (1252, none) or
// of a Japanese one.
class SystemCodePage {
 public:
  explicit SystemCodePage(sjis::LeadBytePredicate isLead) { sjis::SetLeadBytePredicate(isLead); }
  ~SystemCodePage() { sjis::SetLeadBytePredicate(nullptr); }
};

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
  const TaggingDecoder decoder;
  EXPECT_EQ(ToUtf16(EFCreateError("C:\\Caf\xE9\\VELDRAN.EXE").Shown(), decoder),
            ToUtf16(OwnText("ファイル "), decoder) + u"<sys:C:\\Caf\u00E9\\VELDRAN.EXE>" +
                ToUtf16(OwnText(" を作成できません"), decoder));
  EXPECT_EQ(EPlatformError(5, "Acc\xE8s refus\xE9.\r\n").Shown(), SystemText("Acc\xE8s refus\xE9."));
  EXPECT_EQ(EPlatformError(0, "").Shown(), OwnText("システム エラー (0)"));
  EXPECT_EQ(EReadError().Shown(), OwnText(EReadError().Message()));
}

TEST(ShownTextTest, OwnRunsAreShiftJisOnEverySystem) {
  SystemCodePage english(NoLeadBytes);
  const std::string so = "ソ";  // 83 5C
  EXPECT_EQ(LastChar(OwnText("a" + so)), so);
  EXPECT_EQ(Truncate(OwnText("a" + so), 2), OwnText("a"));
  // The system's text has no double-byte characters there: "\xE9\\" is two.
  EXPECT_EQ(LastChar(SystemText("Caf\xE9\\")), "\\");
  EXPECT_EQ(Truncate(OwnText("ab") + SystemText("\xE9\\") + OwnText(so), 3), OwnText("ab") + SystemText("\xE9"));
  EXPECT_EQ(Truncate(OwnText("ab") + SystemText("\xE9\\") + OwnText(so), 5), OwnText("ab") + SystemText("\xE9\\"));
}

TEST(ShownTextTest, SystemRunsFollowTheSystemsLeadBytes) {
  SystemCodePage japanese(sjis::IsCp932LeadByte);
  const std::string hyo = "表";  // 95 5C
  EXPECT_EQ(LastChar(SystemText("C:\\" + hyo)), hyo);
  EXPECT_EQ(Truncate(SystemText("C:" + hyo), 3), SystemText("C:"));
  EXPECT_EQ(Truncate(OwnText("x"), 0), ShownText());
}

}  // namespace
