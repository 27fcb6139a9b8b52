// The chooser's list bitmaps: ASCII art parsing, 4-bit BMP encoding, and the committed .bmp files
// matching their art sources.
#include "resources/bitmaps/bitmap_art.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

uint32_t Read32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint32_t Read16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(ArtParseTest, ReadsRowsAndSkipsComments) {
  bitmap_art::Art art = bitmap_art::ParseArt("# a comment\r\nkw\r\n.B\n");
  EXPECT_EQ(art.width, 2);
  EXPECT_EQ(art.height, 2);
  EXPECT_EQ(art.pixels, (std::vector<uint8_t>{0, 15, 13, 12}));
}

TEST(ArtParseTest, RejectsMalformedPictures) {
  for (const char* text : {"", "# only a comment\n", "kk\nk\n", "kx\n..\n", "..\nk.\n"}) {
    EXPECT_THROW(bitmap_art::ParseArt(text), std::runtime_error) << text;
  }
}

TEST(BmpEncodeTest, HeadersPaletteAndBottomUpNibbles) {
  // 3 x 2: the odd width pads each row to 4 bytes.
  bitmap_art::Art art = bitmap_art::ParseArt("kRw\n.YB\n");
  std::vector<uint8_t> bmp = bitmap_art::EncodeBmp4(art);
  ASSERT_EQ(bmp.size(), 118u + 2 * 4);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(Read32(bmp, 2), bmp.size());
  EXPECT_EQ(Read32(bmp, 10), 118u);
  EXPECT_EQ(Read32(bmp, 14), 40u);
  EXPECT_EQ(Read32(bmp, 18), 3u);
  EXPECT_EQ(Read32(bmp, 22), 2u);
  EXPECT_EQ(Read16(bmp, 26), 1u);
  EXPECT_EQ(Read16(bmp, 28), 4u);
  EXPECT_EQ(Read32(bmp, 30), 0u);
  EXPECT_EQ(Read32(bmp, 46), 16u);
  // Palette entry 9 (red) as blue, green, red, 0.
  EXPECT_EQ(Read32(bmp, 54 + 9 * 4), 0x00FF0000u);
  EXPECT_EQ(Read32(bmp, 54 + 13 * 4), 0x00FF00FFu);
  // Bottom row first: ". Y B" = 13 11 12, then "k R w" = 0 9 15.
  EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + 118, bmp.end()),
            (std::vector<uint8_t>{0xDB, 0xC0, 0, 0, 0x09, 0xF0, 0, 0}));
}

struct Committed {
  const char* name;
  int width;
  int height;
};

// Every bitmap the chooser loads, at its size, and its .bmp up to date with its art.
TEST(CommittedBitmapsTest, MatchTheirArtSources) {
  const Committed bitmaps[] = {
      {"floppy", 16, 11},     {"hard", 16, 11},       {"network", 16, 11},
      {"cdrom", 16, 11},      {"ram", 16, 11},        {"openfolder", 16, 15},
      {"currentfolder", 16, 15}, {"closedfolder", 16, 15},
  };
  const std::string dir = CHOOSER_BITMAPS_DIR;
  for (const Committed& b : bitmaps) {
    std::string source = ReadFile(dir + "/" + b.name + ".txt");
    ASSERT_FALSE(source.empty()) << b.name;
    bitmap_art::Art art = bitmap_art::ParseArt(source);
    EXPECT_EQ(art.width, b.width) << b.name;
    EXPECT_EQ(art.height, b.height) << b.name;
    std::vector<uint8_t> want = bitmap_art::EncodeBmp4(art);
    std::string have = ReadFile(dir + "/" + b.name + ".bmp");
    EXPECT_TRUE(have == std::string(want.begin(), want.end()))
        << b.name << ".bmp is stale: run make_bitmaps resources/bitmaps resources/bitmaps/*.txt";
    std::string rc = ReadFile(dir + "/bitmaps.rc");
    std::string upper;
    for (const char* p = b.name; *p; ++p) upper += static_cast<char>(*p - 'a' + 'A');
    EXPECT_NE(rc.find(upper + " BITMAP \"" + b.name + ".bmp\""), std::string::npos) << b.name;
  }
}

}  // namespace
