// SETUP.exe's texts on any system code page: its own words are Shift-JIS and read as such, the
// system's names (folders, the executable's name) are in the system's code page and read as
// such, side by side; a folder chosen or typed reaches the registry exactly, and one the system's
// code page cannot name is refused. Every check reads the windows in UTF-16 against the expected
// text converted from 932 (the program's words) and given in UTF-16 (the names), so each scenario
// holds the same under code page 932 and 1252 (setup_scenarios_cp1252). Part of setup_scenarios.
#include <windows.h>

#include <string>
#include <vector>

#include "base/win32/handles.h"
#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

// A folder named beyond ASCII in the system's code page (on a Japanese system with a 0x5C trail
// byte, "表"), and one that the system's code page cannot name.
struct Names {
  std::wstring local;
  std::wstring foreign;
  std::wstring program;  // a name for SETUP.exe, and the title it gives
  std::wstring title;
};

Names NamesOfThisSystem() {
  const UINT codePage = GetACP();
  if (codePage == 932) return {L"C:\\ゲーム\\表示", L"C:\\Café", L"表示.exe", L"表示"};
  E2E_ASSERT(codePage == 1252);
  return {L"C:\\Jeux\\Café", L"C:\\ゲーム", L"Café.exe", L"Café"};
}

void MakeFolders(const std::wstring& path) {
  for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(path.c_str(), nullptr);
}

void WriteMarker(const std::wstring& folder, const wchar_t* name) {
  win32::FileHandle file(CreateFileW((folder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  E2E_ASSERT(file);
}

// The recorded folder as the registry holds it.
std::wstring GameDirWide() {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\KORVA\\VELDRAN", 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return L"(none)";
  }
  win32::RegistryKey key(opened);
  wchar_t data[1024] = {};
  DWORD size = sizeof data - sizeof(wchar_t), type = 0;
  LONG rc = RegQueryValueExW(key.Get(), L"GameDir", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  return rc == ERROR_SUCCESS && type == REG_SZ ? std::wstring(data) : L"(none)";
}

// The width of one line of own text in the forms' font, "ＭＳ Ｐゴシック" at 12 pixels: a label
// drawn in another face (one asked for by a name read in the wrong code page) has another width.
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

// Item texts of a list of the program, in UTF-16.
std::vector<std::wstring> ListItems(HWND list) {
  std::vector<std::wstring> items;
  LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring item(static_cast<size_t>(length < 0 ? 0 : length) + 1, L'\0');
    LRESULT got = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
    item.resize(got < 0 ? 0 : static_cast<size_t>(got));
    items.push_back(item);
  }
  return items;
}

bool Holds(const std::vector<std::wstring>& items, const std::wstring& item) {
  for (const std::wstring& i : items) {
    if (i == item) return true;
  }
  return false;
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

// The finder's words in the forms' face and its progress line with the folder found; the main
// window that follows.
TEST(SetupCodePage, search_shows_the_folder) {
  DeleteGameDir();
  const Names names = NamesOfThisSystem();
  MakeFolders(names.local);
  WriteMarker(names.local, L"MG_DATA.MBL");
  Process p = Process::Launch("SETUP.exe");
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  const char* const labels[][2] = {
      {"Label1", "インストールが正常に行われていないか、ドライブ構成が変更されたなどの理由"},
      {"Label2", "により、ここでインストール先フォルダを指定していただく必要がございます。"},
      {"Label3", "・[自動検索] では多少時間がかかります。"},
      {"Label4", "・固定ディスク（通常のハードディスク）以外にインストールされている場合、"},
      {"Label5", "[手動設定] を行う必要があります。"},
      {"Button1", "自動検索"}, {"Button2", "手動設定"}, {"Button3", "終了"}};
  for (const auto& [name, text] : labels) {
    HWND control = Control(finder, name);
    EXPECT_EQ(WideText(control), FromSjis(text)) << name;
    if (name[0] == 'L') {
      EXPECT_EQ(Width(RectInParent(control)), WidthInFormFont(text)) << name;
    }
  }

  ButtonClick(Control(finder, "Button1"));
  HWND main = WaitMain(p, 120000);
  ASSERT_TRUE(main);
  // The walk joins the root and its first folder with a second backslash.
  const std::wstring found = L"C:\\\\" + names.local.substr(3);
  EXPECT_EQ(WideText(Control(finder, "Label6")), FromSjis("検索中 ") + found);
  EXPECT_EQ(GameDirWide(), found + L"\\");
  EXPECT_EQ(WideText(Control(main, "Button1")), FromSjis("アップデート開始"));
  EXPECT_EQ(WideText(Control(main, "Button3")), FromSjis("終了"));
  EXPECT_EQ(WideText(Control(main, "Button4")), FromSjis("アップデート先変更"));
  CloseBox(main);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// The chooser opens in a folder named in the system's code page and shows it as such; a typed
// path that the code page cannot name is refused with the error report, the chooser staying
// open; the folder typed again reaches the registry exactly.
TEST(SetupCodePage, chooser_keeps_the_folder_exact) {
  DeleteGameDir();
  const Names names = NamesOfThisSystem();
  MakeFolders(names.local);
  WriteMarker(names.local, L"mg_data.mbl");
  Process p = Process::Launch("SETUP.exe", {}, ToSystem(names.local));
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  ButtonClick(Control(finder, "Button2"));
  HWND chooser = WaitChooser(p);
  ASSERT_TRUE(chooser);
  HWND edit = Control(chooser, "DirEdit");
  EXPECT_EQ(WideText(edit), names.local);
  const std::wstring last = names.local.substr(names.local.rfind(L'\\') + 1);
  EXPECT_TRUE(Holds(ListItems(Control(chooser, "DirList")), last));
  EXPECT_TRUE(Holds(ListItems(Control(chooser, "FileList")), L"mg_data.mbl"));
  EXPECT_EQ(WideText(Control(chooser, "Label1")), FromSjis("ディレクトリ名(&N):"));
  EXPECT_EQ(WideText(Control(chooser, "CancelButton")), FromSjis("キャンセル"));

  SetText(edit, L"");
  TypeText(edit, names.foreign);
  ASSERT_EQ(WideText(edit), names.foreign);
  ButtonClick(Control(chooser, "OKButton"));
  HWND box = nullptr;
  EXPECT_EQ(WaitErrorBox(p, &box), std::string("不正なファイル名です."));
  ASSERT_TRUE(box);
  DismissBox(box);
  EXPECT_TRUE(IsVisible(chooser));
  EXPECT_EQ(GameDirWide(), L"(none)");

  SetText(edit, L"");
  TypeText(edit, names.local);
  ASSERT_EQ(WideText(edit), names.local);
  ButtonClick(Control(chooser, "OKButton"));
  HWND main = WaitMain(p);
  ASSERT_TRUE(main);
  EXPECT_EQ(GameDirWide(), names.local + L"\\");
  CloseBox(main);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}
