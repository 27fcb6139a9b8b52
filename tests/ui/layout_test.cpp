// The layout arithmetic the forms and dialogs share: rounding and centring.
#include "ui/layout.h"

#include <climits>

#include <gtest/gtest.h>

namespace ui {
void PrintTo(const LayoutPoint& p, std::ostream* os) { *os << "{" << p.X << ", " << p.Y << "}"; }
}  // namespace ui

namespace {

using ui::LayoutPoint;
using ui::MulDiv;
using ui::Overhang;

TEST(MulDiv, RoundsToNearestWithHalvesAwayFromZero) {
  struct Case {
    int a, b, c, want;
  };
  const Case cases[] = {
      {138, 120, 96, 173},  // 172.5: the folder list's height at 120 pixels per inch
      {13, 120, 96, 16},    // 16.25
      {27, 120, 96, 34},    // 33.75
      {255, 120, 96, 319},  // 318.75
      {10, 13, 8, 16},      // 16.25: a dialog unit length
      {50, 7, 4, 88},       // 87.5
      {7, 1, 2, 4},         // 3.5
      {-7, 1, 2, -4},       // -3.5
      {7, -1, 2, -4},
      {7, 1, -2, -4},
      {-7, -1, -2, -4},
      {5, 1, -2, -3},       // -2.5
      {-12, 120, 96, -15},  // a font height
      {0, 9, 4, 0},
      {1, 1, 3, 0},
      {2000000000, 3, 4, 1500000000},  // no overflow in the product
  };
  for (const Case& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.want) << c.a << "*" << c.b << "/" << c.c;
}

TEST(MulDiv, MinusOneWhenThereIsNoResult) {
  EXPECT_EQ(MulDiv(5, 3, 0), -1);
  EXPECT_EQ(MulDiv(INT_MAX, 2, 1), -1);
  EXPECT_EQ(MulDiv(INT_MIN, 1, 1), -1);
  EXPECT_EQ(MulDiv(INT_MAX, 1, 1), INT_MAX);
  EXPECT_EQ(MulDiv(-INT_MAX, 1, 1), -INT_MAX);
}

TEST(CentredOnScreen, HalvesTruncateTowardZero) {
  struct Case {
    int sw, sh, ww, wh, x, y;
  };
  const Case cases[] = {
      {1024, 768, 538, 291, 243, 238},  // the main window
      {1024, 768, 424, 201, 300, 283},  // the finder
      {1025, 769, 424, 200, 300, 284},
      {1024, 768, 230, 125, 397, 321},  // a message
      {1280, 1024, 536, 353, 372, 335},
      {1024, 768, 1024, 768, 0, 0},
  };
  for (const Case& c : cases) {
    for (Overhang overhang : {Overhang::Kept, Overhang::Clamped}) {
      EXPECT_EQ(ui::CentredOnScreen(c.sw, c.sh, c.ww, c.wh, overhang), (LayoutPoint{c.x, c.y}))
          << c.ww << "x" << c.wh << " on " << c.sw << "x" << c.sh;
    }
  }
}

// A window larger than the screen: the main window and the finder overhang by half the
// difference, truncated toward zero; the dialogs centred when shown stop at 0.
TEST(CentredOnScreen, LargerThanTheScreen) {
  struct Case {
    int sw, sh, ww, wh;
    LayoutPoint kept, clamped;
  };
  const Case cases[] = {
      {100, 100, 103, 105, {-1, -2}, {0, 0}},
      {800, 600, 801, 100, {0, 250}, {0, 250}},
      {800, 600, 805, 611, {-2, -5}, {0, 0}},
      {1024, 768, 1030, 771, {-3, -1}, {0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ui::CentredOnScreen(c.sw, c.sh, c.ww, c.wh, Overhang::Kept), c.kept) << c.ww << "x" << c.wh;
    EXPECT_EQ(ui::CentredOnScreen(c.sw, c.sh, c.ww, c.wh, Overhang::Clamped), c.clamped) << c.ww << "x" << c.wh;
  }
}

}  // namespace
