// Centring and banner colours of the updater's own windows.
#include "windows/layout_math.h"

#include <gtest/gtest.h>

namespace {

TEST(CenteredPosition, MainWindowAndFinderOn1024x768) {
  EXPECT_EQ(CenteredPosition(1024, 538), 243);
  EXPECT_EQ(CenteredPosition(768, 291), 238);
  EXPECT_EQ(CenteredPosition(1024, 424), 300);
  EXPECT_EQ(CenteredPosition(768, 201), 283);
}

TEST(CenteredPosition, TruncatesTowardZeroWhenLargerThanTheScreen) {
  EXPECT_EQ(CenteredPosition(100, 103), -1);
  EXPECT_EQ(CenteredPosition(100, 105), -2);
}

TEST(BannerRowColor, FadesFromFullBlueToOne) {
  EXPECT_EQ(BannerRowColor(0, 193), 0xFF0000u);
  EXPECT_EQ(BannerRowColor(96, 193), 0x800000u);
  EXPECT_EQ(BannerRowColor(192, 193), 0x010000u);
  // No red or green on any row.
  for (int i = 0; i < 193; ++i) EXPECT_EQ(BannerRowColor(i, 193) & 0x00FFFFu, 0u) << i;
}

}  // namespace
