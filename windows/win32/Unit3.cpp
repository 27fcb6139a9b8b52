// The finder dialog: automatic search with abort, manual choice, exit.
#include "windows/win32/Unit3.h"

#include <windows.h>

#include "dialogs/win32/folder_chooser.h"
#include "dialogs/win32/message_dialog.h"
#include "location/game_dir.h"
#include "ui/win32/application.h"
#include "ui/layout.h"

TForm3* Form3 = nullptr;

namespace {

const char kSearchCaption[] = "自動検索";
const char kAbortCaption[] = "中止";

// One screen frame: how often a running search shows its progress.
const unsigned long kProgressFrameMs = 16;

const TFormSpec kForm3 = {"TForm3", OwnText("インストール先不明"), TBorderStyle::Dialog, 1074, 381, 418, 175, true};

// clang-format off
const TLayoutRow<TForm3> kForm3Controls[] = {
  // Field                   Name      Left  Top  Width  Height   Caption                                                                    Tab   On click
  {Field<&TForm3::Label1>,  "Label1",     8,  16,   399,     12, "インストールが正常に行われていないか、ドライブ構成が変更されたなどの理由",  -1, nullptr},
  {Field<&TForm3::Label2>,  "Label2",     8,  32,   381,     12, "により、ここでインストール先フォルダを指定していただく必要がございます。",  -1, nullptr},
  {Field<&TForm3::Label3>,  "Label3",     8,  56,   213,     12, "・[自動検索] では多少時間がかかります。",                                   -1, nullptr},
  {Field<&TForm3::Label4>,  "Label4",     8,  72,   375,     12, "・固定ディスク（通常のハードディスク）以外にインストールされている場合、",  -1, nullptr},
  {Field<&TForm3::Label5>,  "Label5",    16,  88,   177,     12, "[手動設定] を行う必要があります。",                                         -1, nullptr},
  {Field<&TForm3::Label6>,  "Label6",     8, 152,     4,     12, "",                                                                          -1, nullptr},
  {Field<&TForm3::Button1>, "Button1",    8, 112,    89,     33, kSearchCaption,                                                               0, &TForm3::Button1Click},
  {Field<&TForm3::Button2>, "Button2",  120, 112,    91,     33, "手動設定",                                                                   1, &TForm3::Button2Click},
  {Field<&TForm3::Button3>, "Button3",  328, 112,    81,     33, "終了",                                                                       2, &TForm3::Button3Click},
};
// clang-format on

// The manual choice looks for the marker in lower case; file names match without regard to case.
const char kChosenMarker[] = "mg_data.mbl";

// Marks a sweep as running for as long as it is on the stack, failures included.
class SweepInProgress {
 public:
  explicit SweepInProgress(bool& flag) : flag_(flag) { flag_ = true; }
  SweepInProgress(const SweepInProgress&) = delete;
  SweepInProgress& operator=(const SweepInProgress&) = delete;
  ~SweepInProgress() { flag_ = false; }

 private:
  bool& flag_;
};

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

TForm3::TForm3() : TForm(kForm3) {
  CreateControls(this, kForm3Controls);
  OnShow = [this] { FormShow(); };
  SetSearchProgressHook([this](const std::string& folder) { ShowSearchProgress(folder); });
}

void TForm3::FormShow() {
  ui::LayoutPoint p = ui::CentredOnScreen(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), Width(),
                                          Height(), ui::Overhang::Kept);
  SetLeft(p.X);
  SetTop(p.Y);
}

void TForm3::BecomeIdle() {
  Button1->SetCaption(OwnText(kSearchCaption));
  Button2->SetEnabled(true);
  Button3->SetEnabled(true);
}

void TForm3::Button1Click() {
  if (Button1->Caption() != OwnText(kSearchCaption)) {
    // Reached from a progress call of the running sweep: ask it to wind down.
    StopSearch = true;
    BecomeIdle();
    return;
  }
  // A start clicked while an aborted sweep is still winding down would run inside it and clear
  // its stop flag; it is refused until that sweep has returned.
  if (sweeping_) return;

  Button1->SetCaption(OwnText(kAbortCaption));
  Button2->SetEnabled(false);
  Button3->SetEnabled(false);
  {
    SweepInProgress guard(sweeping_);
    progressText_ = ShownText();
    SearchFixedDisks();
    // The line ends on the last folder walked, also when its own update was skipped.
    if (!progressText_.Empty()) DrawProgress();
  }

  if (!FoundDir.empty()) {
    SaveGameDir(FoundDir + "\\");
    // A later showing (from the change-destination command) starts idle.
    BecomeIdle();
    Close();
    return;
  }
  ShowMessageDialog("ＨＤＤ上にアップデート対象を発見できませんでした。", DialogKind::Information,
                    DialogButton::Abort, 0);
  BecomeIdle();
}

// Showing a folder costs more than listing it (the label resizes itself, the window repaints,
// the waiting messages are handled), so the screen follows at most once a frame; an abort click
// still runs within a frame of being made.
void TForm3::ShowSearchProgress(const std::string& folder) {
  // The folder is named as the system names it.
  progressText_ = OwnText("検索中 ") + SystemText(folder);
  if (GetTickCount() - progressTick_ < kProgressFrameMs) return;
  progressTick_ = GetTickCount();
  DrawProgress();
  Application->ProcessMessages();
}

void TForm3::DrawProgress() {
  Label6->SetCaption(progressText_);
  UpdateWindow(Handle());
}

void TForm3::Button2Click() {
  std::string folder;
  if (!ChooseFolder(folder, EditablePath | CreateOnAccept | ConfirmCreate, 1000)) return;
  if (!FileExists(folder + "\\" + kChosenMarker)) return;
  SaveGameDir(folder + "\\");
  Close();
}

void TForm3::Button3Click() { Close(); }
