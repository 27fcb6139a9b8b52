// Folder chooser layout arithmetic: the table, scaling to other resolutions, list heights.
#include "dialogs/chooser_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace ui {
void PrintTo(const LayoutRect& r, std::ostream* os) {
  *os << "{" << r.Left << ", " << r.Top << ", " << r.Width << ", " << r.Height << "}";
}
}  // namespace ui

namespace {

using chooser::LayoutRect;

// The table's row of the named control.
const chooser::ControlRow* Row(const char* name) {
  for (const chooser::ControlRow& row : chooser::kSelectDirControls) {
    if (std::strcmp(row.name, name) == 0) return &row;
  }
  return nullptr;
}

TEST(ScaleTest, DesignResolutionKeepsEveryRow) {
  for (const chooser::ControlRow& row : chooser::kSelectDirControls) {
    EXPECT_EQ(chooser::ScaleRect(row.rect, 96), row.rect) << row.name;
  }
}

TEST(ScaleTest, OtherResolutionsScaleEachLengthAndRound) {
  struct Case {
    const char* name;
    int ppi;
    LayoutRect want;
  };
  const Case cases[] = {
      {"DirList", 120, {10, 90, 266, 173}},
      {"DirEdit", 120, {10, 30, 391, 25}},
      {"FileList", 120, {290, 90, 231, 116}},
      {"DriveList", 120, {290, 240, 231, 24}},
      {"OKButton", 120, {215, 280, 96, 34}},
      {"HelpButton", 120, {425, 280, 96, 34}},
      {"Label1", 144, {12, 12, 138, 20}},
      {"CancelButton", 144, {384, 336, 116, 41}},
      {"Label4", 72, {174, 132, 31, 10}},
  };
  for (const Case& c : cases) {
    const chooser::ControlRow* row = Row(c.name);
    ASSERT_NE(row, nullptr) << c.name;
    EXPECT_EQ(chooser::ScaleRect(row->rect, c.ppi), c.want) << c.name << " at " << c.ppi;
  }
  EXPECT_EQ(chooser::ScaleLength(chooser::kClientWidth, 120), 530);
  EXPECT_EQ(chooser::ScaleLength(chooser::kClientHeight, 120), 319);
  EXPECT_EQ(chooser::ScaleLength(chooser::kDirListItemHeight, 120), 21);
}

TEST(LayoutTableTest, ControlsFitTheClientAreaAndTabOrderIsAPermutation) {
  std::set<int> tabs;
  for (const chooser::ControlRow& row : chooser::kSelectDirControls) {
    EXPECT_GE(row.rect.Left, 0) << row.name;
    EXPECT_LE(row.rect.Left + row.rect.Width, chooser::kClientWidth) << row.name;
    EXPECT_LE(row.rect.Top + row.rect.Height, chooser::kClientHeight) << row.name;
    if (row.tabOrder >= 0) {
      EXPECT_TRUE(tabs.insert(row.tabOrder).second) << row.name;
    }
  }
  EXPECT_EQ(tabs, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Row("DirLabel")->rect, Row("DirEdit")->rect);
}

TEST(IntegralListHeightTest, WholeItemsInsideTheFrame) {
  EXPECT_EQ(chooser::IntegralListHeight(137, 17, 2), 121);  // 7 items
  EXPECT_EQ(chooser::IntegralListHeight(10, 17, 2), 19);    // never less than one item
  EXPECT_EQ(chooser::IntegralListHeight(50, 0, 2), 50);
}

// The lists as designed: the folder list 8 whole rows of 17 in a one-pixel frame, reaching down
// to the drive box beside it; the file list 7 rows of 13. At 120 pixels per inch the folder
// list keeps its 8 whole rows of 21 and the file list its scaled height, 7 rows of 16 and more.
TEST(ListPlacementTest, DesignedRowsAt96And120PixelsPerInch) {
  struct Case {
    const char* name;
    int ppi;
    LayoutRect want;
    int itemHeight;
    int rows;
  };
  const Case cases[] = {
      {"DirList", 96, {8, 72, 213, 138}, 17, 8},
      {"FileList", 96, {232, 72, 185, 93}, 13, 7},
      {"DirList", 120, {10, 90, 266, 170}, 21, 8},
      {"FileList", 120, {290, 90, 231, 116}, 16, 7},
  };
  for (const Case& c : cases) {
    const chooser::ControlRow* row = Row(c.name);
    ASSERT_NE(row, nullptr) << c.name;
    LayoutRect placed = chooser::PlacedRect(*row, c.ppi);
    EXPECT_EQ(placed, c.want) << c.name << " at " << c.ppi;
    EXPECT_EQ(chooser::ItemHeight(row->kind, c.ppi), c.itemHeight) << c.name << " at " << c.ppi;
    EXPECT_EQ((placed.Height - chooser::kListFrame) / c.itemHeight, c.rows) << c.name << " at " << c.ppi;
  }
  // At design size the folder list ends where the drive box beside it ends.
  const chooser::ControlRow* drives = Row("DriveList");
  LayoutRect dirList = chooser::PlacedRect(*Row("DirList"), 96);
  EXPECT_LE(drives->rect.Top + drives->rect.Height - (dirList.Top + dirList.Height), 1);
  // Every other control is placed exactly as scaled.
  for (const chooser::ControlRow& row : chooser::kSelectDirControls) {
    if (row.kind == chooser::ControlKind::FolderList) continue;
    EXPECT_EQ(chooser::PlacedRect(row, 120), chooser::ScaleRect(row.rect, 120)) << row.name;
  }
}

}  // namespace
