// Independent arithmetic for the message dialog checks: dialog units from the message font.
#include "tests/e2e/dialogs/expected_layout.h"

#include <algorithm>

namespace expect {

namespace {

HFONT MessageFont() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return CreateFontIndirectA(&metrics.lfMessageFont);
  }
  return nullptr;
}

SIZE Measure(HDC dc, const std::string& s, UINT flags, int maxWidth) {
  RECT r{0, 0, maxWidth, 0};
  DrawTextA(dc, s.c_str(), static_cast<int>(s.size()), &r, flags | DT_CALCRECT);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

MessageLayout MessageDialog(const std::string& text, bool icon, const std::vector<std::string>& captions) {
  MessageLayout m;
  HDC dc = GetDC(nullptr);
  HFONT font = MessageFont();
  HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));

  const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  SIZE ext{};
  GetTextExtentPoint32A(dc, letters.c_str(), 52, &ext);
  m.cx = ext.cx / 52;
  m.cy = ext.cy;
  const int hMargin = MulDiv(8, m.cx, 4), vMargin = MulDiv(8, m.cy, 8);
  const int hSpacing = MulDiv(10, m.cx, 4), vSpacing = MulDiv(10, m.cy, 8);
  const int buttonHeight = MulDiv(14, m.cy, 8), buttonSpacing = MulDiv(4, m.cx, 4);
  int buttonWidth = MulDiv(50, m.cx, 4);
  for (const std::string& c : captions) {
    buttonWidth = std::max<int>(buttonWidth, Measure(dc, c, DT_SINGLELINE, 0).cx + 8);
  }
  SIZE block = Measure(dc, text, DT_WORDBREAK | DT_EXPANDTABS, GetSystemMetrics(SM_CXSCREEN) / 2);

  SelectObject(dc, old);
  if (font) DeleteObject(font);
  ReleaseDC(nullptr, dc);

  int iconTextWidth = block.cx, iconTextHeight = block.cy;
  if (icon) {
    iconTextWidth += 32 + hSpacing;
    iconTextHeight = std::max<int>(iconTextHeight, 32);
    m.icon = RECT{hMargin, vMargin, hMargin + 32, vMargin + 32};
  }
  const int n = static_cast<int>(captions.size());
  const int rowWidth = n == 0 ? 0 : n * buttonWidth + (n - 1) * buttonSpacing;
  m.clientWidth = std::max(iconTextWidth, rowWidth) + 2 * hMargin;
  m.clientHeight = iconTextHeight + buttonHeight + vSpacing + 2 * vMargin;
  const int textLeft = hMargin + (icon ? 32 + hSpacing : 0);
  m.text = RECT{textLeft, vMargin, textLeft + block.cx, vMargin + block.cy};
  const int top = vMargin + iconTextHeight + vSpacing;
  int left = (m.clientWidth - rowWidth) / 2;
  for (int i = 0; i < n; ++i, left += buttonWidth + buttonSpacing) {
    m.buttons.push_back(RECT{left, top, left + buttonWidth, top + buttonHeight});
  }
  return m;
}

POINT Centred(int windowWidth, int windowHeight) {
  return POINT{std::max(0, (GetSystemMetrics(SM_CXSCREEN) - windowWidth) / 2),
               std::max(0, (GetSystemMetrics(SM_CYSCREEN) - windowHeight) / 2)};
}

std::string ClipboardText(const std::string& caption, const std::string& text,
                          const std::vector<std::string>& captions) {
  const std::string divider = std::string(27, '-') + "\r\n";
  std::string buttons;
  for (const std::string& c : captions) {
    for (char ch : c) {
      if (ch != '&') buttons += ch;
    }
    buttons += "   ";
  }
  return divider + caption + "\r\n" + divider + text + "\r\n" + divider + buttons + "\r\n" + divider;
}

}  // namespace expect
