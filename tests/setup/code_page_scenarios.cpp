// SETUP.exe's texts on any system code page: its own words read as the Shift-JIS they are, the
// system's names (folders, the executable's name) as the system's code page has them, side by
// side; a folder chosen or typed reaches the registry exactly, one that the system's code page
// cannot name is refused, and listed as it is; a copied notice reads as shown. The windows are
// read in UTF-16 against the program's words converted from 932 and the names given in UTF-16,
// so each scenario holds alike under code page 932, 1252 (setup_scenarios_cp1252) and UTF-8
// (setup_scenarios_cp65001). Part of setup_scenarios.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/win32/handles.h"
#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

// A folder named beyond ASCII in the system's code page (on a Japanese system with the 0x5C
// trail byte of "表") below its parent, one that the code page cannot name (UTF-8 names all but a
// lone surrogate) with the folder its best-fit stand-in names where there is one, and a name for
// SETUP.exe with the title it gives.
struct Names {
  std::wstring parent, local, foreign, standIn, program, title;
};

Names NamesOfThisSystem() {
  if (GetACP() == 932) return {L"C:\\ゲーム", L"C:\\ゲーム\\表示", L"C:\\Café", L"C:\\Cafe", L"表示.exe", L"表示"};
  if (GetACP() == 65001) return {L"C:\\ゲーム", L"C:\\ゲーム\\Café", L"C:\\x\xD800", L"", L"Caféゲーム.exe", L"Caféゲーム"};
  E2E_ASSERT(GetACP() == 1252);
  return {L"C:\\Jeux", L"C:\\Jeux\\Café", L"C:\\ゲーム", L"", L"Café.exe", L"Café"};
}

void MakeGameFolder(const Names& names, const char* marker) {
  CreateDirectoryW(names.parent.c_str(), nullptr);
  CreateDirectoryW(names.local.c_str(), nullptr);
  WriteText(ToSystem(names.local) + "\\" + marker, "marker");
}

// A label drawn in another face than "ＭＳ Ｐゴシック" (one asked for by a name read in the
// wrong code page) has another width than its text in that face.
int WidthInFormFont(const std::string& text) {
  win32::FontHandle font(CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     DEFAULT_PITCH | FF_DONTCARE, L"ＭＳ Ｐゴシック"));
  win32::WindowDc screen(nullptr);
  win32::SelectedObject selected(screen.Get(), font.Get());
  const std::wstring wide = FromSjis(text);
  SIZE size{};
  GetTextExtentPoint32W(screen.Get(), wide.c_str(), static_cast<int>(wide.size()), &size);
  return size.cx;
}

// The chooser as a player opens it: "手動設定" on the finder of SETUP.exe started without a folder
// recorded; nullptr when either window did not come.
HWND OpenChooser(const Process& p, HWND* finderOut = nullptr) {
  HWND finder = WaitFinder(p);
  if (finderOut) *finderOut = finder;
  if (!finder) return nullptr;
  ButtonClick(Control(finder, "Button2"));
  return WaitChooser(p);
}

// The index of the list's line that reads item, or -1.
LRESULT LineOf(HWND list, const std::wstring& item) {
  LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::wstring text(static_cast<size_t>(std::max<LRESULT>(0, SendMessageW(list, LB_GETTEXTLEN, i, 0))) + 1, L'\0');
    LRESULT got = SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, static_cast<LRESULT>(text.size()))));
    if (text == item) return i;
  }
  return -1;
}

bool ListHolds(HWND list, const std::wstring& item) { return LineOf(list, item) >= 0; }

// Double-clicks line index of the folder list.
void OpenLine(HWND list, LRESULT index) {
  RECT item{};
  SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
  SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  ClickAt(list, item.left + 40, (item.top + item.bottom) / 2);
  ClickAt(list, item.left + 40, (item.top + item.bottom) / 2);
}

}  // namespace

