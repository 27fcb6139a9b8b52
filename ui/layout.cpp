// Layout arithmetic shared by the forms and dialogs.
#include "ui/layout.h"

#include <algorithm>
#include <climits>

namespace ui {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  long long product = static_cast<long long>(a) * b;
  long long divisor = c;
  if (divisor < 0) {
    product = -product;
    divisor = -divisor;
  }
  long long half = divisor / 2;
  long long result = product >= 0 ? (product + half) / divisor : (product - half) / divisor;
  if (result > INT_MAX || result < -INT_MAX) return -1;
  return static_cast<int>(result);
}

LayoutPoint CentredOnScreen(int screenWidth, int screenHeight, int windowWidth, int windowHeight,
                            Overhang overhang) {
  LayoutPoint p{(screenWidth - windowWidth) / 2, (screenHeight - windowHeight) / 2};
  if (overhang == Overhang::Clamped) {
    p.X = std::max(p.X, 0);
    p.Y = std::max(p.Y, 0);
  }
  return p;
}

}  // namespace ui
