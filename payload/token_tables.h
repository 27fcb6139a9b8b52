// The tables the decoder's unchecked path looks up instead of computing, shared with the
// benchmark's token walk so that the bound it measures walks the tokens the same way.
#pragma once

#include <cstdint>

namespace packed {

// Far copy lengths by their third byte, and for each flag byte its control tokens and the single
// literals around them.
struct Tables {
  uint16_t farLength[256];
  uint8_t controls[256];  // flag bits set
  // Nibble k: single literals before the k-th control token; the nibble after the last control
  // token: single literals that end the group (none after an eighth, so 32 bits hold them all).
  uint32_t literals[256];
  constexpr Tables() : farLength(), controls(), literals() {
    for (unsigned g = 0; g < 256; ++g) farLength[g] = static_cast<uint16_t>(g < 0xFD ? g + 3 : g == 0xFD ? 256 : g == 0xFE ? 1024 : 4096);
    for (unsigned flag = 0; flag < 256; ++flag) {
      unsigned k = 0, run = 0;
      for (unsigned bit = 0x80; bit != 0; bit >>= 1) {
        if (flag & bit) {
          literals[flag] |= run << (4 * k++);
          run = 0;
        } else {
          ++run;
        }
      }
      if (run != 0) literals[flag] |= run << (4 * k);
      controls[flag] = static_cast<uint8_t>(k);
    }
  }
};
inline constexpr Tables kTables;

}  // namespace packed
