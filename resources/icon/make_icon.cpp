// Writes setup.ico: the updater's 32 x 32, 256-colour application icon (MAINICON).
// A blue tile fading from top to bottom, like the banner, with a white arrow into a tray.
//   c++ -std=c++17 make_icon.cpp -o make_icon && ./make_icon setup.ico
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// '.' transparent, 'b' tile (gradient), 'w' white, 'd' dark outline.
const char* kArt[32] = {
    "................................",
    "...dddddddddddddddddddddddddd...",
    "..dbbbbbbbbbbbbbbbbbbbbbbbbbbd..",
    "..dbbbbbbbbbbbbbbbbbbbbbbbbbbd..",
    "..dbbbbbbbbbbbwwwwwwbbbbbbbbbd..",
    "..dbbbbbbbbbbbwwwwwwbbbbbbbbbd..",
    "..dbbbbbbbbbbbwwwwwwbbbbbbbbbd..",
    "..dbbbbbbbbbbbwwwwwwbbbbbbbbbd..",
    "..dbbbbbbbbbbbwwwwwwbbbbbbbbbd..",
    "..dbbbbbbbbbbbwwwwwwbbbbbbbbbd..",
    "..dbbbbbbbbbbbwwwwwwbbbbbbbbbd..",
    "..dbbbbbbbbbbbwwwwwwbbbbbbbbbd..",
    "..dbbbbbbbwwwwwwwwwwwwwwbbbbbd..",
    "..dbbbbbbbbwwwwwwwwwwwwbbbbbbd..",
    "..dbbbbbbbbbwwwwwwwwwwbbbbbbbd..",
    "..dbbbbbbbbbbwwwwwwwwbbbbbbbbd..",
    "..dbbbbbbbbbbbwwwwwwbbbbbbbbbd..",
    "..dbbbbbbbbbbbbwwwwbbbbbbbbbbd..",
    "..dbbbbbbbbbbbbbwwbbbbbbbbbbbd..",
    "..dbbbbbbbbbbbbbbbbbbbbbbbbbbd..",
    "..dbbbbwwbbbbbbbbbbbbbbbwwbbbd..",
    "..dbbbbwwbbbbbbbbbbbbbbbwwbbbd..",
    "..dbbbbwwbbbbbbbbbbbbbbbwwbbbd..",
    "..dbbbbwwwwwwwwwwwwwwwwwwwbbbd..",
    "..dbbbbwwwwwwwwwwwwwwwwwwwbbbd..",
    "..dbbbbbbbbbbbbbbbbbbbbbbbbbbd..",
    "..dbbbbbbbbbbbbbbbbbbbbbbbbbbd..",
    "..dbbbbbbbbbbbbbbbbbbbbbbbbbbd..",
    "..dbbbbbbbbbbbbbbbbbbbbbbbbbbd..",
    "...dddddddddddddddddddddddddd...",
    "................................",
    "................................",
};

void Put16(std::vector<uint8_t>& v, unsigned x) { v.push_back(x & 0xFF); v.push_back((x >> 8) & 0xFF); }
void Put32(std::vector<uint8_t>& v, unsigned x) { Put16(v, x & 0xFFFF); Put16(v, x >> 16); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icon OUT.ico\n");
    return 2;
  }
  // Palette: 0 black, 1 white, 2 dark blue outline, 3..34 tile blues by row; the rest black.
  std::vector<uint8_t> palette(256 * 4, 0);
  auto setColour = [&](int i, int r, int g, int b) {
    palette[i * 4] = b; palette[i * 4 + 1] = g; palette[i * 4 + 2] = r;
  };
  setColour(1, 255, 255, 255);
  setColour(2, 0, 0, 64);
  for (int row = 0; row < 32; ++row) setColour(3 + row, 0, 0, (32 - row) * 255 / 32);

  const int size = 32;
  std::vector<uint8_t> xorBits, andBits;
  for (int y = size - 1; y >= 0; --y) {  // bottom-up rows
    for (int x = 0; x < size; ++x) {
      char c = kArt[y][x];
      xorBits.push_back(c == 'w' ? 1 : c == 'd' ? 2 : c == 'b' ? 3 + y : 0);
    }
  }
  for (int y = size - 1; y >= 0; --y) {
    uint8_t rowBits[4] = {0, 0, 0, 0};
    for (int x = 0; x < size; ++x)
      if (kArt[y][x] == '.') rowBits[x / 8] |= 0x80 >> (x % 8);
    andBits.insert(andBits.end(), rowBits, rowBits + 4);
  }

  std::vector<uint8_t> image;
  Put32(image, 40); Put32(image, size); Put32(image, size * 2);  // header height covers both masks
  Put16(image, 1); Put16(image, 8); Put32(image, 0);
  Put32(image, static_cast<unsigned>(xorBits.size() + andBits.size()));
  Put32(image, 0); Put32(image, 0); Put32(image, 256); Put32(image, 0);
  image.insert(image.end(), palette.begin(), palette.end());
  image.insert(image.end(), xorBits.begin(), xorBits.end());
  image.insert(image.end(), andBits.begin(), andBits.end());

  std::vector<uint8_t> file;
  Put16(file, 0); Put16(file, 1); Put16(file, 1);  // icon directory with one entry
  file.push_back(size); file.push_back(size); file.push_back(0); file.push_back(0);
  Put16(file, 1); Put16(file, 8); Put32(file, static_cast<unsigned>(image.size())); Put32(file, 22);
  file.insert(file.end(), image.begin(), image.end());

  FILE* out = std::fopen(argv[1], "wb");
  if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() || std::fclose(out) != 0) {
    std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
