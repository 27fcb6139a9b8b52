// The folder chooser's window layout and its arithmetic, free of platform calls: the control
// table at 96 pixels per inch and scaling to another screen resolution.
#pragma once

#include "ui/layout.h"

namespace chooser {

using ui::LayoutRect;

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

constexpr int kControlCount = 13;
extern const ControlRow kSelectDirControls[kControlCount];

// A design length at 96 pixels per inch, at pixelsPerInch.
int ScaleLength(int length, int pixelsPerInch);
LayoutRect ScaleRect(const LayoutRect& rect, int pixelsPerInch);

// The highest list height not above height whose inner part (height - frame) holds a whole
// number of items; at least one item.
int IntegralListHeight(int height, int itemHeight, int frame);

// Item height of a list at pixelsPerInch (0 for the other kinds).
int ItemHeight(ControlKind kind, int pixelsPerInch);

// Where a control of the table is placed at pixelsPerInch: its scaled rectangle, with the
// folder list's height cut to whole items of its scaled item height.
LayoutRect PlacedRect(const ControlRow& row, int pixelsPerInch);

}  // namespace chooser
