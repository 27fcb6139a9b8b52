// Banner colours of the main window.
#include "windows/layout_math.h"

#include <gtest/gtest.h>

namespace {

TEST(BannerRowColor, FadesFromFullBlueToOne) {
  EXPECT_EQ(BannerRowColor(0, 193), 0xFF0000u);
  EXPECT_EQ(BannerRowColor(96, 193), 0x800000u);
  EXPECT_EQ(BannerRowColor(192, 193), 0x010000u);
  // No red or green on any row.
  for (int i = 0; i < 193; ++i) EXPECT_EQ(BannerRowColor(i, 193) & 0x00FFFFu, 0u) << i;
}

}  // namespace
