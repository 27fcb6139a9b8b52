// The folder chooser window, TSelectDirDlg, and ChooseFolder.
#include "dialogs/win32/folder_chooser.h"

#include <windows.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/sjis.h"
#include "dialogs/chooser_layout.h"
#include "dialogs/chooser_paths.h"
#include "dialogs/win32/chooser_backends.h"
#include "dialogs/win32/message_dialog.h"
#include "resources/resource_names.h"
#include "ui/win32/application.h"
#include "ui/win32/form.h"
#include "base/win32/handles.h"

namespace {

using chooser::ControlKind;
using chooser::FolderIcon;

// Indentation of one level of the folder tree, at 96 pixels per inch.
constexpr int kLevelIndent = 8;

int ScreenPixelsPerInch() {
  win32::WindowDc screen(nullptr);
  return GetDeviceCaps(screen.Get(), LOGPIXELSY);
}

class TSelectDirDlg : public TForm {
 public:
  TSelectDirDlg();

  void FormCreate();
  void DirListChange();
  void DriveListChange();
  void OKClick();
  void NetClick();
  void HelpButtonClick();

  // Moves both lists to path (absolute, relative or a bare drive); EInOutError when the folder
  // cannot be entered, leaving the lists as they were.
  void SetDirectory(const std::string& path);
  const std::string& Directory() const { return directory_; }
  // The text of DirEdit as OK accepted it, in the system's code page.
  const std::string& AcceptedText() const { return acceptedText_; }
  void SetEditablePath(bool editable);
  void SetConfirmCreate(bool confirm) { confirmCreate_ = confirm; }
  void SetHelp(int32_t helpContext);
  void ScaleToScreen(int pixelsPerInch);
  // Item heights, then every control from its design rectangle (the folder list cut to whole
  // items of the new height), so that rounding never accumulates.
  void PlaceControls(int pixelsPerInch);

  TLabel* Label1;
  TEdit* DirEdit;
  TLabel* DirLabel;
  TLabel* Label2;
  TLabel* Label3;
  TLabel* Label4;
  TListBox* DirList;
  TListBox* FileList;
  TComboBox* DriveList;
  TButton* NetButton;
  TButton* OKButton;
  TButton* CancelButton;
  TButton* HelpButton;

 private:
  void FillDrives();
  void FillFolders();
  // Selects the drive of the current folder in the drive list.
  void ShowCurrentDrive();
  void DirListDblClick();
  HBITMAP DriveBitmap(chooser::DriveKind kind) const;
  HBITMAP FolderBitmap(FolderIcon icon) const;

