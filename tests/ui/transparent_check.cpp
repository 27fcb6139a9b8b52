// Checks under Wine that the lists' pictures drawn by ui::DrawTransparent come out pixel for
// pixel as TransparentBlt drew them: every chooser bitmap, on plain and patterned backgrounds.
//   transparent_check      exit code: 0 when every picture matched
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/win32/handles.h"
#include "ui/win32/canvas.h"

namespace {

constexpr int kWidth = 40, kHeight = 30;
constexpr int kX = 7, kY = 5;  // where the picture goes: away from the surface's corner

const char* const kPictures[] = {"FLOPPY", "HARD",       "NETWORK",       "CDROM",
                                 "RAM",    "OPENFOLDER", "CURRENTFOLDER", "CLOSEDFOLDER"};

// A surface in the screen's format, as the lists' device contexts are.
class Surface {
 public:
  explicit Surface(HDC screen) : dc_(screen), bitmap_(CreateCompatibleBitmap(screen, kWidth, kHeight)) {
    previous_ = SelectObject(dc_.Get(), bitmap_.Get());
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;
  ~Surface() { SelectObject(dc_.Get(), previous_); }
  HDC Dc() const { return dc_.Get(); }

  // A plain colour, or (colour CLR_INVALID) a pattern that gives each pixel its own colour.
  void Fill(COLORREF colour) {
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        SetPixel(dc_.Get(), x, y, colour != CLR_INVALID ? colour : RGB(x * 6, y * 8, (x * y) % 256));
      }
    }
  }

  std::vector<COLORREF> Pixels() const {
    std::vector<COLORREF> pixels;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) pixels.push_back(GetPixel(dc_.Get(), x, y));
    }
    return pixels;
  }

 private:
  win32::MemoryDc dc_;
  win32::BitmapHandle bitmap_;
  HGDIOBJ previous_;
};

// How the lists drew a picture before: TransparentBlt keyed on the bottom-left pixel.
void DrawAsBefore(HDC dc, HBITMAP picture) {
  BITMAP info{};
  GetObjectA(picture, sizeof info, &info);
  win32::MemoryDc source(dc);
  win32::SelectedObject selected(source.Get(), picture);
  TransparentBlt(dc, kX, kY, info.bmWidth, info.bmHeight, source.Get(), 0, 0, info.bmWidth, info.bmHeight,
                 GetPixel(source.Get(), 0, info.bmHeight - 1));
}

}  // namespace

TEST(TransparentCheck, MaskBlitDrawsAsTransparentBltDid) {
  win32::WindowDc screen(nullptr);
  HMODULE module = GetModuleHandleA(nullptr);
  const COLORREF backgrounds[] = {GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_HIGHLIGHT), RGB(0, 0, 0), CLR_INVALID};
  for (const char* name : kPictures) {
    win32::BitmapHandle picture(LoadBitmapA(module, name));
    BITMAP info{};
    EXPECT_TRUE(picture && GetObjectA(picture.Get(), sizeof info, &info)) << "bitmap " << name << " loads";
    if (!picture) continue;
    for (COLORREF background : backgrounds) {
      Surface blank(screen.Get()), before(screen.Get()), after(screen.Get());
      blank.Fill(background);
      before.Fill(background);
      after.Fill(background);
      DrawAsBefore(before.Dc(), picture.Get());
      ui::DrawTransparent(after.Dc(), kX, kY, picture.Get());
      std::vector<COLORREF> plain = blank.Pixels(), want = before.Pixels(), got = after.Pixels();
      int differing = 0, covered = 0;
      for (size_t i = 0; i < want.size(); ++i) {
        differing += want[i] != got[i];
        covered += want[i] != plain[i];
      }
      char what[160];
      std::snprintf(what, sizeof what, "%s on background %06lx: %d pixel(s) differ", name,
                    static_cast<unsigned long>(background), differing);
      EXPECT_EQ(differing, 0) << what;
      // Only a picture that covers some of the background and lets some through tests both halves.
      std::snprintf(what, sizeof what, "%s on background %06lx covers %d of %d pixels", name,
                    static_cast<unsigned long>(background), covered, static_cast<int>(info.bmWidth * info.bmHeight));
      EXPECT_TRUE(covered > 0 && covered < info.bmWidth * info.bmHeight) << what;
    }
  }
}
