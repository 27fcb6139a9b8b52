// Layout table and arithmetic of the folder chooser.
#include "dialogs/chooser_layout.h"

namespace chooser {

// clang-format off
const ControlRow kSelectDirControls[kControlCount] = {
  // name            kind                     left top  width height  tab  caption
  {"Label1",       ControlKind::Label,      {  8,   8,  92,  13},  -1, "ディレクトリ名(&N):"},
  {"DirEdit",      ControlKind::Edit,       {  8,  24, 313,  20},   1, ""},
  {"DirLabel",     ControlKind::PathLabel,  {  8,  24, 313,  20},  -1, ""},
  {"Label2",       ControlKind::Label,      {  8,  56,  66,  13},  -1, "ディレクトリ(&D):"},
  {"DirList",      ControlKind::FolderList, {  8,  72, 213, 138},   0, ""},
  {"Label3",       ControlKind::Label,      {232,  56,  57,  13},  -1, "ファイル(&F): (*.*)"},
  {"FileList",     ControlKind::FileList,   {232,  72, 185,  93},   6, ""},
  {"Label4",       ControlKind::Label,      {232, 176,  41,  13},  -1, "ドライブ(&R):"},
  {"DriveList",    ControlKind::DriveList,  {232, 192, 185,  19},   2, ""},
  {"NetButton",    ControlKind::Button,     {  8, 224,  77,  27},   3, "ネットワーク(&N)..."},
  {"OKButton",     ControlKind::Button,     {172, 224,  77,  27},   4, "OK"},
  {"CancelButton", ControlKind::Button,     {256, 224,  77,  27},   5, "キャンセル"},
  {"HelpButton",   ControlKind::Button,     {340, 224,  77,  27},   7, "ヘルプ(&H)"},
};
// clang-format on

int ScaleLength(int length, int pixelsPerInch) {
  return ui::MulDiv(length, pixelsPerInch, kDesignPixelsPerInch);
}

LayoutRect ScaleRect(const LayoutRect& r, int pixelsPerInch) {
  return {ScaleLength(r.Left, pixelsPerInch), ScaleLength(r.Top, pixelsPerInch),
          ScaleLength(r.Width, pixelsPerInch), ScaleLength(r.Height, pixelsPerInch)};
}

int IntegralListHeight(int height, int itemHeight, int frame) {
  if (itemHeight <= 0) return height;
  int items = (height - frame) / itemHeight;
  if (items < 1) items = 1;
  return items * itemHeight + frame;
}

int ItemHeight(ControlKind kind, int pixelsPerInch) {
  switch (kind) {
    case ControlKind::FolderList:
      return ScaleLength(kDirListItemHeight, pixelsPerInch);
    case ControlKind::FileList:
      return ScaleLength(kFileListItemHeight, pixelsPerInch);
    default:
      return 0;
  }
}

LayoutRect PlacedRect(const ControlRow& row, int pixelsPerInch) {
  LayoutRect r = ScaleRect(row.rect, pixelsPerInch);
  if (row.kind == ControlKind::FolderList) {
    r.Height = IntegralListHeight(r.Height, ItemHeight(row.kind, pixelsPerInch), kListFrame);
  }
  return r;
}

}  // namespace chooser