  // Paths and drive texts are the system's, in its code page.
  std::string directory_;
  std::string acceptedText_;
  std::vector<chooser::FolderLine> lines_;
  std::vector<chooser::DriveEntry> drives_;
  bool editablePath_ = false;
  bool confirmCreate_ = false;
  int pixelsPerInch_ = chooser::kDesignPixelsPerInch;
  // The list pictures, indexed by resource_names::ChooserBitmap.
  std::array<win32::BitmapHandle, resource_names::kChooserBitmapCount> bitmaps_;
  // The controls in the order of chooser::kSelectDirControls.
  std::array<TControl*, chooser::kControlCount> controls_{};
};

// The field each row of chooser::kSelectDirControls is bound to, row for row.
using RowBinder = TControl& (*)(TSelectDirDlg&, const TControlRow&);
// clang-format off
const RowBinder kSelectDirFields[chooser::kControlCount] = {
  Field<&TSelectDirDlg::Label1>,
  Field<&TSelectDirDlg::DirEdit>,
  Field<&TSelectDirDlg::DirLabel>,
  Field<&TSelectDirDlg::Label2>,
  Field<&TSelectDirDlg::DirList>,
  Field<&TSelectDirDlg::Label3>,
  Field<&TSelectDirDlg::FileList>,
  Field<&TSelectDirDlg::Label4>,
  Field<&TSelectDirDlg::DriveList>,
  Field<&TSelectDirDlg::NetButton>,
  Field<&TSelectDirDlg::OKButton>,
  Field<&TSelectDirDlg::CancelButton>,
  Field<&TSelectDirDlg::HelpButton>,
};
// clang-format on

TSelectDirDlg::TSelectDirDlg()
    : TForm(TFormSpec{"TSelectDirDlg", OwnText("ディレクトリの選択"), TBorderStyle::Dialog, 0, 0,
                      chooser::kClientWidth, chooser::kClientHeight, true}) {
  for (int i = 0; i < chooser::kControlCount; ++i) {
    const chooser::ControlRow& row = chooser::kSelectDirControls[i];
    const chooser::LayoutRect& r = row.rect;
    controls_[i] = &kSelectDirFields[i](*this, TControlRow{row.name, r.Left, r.Top, r.Width, r.Height,
                                                           OwnText(row.caption), row.tabOrder, nullptr});
  }

  Label1->FocusControl = DirEdit;
  Label2->FocusControl = DirList;
  Label3->FocusControl = FileList;
  Label4->FocusControl = DriveList;

  // The path label shows the full path, shortened in the middle when it does not fit; "&" in a
  // folder name is shown as it is.
  DirLabel->SetAutoSize(false);
  DirLabel->SetShowAccelChar(false);
  SetWindowLongPtrA(DirLabel->Handle(), GWL_STYLE, GetWindowLongPtrA(DirLabel->Handle(), GWL_STYLE) | SS_PATHELLIPSIS);

  PlaceControls(chooser::kDesignPixelsPerInch);
  DirList->OnDblClick = [this] { DirListDblClick(); };
  FileList->SetTextColor(GetSysColor(COLOR_GRAYTEXT));
  DriveList->OnChange = [this] { DriveListChange(); };

  OKButton->SetDefault(true);
  OKButton->ModalResult = mrOk;
  OKButton->OnClick = [this] { OKClick(); };
  CancelButton->SetCancel(true);
  CancelButton->ModalResult = mrCancel;
  NetButton->OnClick = [this] { NetClick(); };
  HelpButton->OnClick = [this] { HelpButtonClick(); };

  HINSTANCE module = GetModuleHandleA(nullptr);
  for (int i = 0; i < resource_names::kChooserBitmapCount; ++i)
    bitmaps_[i].Reset(LoadBitmapA(module, resource_names::kChooserBitmaps[i]));

  ActiveControl = DirList;
  CenterOnShow = true;
  OnCreate = [this] { FormCreate(); };
}

void TSelectDirDlg::FormCreate() {
  NetButton->SetVisible(chooser::NetworkDialogAvailable());
  DirLabel->SetBounds(DirEdit->Left(), DirEdit->Top(), DirEdit->Width(), DirEdit->Height());
  FillDrives();
  directory_ = chooser::CurrentFolder();
  chooser::RememberDriveFolder(directory_);
  FillFolders();
  DirListChange();
}

HBITMAP TSelectDirDlg::DriveBitmap(chooser::DriveKind kind) const {
  switch (kind) {
    case chooser::DriveKind::Removable:
      return bitmaps_[resource_names::kFloppy].Get();
    case chooser::DriveKind::Fixed:
      return bitmaps_[resource_names::kHard].Get();
    case chooser::DriveKind::Remote:
      return bitmaps_[resource_names::kNetwork].Get();
    case chooser::DriveKind::CdRom:
      return bitmaps_[resource_names::kCdrom].Get();
    case chooser::DriveKind::RamDisk:
      return bitmaps_[resource_names::kRam].Get();
    default:
      return nullptr;
  }
}

HBITMAP TSelectDirDlg::FolderBitmap(FolderIcon icon) const {
  switch (icon) {
    case FolderIcon::Open:
      return bitmaps_[resource_names::kOpenFolder].Get();
    case FolderIcon::Current:
      return bitmaps_[resource_names::kCurrentFolder].Get();
    case FolderIcon::Closed:
      return bitmaps_[resource_names::kClosedFolder].Get();
  }
  return nullptr;
}

void TSelectDirDlg::FillDrives() {
  drives_ = chooser::ListSystemDrives();
  DriveList->Clear();
  for (const chooser::DriveEntry& drive : drives_) DriveList->AddItem(SystemText(drive.text), DriveBitmap(drive.kind));
}

void TSelectDirDlg::FillFolders() {
  lines_ = chooser::FolderLines(directory_, chooser::VisibleSubfolders(chooser::ListFolder(directory_)));
  int indent = chooser::ScaleLength(kLevelIndent, pixelsPerInch_);
  SendMessageA(DirList->Handle(), WM_SETREDRAW, FALSE, 0);
  DirList->Clear();
  int current = -1;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const chooser::FolderLine& line = lines_[i];
    DirList->AddItem(line.text, FolderBitmap(line.icon), line.level * indent);
    if (line.icon == FolderIcon::Current) current = static_cast<int>(i);
  }
  DirList->SetItemIndex(current);
  SendMessageA(DirList->Handle(), WM_SETREDRAW, TRUE, 0);
  InvalidateRect(DirList->Handle(), nullptr, TRUE);

