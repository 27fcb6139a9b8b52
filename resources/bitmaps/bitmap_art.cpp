// ASCII art to 4-bit BMP.
#include "resources/bitmaps/bitmap_art.h"

#include <stdexcept>
#include <string>

namespace bitmap_art {
namespace {

constexpr char kCodes[] = "krgybptsdRGYB.Tw";
static_assert(sizeof(kCodes) == 17, "one code per palette entry");

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

const uint32_t kPalette[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

Art ParseArt(std::string_view text) {
  Art art;
  int lineNo = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    if (art.height == 0) art.width = static_cast<int>(line.size());
    if (static_cast<int>(line.size()) != art.width) {
      throw std::runtime_error("line " + std::to_string(lineNo) + ": row width differs from the first row");
    }
    for (char c : line) {
      const char* at = std::char_traits<char>::find(kCodes, 16, c);
      if (at == nullptr) throw std::runtime_error("line " + std::to_string(lineNo) + ": unknown colour '" + c + "'");
      art.pixels.push_back(static_cast<uint8_t>(at - kCodes));
    }
    ++art.height;
  }
  if (art.height == 0) throw std::runtime_error("no pixel rows");
  if (art.pixels[static_cast<size_t>(art.height - 1) * art.width] != kTransparentIndex) {
    throw std::runtime_error("the bottom-left pixel must be the transparent colour '.'");
  }
  return art;
}

std::vector<uint8_t> EncodeBmp4(const Art& art) {
  const uint32_t rowBytes = ((static_cast<uint32_t>(art.width) * 4 + 31) / 32) * 4;
  const uint32_t headers = 14 + 40 + 16 * 4;
  const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(art.height);
  std::vector<uint8_t> out;
  out.reserve(headers + imageBytes);
  // BITMAPFILEHEADER
  out.push_back('B');
  out.push_back('M');
  Put32(out, headers + imageBytes);
  Put32(out, 0);
  Put32(out, headers);
  // BITMAPINFOHEADER
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(art.width));
  Put32(out, static_cast<uint32_t>(art.height));  // positive: bottom-up
  Put16(out, 1);
  Put16(out, 4);
  Put32(out, 0);  // BI_RGB
  Put32(out, imageBytes);
  Put32(out, 3780);  // 96 pixels per inch
  Put32(out, 3780);
  Put32(out, 16);
  Put32(out, 16);
  for (uint32_t rgb : kPalette) {  // RGBQUAD: blue, green, red, reserved
    out.push_back(static_cast<uint8_t>(rgb));
    out.push_back(static_cast<uint8_t>(rgb >> 8));
    out.push_back(static_cast<uint8_t>(rgb >> 16));
    out.push_back(0);
  }
  for (int y = art.height - 1; y >= 0; --y) {
    std::vector<uint8_t> row(rowBytes, 0);
    for (int x = 0; x < art.width; ++x) {
      uint8_t index = art.pixels[static_cast<size_t>(y) * art.width + x];
      row[x / 2] |= (x % 2 == 0) ? static_cast<uint8_t>(index << 4) : index;
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace bitmap_art
