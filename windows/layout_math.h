// Arithmetic of the updater's own windows, kept apart from the windows so it is tested natively.
#pragma once

#include <cstdint>

// Left or top that centres a window of the given outer size on a screen: signed division that
// truncates toward zero, so a window larger than the screen gets a small negative position.
constexpr int CenteredPosition(int screenSize, int windowSize) { return (screenSize - windowSize) / 2; }

// Colour (0x00BBGGRR) of row i of a banner of the given height: pure blue fading from 255 on the
// first row to 255 / height on the last.
constexpr uint32_t BannerRowColor(int row, int height) {
  return static_cast<uint32_t>((height - row) * 255 / height) << 16;
}
