// A drawing surface over a memory bitmap: brush, font and the few drawing operations the
// banner needs; and the transparent drawing of the lists' small pictures.
#pragma once

#include <windows.h>

#include <string>

#include "base/shown_text.h"
#include "base/win32/handles.h"

using TColor = COLORREF;

enum class TBrushStyle { Solid, Clear };

struct TBrush {
  TColor Color = RGB(255, 255, 255);
  TBrushStyle Style = TBrushStyle::Solid;
};

// Face and character set are the canvas default ("ＭＳ Ｐゴシック", Shift-JIS); Height follows the
// platform's sign convention (negative: character height, positive: cell height).
struct TCanvasFont {
  int Height = -12;
  TColor Color = RGB(0, 0, 0);
};

class TCanvas {
 public:
  TCanvas(int width, int height);
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  ~TCanvas();

  TBrush Brush;
  TCanvasFont Font;

  int Width() const { return width_; }
  int Height() const { return height_; }
  HDC Handle() const { return dc_.Get(); }
  HBITMAP Bitmap() const { return bitmap_.Get(); }

  // Fills left..right-1, top..bottom-1 with the brush (nothing with a clear brush).
  void FillRect(int left, int top, int right, int bottom);
  // Draws text with its top-left corner at (x, y); the background is the brush's colour, or
  // left as it is with a clear brush.
  void TextOut(int x, int y, const ShownText& text);
  TColor Pixel(int x, int y) const;

 private:
  void SelectFont();

  int width_;
  int height_;
  win32::MemoryDc dc_;
  win32::BitmapHandle bitmap_;
  win32::FontHandle font_;
  int fontHeight_ = 0;
  HGDIOBJ originalBitmap_ = nullptr;
  HGDIOBJ originalFont_ = nullptr;
};

namespace ui {

// Draws picture with its top-left corner at (x, y) on dc; pixels of the colour of its
// bottom-left pixel are left out, so the background shows through them.
void DrawTransparent(HDC dc, int x, int y, HBITMAP picture);

}  // namespace ui
