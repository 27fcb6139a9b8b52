// Layout table and arithmetic of the folder chooser.
#include "dialogs/chooser_layout.h"

#include <cstring>

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

const ControlRow* FindControl(const char* name) {
  for (const ControlRow& row : kSelectDirControls) {
    if (std::strcmp(row.name, name) == 0) return &row;
  }
  return nullptr;
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  long long n = static_cast<long long>(a) * b;
  long long d = c;
  if (d < 0) {
    n = -n;
    d = -d;
  }
  long long half = d / 2;
  return static_cast<int>(n >= 0 ? (n + half) / d : -((-n + half) / d));
}

int ScaleLength(int length, int pixelsPerInch) {
  return MulDiv(length, pixelsPerInch, kDesignPixelsPerInch);
}

LayoutRect ScaleRect(const LayoutRect& r, int pixelsPerInch) {
  return {ScaleLength(r.left, pixelsPerInch), ScaleLength(r.top, pixelsPerInch),
          ScaleLength(r.width, pixelsPerInch), ScaleLength(r.height, pixelsPerInch)};
}

ScreenPoint CentreOnScreen(int screenWidth, int screenHeight, int windowWidth, int windowHeight) {
  int left = (screenWidth - windowWidth) / 2;
  int top = (screenHeight - windowHeight) / 2;
  return {left < 0 ? 0 : left, top < 0 ? 0 : top};
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
    r.height = IntegralListHeight(r.height, ItemHeight(row.kind, pixelsPerInch), kListFrame);
  }
  return r;
}

}  // namespace chooser
