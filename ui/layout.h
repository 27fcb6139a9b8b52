// Layout arithmetic shared by the forms and dialogs, free of the platform: rectangles and
// points, the rounding multiply-divide every scaling goes through, and centring on the screen.
#pragma once

namespace ui {

struct LayoutRect {
  int Left;
  int Top;
  int Width;
  int Height;
  friend bool operator==(const LayoutRect& a, const LayoutRect& b) {
    return a.Left == b.Left && a.Top == b.Top && a.Width == b.Width && a.Height == b.Height;
  }
};

struct LayoutPoint {
  int X;
  int Y;
  friend bool operator==(const LayoutPoint& a, const LayoutPoint& b) { return a.X == b.X && a.Y == b.Y; }
};

// a * b / c rounded to the nearest integer, halves away from zero, the product taken without
// overflow; -1 when c is 0 or the result does not fit in an int (as the platform's MulDiv).
int MulDiv(int a, int b, int c);

// What centring does with a window larger than the screen.
enum class Overhang {
  // The position may go negative, the window overhanging the screen on both sides. The main
  // window and the finder centre themselves in their own handlers this way.
  Kept,
  // The position is never below 0, so that the title bar stays on the screen. Forms that are
  // centred when shown (the message dialog, the folder chooser) are placed this way.
  Clamped,
};

// Top-left corner of a window of the given outer size centred on the screen: each difference
// halved by signed division, which truncates toward zero (a window 3 pixels wider than the
// screen goes to -1), then limited as overhang says.
LayoutPoint CentredOnScreen(int screenWidth, int screenHeight, int windowWidth, int windowHeight,
                            Overhang overhang);

}  // namespace ui