// The error report names the folder as the system does, beside the program's words, under the
// title that the executable's name gives.
TEST(SetupCodePage, error_names_the_folder) {
  const Names names = NamesOfThisSystem();
  const std::wstring program = L"C:\\app\\" + names.program;
  ASSERT_TRUE(CopyFileW(L"C:\\app\\SETUP.exe", program.c_str(), FALSE));
  const std::wstring folder = names.local + L"\\";  // missing: nothing can be written there
  Process p = LaunchWithGameDir(ToSystem(folder), ToSystem(program));
  HWND main = WaitMain(p);
  ASSERT_TRUE(main);
  ButtonClick(Control(main, "Button1"));
  HWND box = WaitWindow(p.Id(), "#32770", nullptr, 60000);
  ASSERT_TRUE(box);
  EXPECT_EQ(WideText(box), names.title);
  EXPECT_EQ(WideText(GetDlgItem(box, 0xFFFF)),
            FromSjis("ファイル ") + folder + L"VELDRAN.EXE" + FromSjis(" を作成できません."));
  DismissBox(box);
  CloseBox(main);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// The finder's words in the forms' face, its progress line ending on the folder found, and the
// main window that follows.
TEST(SetupCodePage, search_shows_the_folder) {
  DeleteGameDir();
  const Names names = NamesOfThisSystem();
  MakeGameFolder(names, "MG_DATA.MBL");
  Process p = Process::Launch("SETUP.exe");
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  const char label1[] = "インストールが正常に行われていないか、ドライブ構成が変更されたなどの理由";
  EXPECT_EQ(WideText(Control(finder, "Label1")), FromSjis(label1));
  EXPECT_EQ(Width(RectInParent(Control(finder, "Label1"))), WidthInFormFont(label1));
  EXPECT_EQ(WideText(Control(finder, "Button2")), FromSjis("手動設定"));

  ButtonClick(Control(finder, "Button1"));
  HWND main = WaitMain(p, 120000);
  ASSERT_TRUE(main);
  // The walk joins the root and its first folder with a second backslash.
  const std::wstring found = L"C:\\\\" + names.local.substr(3);
  EXPECT_EQ(WideText(Control(finder, "Label6")), FromSjis("検索中 ") + found);
  EXPECT_EQ(FromSystem(GameDirValue()), found + L"\\");
  EXPECT_EQ(WideText(Control(main, "Button4")), FromSjis("アップデート先変更"));
  CloseBox(main);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// The chooser opens in a folder named in the system's code page and shows it so; a typed path
// that the code page cannot name is refused by the error report, the chooser staying open; the
// folder typed instead reaches the registry exactly.
TEST(SetupCodePage, chooser_keeps_the_folder_exact) {
  DeleteGameDir();
  const Names names = NamesOfThisSystem();
  MakeGameFolder(names, "mg_data.mbl");
  Process p = Process::Launch("SETUP.exe", {}, ToSystem(names.local));
  HWND chooser = OpenChooser(p);
  ASSERT_TRUE(chooser);
  HWND edit = Control(chooser, "DirEdit");
  EXPECT_EQ(WideText(edit), names.local);
  EXPECT_TRUE(ListHolds(Control(chooser, "DirList"), names.local.substr(names.parent.size() + 1)));
  EXPECT_TRUE(ListHolds(Control(chooser, "FileList"), L"mg_data.mbl"));
  EXPECT_EQ(WideText(Control(chooser, "Label1")), FromSjis("ディレクトリ名(&N):"));

  for (const std::wstring& typed : {names.foreign, names.local}) {
    SetText(edit, L"");
    TypeText(edit, typed);
    ASSERT_EQ(WideText(edit), typed);
    ButtonClick(Control(chooser, "OKButton"));
    if (typed == names.local) break;
    HWND box = nullptr;
    EXPECT_EQ(WaitErrorBox(p, &box), std::string("不正なファイル名です."));
    ASSERT_TRUE(box);
    DismissBox(box);
    EXPECT_TRUE(IsVisible(chooser));
    EXPECT_EQ(GameDirValue(), std::string("(none)"));
  }
  HWND main = WaitMain(p);
  ASSERT_TRUE(main);
  EXPECT_EQ(FromSystem(GameDirValue()), names.local + L"\\");
  CloseBox(main);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// A folder whose name the system's code page cannot spell is listed as it is, beside the folder
// that its best-fit stand-in names (Cafe for Café under 932; "???" under 1252 names none and is
// not listed); entering it is refused by the error report, saying why, and the chooser stays
// where it was, while the stand-in's line opens its own folder. (Not under UTF-8, which spells
// every name a folder can have there.)
TEST(SetupCodePage, chooser_lists_a_name_the_code_page_cannot_spell) {
  DeleteGameDir();
  const Names names = NamesOfThisSystem();
  ASSERT_TRUE(CreateDirectoryW(names.foreign.c_str(), nullptr));
  if (!names.standIn.empty()) {
    ASSERT_TRUE(CreateDirectoryW(names.standIn.c_str(), nullptr));
  }
  Process p = Process::Launch("SETUP.exe", {}, "C:\\");
  HWND finder = nullptr;
  HWND chooser = OpenChooser(p, &finder);
  ASSERT_TRUE(chooser);
  HWND list = Control(chooser, "DirList");
  const LRESULT foreign = LineOf(list, names.foreign.substr(3));
  ASSERT_GE(foreign, 0);
  EXPECT_EQ(ListHolds(list, FromSystem(ToSystem(names.foreign.substr(3)))), !names.standIn.empty());

  OpenLine(list, foreign);
  HWND box = nullptr;
  WaitErrorBox(p, &box);
  ASSERT_TRUE(box);
  EXPECT_EQ(WideText(GetDlgItem(box, 0xFFFF)),
            FromSjis("ディレクトリ ") + names.foreign.substr(3) +
                FromSjis(" の名前はこのシステムの文字コードで表せないため、開くことができません。"
                         "ゲームもこのディレクトリでは動作しません."));
  DismissBox(box);
  EXPECT_TRUE(IsVisible(chooser));
  EXPECT_EQ(WideText(Control(chooser, "DirEdit")), L"C:\\");
  if (!names.standIn.empty()) {
    OpenLine(list, LineOf(list, names.standIn.substr(3)));
    EXPECT_TRUE(WaitUntil([&] { return WideText(Control(chooser, "DirEdit")) == names.standIn; }));
  }
  ButtonClick(Control(chooser, "CancelButton"));
  EXPECT_TRUE(WaitGone(chooser));
  ButtonClick(Control(finder, "Button3"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// Ctrl+C on the completion notice: CF_TEXT holds the program's Shift-JIS bytes as ever, which
// paste right only where the system's code page is 932; CF_UNICODETEXT the text as shown.
TEST(SetupCodePage, copied_notice_reads_as_shown) {
  OldGame game("C:\\Game\\");
  Process p = LaunchWithGameDir(game.dir);
  HWND notice = UpdateToNotice(p);
  ASSERT_TRUE(notice);
  ASSERT_TRUE(ClearClipboard());
  ASSERT_TRUE(Activate(notice));
  CtrlC();
  const std::string d = std::string(27, '-') + "\r\n";
  const std::string copied = d + "情報\r\n" + d + "アップデート完了しました\r\n" + d + "OK   \r\n" + d;
  EXPECT_TRUE(WaitUntil([&] { return ClipboardWideText() == std::optional<std::wstring>(FromSjis(copied)); }));
  EXPECT_EQ(ClipboardText(), std::optional<std::string>(copied));
  ButtonClick(Control(notice, "OK"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}
