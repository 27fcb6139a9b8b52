// The banner's drawing surface and the lists' transparent pictures.
#include "ui/win32/canvas.h"

#include "base/failure.h"
#include "ui/win32/text.h"

TCanvas::TCanvas(int width, int height) : width_(width), height_(height), dc_(nullptr) {
  win32::WindowDc screen(nullptr);
  bitmap_.Reset(CreateCompatibleBitmap(screen.Get(), width > 0 ? width : 1, height > 0 ? height : 1));
  if (!dc_.Get() || !bitmap_) throw EOutOfMemory();
  originalBitmap_ = SelectObject(dc_.Get(), bitmap_.Get());
  // A new bitmap starts white, like a fresh picture.
  RECT all{0, 0, width_, height_};
  ::FillRect(dc_.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

TCanvas::~TCanvas() {
  // Objects selected into a device context cannot be deleted: put the originals back first.
  if (originalFont_) SelectObject(dc_.Get(), originalFont_);
  if (originalBitmap_) SelectObject(dc_.Get(), originalBitmap_);
}

void TCanvas::FillRect(int left, int top, int right, int bottom) {
  if (Brush.Style == TBrushStyle::Clear) return;
  win32::BrushHandle brush(CreateSolidBrush(Brush.Color));
  RECT r{left, top, right, bottom};
  ::FillRect(dc_.Get(), &r, brush.Get());
}

void TCanvas::SelectFont() {
  if (font_ && fontHeight_ == Font.Height) return;
  // The face by its name in UTF-16: the ANSI call would read it in the system's code page.
  win32::FontHandle font(CreateFontW(Font.Height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, ui::WideOwn("ＭＳ Ｐゴシック").c_str()));
  HGDIOBJ previous = SelectObject(dc_.Get(), font.Get());
  if (!originalFont_) originalFont_ = previous;
  font_ = std::move(font);
  fontHeight_ = Font.Height;
}

void TCanvas::TextOut(int x, int y, const ShownText& text) {
  SelectFont();
  SetTextColor(dc_.Get(), Font.Color);
  if (Brush.Style == TBrushStyle::Clear) {
    SetBkMode(dc_.Get(), TRANSPARENT);
  } else {
    SetBkMode(dc_.Get(), OPAQUE);
    SetBkColor(dc_.Get(), Brush.Color);
  }
  const std::wstring wide = ui::Wide(text);
  ::TextOutW(dc_.Get(), x, y, wide.c_str(), static_cast<int>(wide.size()));
}

TColor TCanvas::Pixel(int x, int y) const { return GetPixel(dc_.Get(), x, y); }

namespace ui {

void DrawTransparent(HDC dc, int x, int y, HBITMAP picture) {
  BITMAP info{};
  if (!GetObjectA(picture, sizeof info, &info)) return;
  const int width = info.bmWidth, height = info.bmHeight;
  win32::MemoryDc source(dc);
  win32::SelectedObject selectedPicture(source.Get(), picture);
  // A monochrome mask, set where the picture has its background colour: a colour-to-mono blit
  // sets exactly the pixels equal to the source's background colour.
  win32::BitmapHandle mask(CreateBitmap(width, height, 1, 1, nullptr));
  {
    win32::MemoryDc maskDc(dc);
    win32::SelectedObject selectedMask(maskDc.Get(), mask.Get());
    COLORREF previous = SetBkColor(source.Get(), GetPixel(source.Get(), 0, height - 1));
    BitBlt(maskDc.Get(), 0, 0, width, height, source.Get(), 0, 0, SRCCOPY);
    SetBkColor(source.Get(), previous);
  }
  // The mask must not be selected anywhere while MaskBlt uses it. Set bits keep the
  // destination, clear ones take the picture.
  constexpr DWORD kKeepDestination = 0x00AA0029;
  MaskBlt(dc, x, y, width, height, source.Get(), 0, 0, mask.Get(), 0, 0, MAKEROP4(kKeepDestination, SRCCOPY));
}

}  // namespace ui