  ShowCurrentDrive();
}

void TSelectDirDlg::ShowCurrentDrive() {
  std::string drive = chooser::DrivePart(directory_);
  int driveIndex = -1;
  if (drive.size() == 2) {
    const char letter = sjis::LowerAsciiChar(drive[0]);
    for (size_t i = 0; i < drives_.size(); ++i) {
      if (drives_[i].letter == letter) driveIndex = static_cast<int>(i);
    }
  }
  DriveList->SetItemIndex(driveIndex);
}

void TSelectDirDlg::SetDirectory(const std::string& path) {
  directory_ = chooser::ChangeFolder(path);
  FillFolders();
  DirListChange();
}

void TSelectDirDlg::DirListDblClick() {
  int index = DirList->ItemIndex();
  if (index < 0 || index >= static_cast<int>(lines_.size())) return;
  const chooser::FolderLine& line = lines_[static_cast<size_t>(index)];
  // Listed as it is, so that the player sees why the folder cannot be chosen.
  if (line.path.empty()) throw EUnspellableFolder(line.text);
  // A copy: moving rebuilds the lines.
  std::string target = line.path;
  SetDirectory(target);
}

void TSelectDirDlg::DirListChange() {
  DirLabel->SetCaption(SystemText(directory_));
  SendMessageA(FileList->Handle(), WM_SETREDRAW, FALSE, 0);
  FileList->Clear();
  for (const ShownText& name : chooser::VisibleFiles(chooser::ListFolder(directory_))) FileList->AddItem(name);
  SendMessageA(FileList->Handle(), WM_SETREDRAW, TRUE, 0);
  InvalidateRect(FileList->Handle(), nullptr, TRUE);
  DirEdit->SetText(SystemText(directory_));
  DirEdit->SelectAll();
}

void TSelectDirDlg::DriveListChange() {
  int index = DriveList->ItemIndex();
  if (index < 0 || index >= static_cast<int>(drives_.size())) return;
  // A bare drive leads to that drive's current folder, its root when it was not visited yet.
  // Whether the drive could be entered or not, the drive list ends up showing the drive of the
  // folder list, so that picking the failed drive again is a change again.
  struct ShowDriveAfterwards {
    TSelectDirDlg* dialog;
    ~ShowDriveAfterwards() { dialog->ShowCurrentDrive(); }
  } showDrive{this};
  char letter = drives_[static_cast<size_t>(index)].letter;
  SetDirectory(std::string{static_cast<char>(letter - 'a' + 'A'), ':'});
}

void TSelectDirDlg::OKClick() {
  if (!editablePath_) return;
  std::optional<std::string> typed = DirEdit->SystemCodePageText();
  if (!typed) {
    // A character the system's code page cannot name: the file system's calls would be given
    // another path (a best fit makes "Cafe" of "Café"), so the path is refused, visibly, and the
    // chooser stays open. To those calls it is a path that cannot be found: error code 3,
    // "不正なファイル名です".
    SetModalResult(mrNone);
    throw EInOutError(ERROR_PATH_NOT_FOUND);
  }
  acceptedText_ = *typed;
  if (!confirmCreate_) return;
  chooser::Win32FolderSystem fs;
  if (fs.DirectoryExists(acceptedText_)) return;
  int answer = ShowMessageDialog("指定されたディレクトリが存在しません。作成しますか？", DialogKind::Confirmation,
                                 DialogButton::Yes | DialogButton::No, 0);
  if (answer != mrYes) SetModalResult(mrNone);
}

