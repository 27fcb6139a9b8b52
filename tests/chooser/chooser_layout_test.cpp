// Folder chooser layout arithmetic: rounding, scaling to other resolutions, centring, list heights.
#include "dialogs/chooser_layout.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace chooser {
void PrintTo(const LayoutRect& r, std::ostream* os) {
  *os << "{" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << "}";
}
}  // namespace chooser

namespace {

using chooser::LayoutRect;

TEST(MulDivTest, RoundsToNearestWithHalvesAwayFromZero) {
  struct Case {
    int a, b, c, want;
  };
  const Case cases[] = {
      {138, 120, 96, 173},  // 172.5
      {13, 120, 96, 16},    // 16.25
      {27, 120, 96, 34},    // 33.75
      {255, 120, 96, 319},  // 318.75
      {7, 1, 2, 4},         // 3.5
      {-7, 1, 2, -4},       // -3.5
      {7, -1, 2, -4},
      {7, 1, -2, -4},
      {-7, -1, -2, -4},
      {5, 3, 0, -1},
      {2000000000, 3, 4, 1500000000},  // no overflow in the product
  };
  for (const Case& c : cases) EXPECT_EQ(chooser::MulDiv(c.a, c.b, c.c), c.want) << c.a << "*" << c.b << "/" << c.c;
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
    const chooser::ControlRow* row = chooser::FindControl(c.name);
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
    EXPECT_GE(row.rect.left, 0) << row.name;
    EXPECT_LE(row.rect.left + row.rect.width, chooser::kClientWidth) << row.name;
    EXPECT_LE(row.rect.top + row.rect.height, chooser::kClientHeight) << row.name;
    if (row.tabOrder >= 0) {
      EXPECT_TRUE(tabs.insert(row.tabOrder).second) << row.name;
    }
  }
  EXPECT_EQ(tabs, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(chooser::FindControl("DirLabel")->rect, chooser::FindControl("DirEdit")->rect);
  EXPECT_EQ(chooser::FindControl("Nothing"), nullptr);
  // Without help the remaining buttons take the places of Cancel and Help.
  EXPECT_EQ(chooser::kOKLeftWithoutHelp, chooser::FindControl("CancelButton")->rect.left);
  EXPECT_EQ(chooser::kCancelLeftWithoutHelp, chooser::FindControl("HelpButton")->rect.left);
}

TEST(CentreTest, HalvesTruncateTowardZeroAndNeverGoBelowZero) {
  struct Case {
    int sw, sh, ww, wh, left, top;
  };
  const Case cases[] = {
      {1024, 768, 424, 201, 300, 283},
      {1025, 769, 424, 200, 300, 284},
      {800, 600, 805, 611, 0, 0},
      {1024, 768, 1024, 768, 0, 0},
      {1280, 1024, 536, 353, 372, 335},
  };
  for (const Case& c : cases) {
    chooser::ScreenPoint p = chooser::CentreOnScreen(c.sw, c.sh, c.ww, c.wh);
    EXPECT_EQ(p.left, c.left) << c.sw << "x" << c.sh;
    EXPECT_EQ(p.top, c.top) << c.sw << "x" << c.sh;
  }
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
    const chooser::ControlRow* row = chooser::FindControl(c.name);
    ASSERT_NE(row, nullptr) << c.name;
    LayoutRect placed = chooser::PlacedRect(*row, c.ppi);
    EXPECT_EQ(placed, c.want) << c.name << " at " << c.ppi;
    EXPECT_EQ(chooser::ItemHeight(row->kind, c.ppi), c.itemHeight) << c.name << " at " << c.ppi;
    EXPECT_EQ((placed.height - chooser::kListFrame) / c.itemHeight, c.rows) << c.name << " at " << c.ppi;
  }
  // At design size the folder list ends where the drive box beside it ends.
  const chooser::ControlRow* drives = chooser::FindControl("DriveList");
  LayoutRect dirList = chooser::PlacedRect(*chooser::FindControl("DirList"), 96);
  EXPECT_LE(drives->rect.top + drives->rect.height - (dirList.top + dirList.height), 1);
  // Every other control is placed exactly as scaled.
  for (const chooser::ControlRow& row : chooser::kSelectDirControls) {
    if (row.kind == chooser::ControlKind::FolderList) continue;
    EXPECT_EQ(chooser::PlacedRect(row, 120), chooser::ScaleRect(row.rect, 120)) << row.name;
  }
}

}  // namespace
