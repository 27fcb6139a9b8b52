// 16-colour pictures drawn as ASCII art, and their encoding as 4-bit BMP files. The folder
// chooser's list bitmaps are kept in this form; make_bitmaps turns them into the .bmp files
// that bitmaps.rc names.
//
// Art format: lines starting with "#" are comments; every other line is one pixel row, top row
// first, all of the same width. Each character is one pixel of the standard 16-colour palette:
//   k black   r maroon  g green   y olive   b navy  p purple   t teal    s silver
//   d grey    R red     G lime    Y yellow  B blue  . fuchsia  T aqua    w white
// "." (fuchsia) is the transparent colour: the lists draw the picture over their background with
// the colour of the bottom-left pixel left out, so that pixel must be ".".
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace bitmap_art {

struct Art {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // palette indices, row by row from the top
};

// RGB values (0xRRGGBB) of the 16 palette entries.
extern const uint32_t kPalette[16];
constexpr uint8_t kTransparentIndex = 13;

// Parses art text; throws std::runtime_error naming the line on a malformed picture.
Art ParseArt(std::string_view text);

// A complete BMP file: BITMAPFILEHEADER, BITMAPINFOHEADER, the 16-entry palette and the rows
// bottom-up, two pixels per byte (high nibble first), each row padded to 4 bytes.
std::vector<uint8_t> EncodeBmp4(const Art& art);

}  // namespace bitmap_art