void TSelectDirDlg::NetClick() { chooser::ShowNetworkDialog(Handle()); }

void TSelectDirDlg::HelpButtonClick() { Application->HelpContext(HelpContext()); }

void TSelectDirDlg::SetEditablePath(bool editable) {
  editablePath_ = editable;
  DirEdit->SetVisible(editable);
  DirLabel->SetVisible(!editable);
}

void TSelectDirDlg::SetHelp(int32_t helpContext) {
  if (helpContext == 0) {
    // The remaining buttons take the places of Cancel and Help, at the right edge.
    int okLeft = CancelButton->Left();
    int cancelLeft = HelpButton->Left();
    HelpButton->SetVisible(false);
    OKButton->SetBounds(okLeft, OKButton->Top(), OKButton->Width(), OKButton->Height());
    CancelButton->SetBounds(cancelLeft, CancelButton->Top(), CancelButton->Width(), CancelButton->Height());
  } else {
    SetHelpContext(helpContext);
  }
}

void TSelectDirDlg::PlaceControls(int pixelsPerInch) {
  DirList->SetItemHeight(chooser::ItemHeight(ControlKind::FolderList, pixelsPerInch));
  FileList->SetItemHeight(chooser::ItemHeight(ControlKind::FileList, pixelsPerInch));
  for (int i = 0; i < chooser::kControlCount; ++i) {
    chooser::LayoutRect r = chooser::PlacedRect(chooser::kSelectDirControls[i], pixelsPerInch);
    controls_[i]->SetBounds(r.Left, r.Top, r.Width, r.Height);
  }
  // Text labels keep sizing themselves to their text.
  for (TLabel* label : {Label1, Label2, Label3, Label4}) label->SetAutoSize(true);
}

void TSelectDirDlg::ScaleToScreen(int pixelsPerInch) {
  if (pixelsPerInch == chooser::kDesignPixelsPerInch || pixelsPerInch <= 0) return;
  pixelsPerInch_ = pixelsPerInch;
  TFontSpec font;
  font.Height = ui::MulDiv(font.Height, pixelsPerInch, chooser::kDesignPixelsPerInch);
  SetFont(font);
  SetClientSize(chooser::ScaleLength(chooser::kClientWidth, pixelsPerInch),
                chooser::ScaleLength(chooser::kClientHeight, pixelsPerInch));
  PlaceControls(pixelsPerInch);
  FileList->SetTextColor(GetSysColor(COLOR_GRAYTEXT));
  FillFolders();
}

}  // namespace

bool ChooseFolder(std::string& folder, unsigned options, int32_t helpContext) {
  bool accepted = false;
  std::string chosen;
  {
    auto dialog = std::make_unique<TSelectDirDlg>();
    dialog->AfterConstruction();
    if (!folder.empty()) {
      std::string full = chooser::ExpandPath(folder);
      if (chooser::DrivePart(full).size() == 2) {
        std::string start = chooser::CurrentFolder();
        try {
          dialog->SetDirectory(full);
        } catch (const EInOutError&) {
          // A given folder that cannot be entered is no failure: the chooser opens where the
          // process is.
          dialog->SetDirectory(start);
        }
      }
    }
    dialog->SetEditablePath((options & EditablePath) != 0);
    dialog->SetConfirmCreate((options & ConfirmCreate) != 0);
    dialog->ScaleToScreen(ScreenPixelsPerInch());
    dialog->SetHelp(helpContext);
    if (dialog->ShowModal() == mrOk) {
      accepted = true;
      chosen = (options & EditablePath) != 0 ? dialog->AcceptedText() : dialog->Directory();
    }
  }
  if (!accepted) return false;
  folder = chosen;
  if ((options & CreateOnAccept) != 0) {
    chooser::Win32FolderSystem fs;
    chooser::CreateFolder(folder, fs);
  }
  return true;
}
