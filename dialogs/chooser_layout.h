// The folder chooser's window layout and its arithmetic, free of platform calls: the control
// table at 96 pixels per inch, the button moves when there is no help button, scaling to
// another screen resolution and centring on the screen.
#pragma once

#include <cstdint>

namespace chooser {

struct LayoutRect {
  int left;
  int top;
  int width;
  int height;
  friend bool operator==(const LayoutRect& a, const LayoutRect& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
  }
};

enum class ControlKind { Label, Edit, PathLabel, FolderList, FileList, DriveList, Button };

// One row per control, in creation order. tabOrder is -1 for controls that take no focus.
struct ControlRow {
  const char* name;
  ControlKind kind;
  LayoutRect rect;
  int tabOrder;
  const char* caption;
};

constexpr int kDesignPixelsPerInch = 96;
constexpr int kClientWidth = 424;
constexpr int kClientHeight = 255;
constexpr int kDirListItemHeight = 17;
constexpr int kFileListItemHeight = 13;
// Both lists have a one-pixel frame: 2 pixels of each list's height are frame. At design size
// the folder list holds 8 whole rows (138 = 8 x 17 + 2) and the file list 7 (93 = 7 x 13 + 2).
constexpr int kListFrame = 2;
// Without a help button the OK and Cancel buttons stand at the right edge.
constexpr int kOKLeftWithoutHelp = 256;
constexpr int kCancelLeftWithoutHelp = 340;

constexpr int kControlCount = 13;
extern const ControlRow kSelectDirControls[kControlCount];

// The row of the named control; nullptr when there is none.
const ControlRow* FindControl(const char* name);

// a * b / c rounded to the nearest integer, halves away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);

// A design length at 96 pixels per inch, at pixelsPerInch.
int ScaleLength(int length, int pixelsPerInch);
LayoutRect ScaleRect(const LayoutRect& rect, int pixelsPerInch);

struct ScreenPoint {
  int left;
  int top;
};

// Centre of the screen for a window of the given outer size: each difference halved, rounded
// toward zero, never less than 0.
ScreenPoint CentreOnScreen(int screenWidth, int screenHeight, int windowWidth, int windowHeight);

// The highest list height not above height whose inner part (height - frame) holds a whole
// number of items; at least one item.
int IntegralListHeight(int height, int itemHeight, int frame);

// Item height of a list at pixelsPerInch (0 for the other kinds).
int ItemHeight(ControlKind kind, int pixelsPerInch);

// Where a control of the table is placed at pixelsPerInch: its scaled rectangle, with the
// folder list's height cut to whole items of its scaled item height.
LayoutRect PlacedRect(const ControlRow& row, int pixelsPerInch);

}  // namespace chooser
