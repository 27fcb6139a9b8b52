// Independent arithmetic and drawing for the dialog checks: dialog units from the message font,
// standard icons drawn by the system.
#include "tests/dialogs/expected_layout.h"

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

int IconMismatch(const e2e::Bitmap& picture, LPCSTR id) {
  if (picture.width != 32 || picture.height != 32) return -1;
  const COLORREF background = picture.Pixel(0, 0);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 32;
  bi.bmiHeader.biHeight = -32;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, dib);
  HBRUSH brush = CreateSolidBrush(background);
  RECT all{0, 0, 32, 32};
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  DrawIconEx(dc, 0, 0, LoadIconA(nullptr, id), 32, 32, 0, nullptr, DI_NORMAL);
  GdiFlush();
  int mismatch = 0;
  const auto* p = static_cast<const uint32_t*>(bits);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      uint32_t q = p[y * 32 + x];
      COLORREF want = RGB((q >> 16) & 0xFF, (q >> 8) & 0xFF, q & 0xFF);
      if (picture.Pixel(x, y) != want) ++mismatch;
    }
  }
  SelectObject(dc, old);
  DeleteObject(dib);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return mismatch;
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
