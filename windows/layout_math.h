// The banner arithmetic of the main window, kept apart from the window so it is tested natively.
#pragma once

#include <cstdint>

// Colour (0x00BBGGRR) of row i of a banner of the given height: pure blue fading from 255 on the
// first row to 255 / height on the last.
constexpr uint32_t BannerRowColor(int row, int height) {
  return static_cast<uint32_t>((height - row) * 255 / height) << 16;
}
