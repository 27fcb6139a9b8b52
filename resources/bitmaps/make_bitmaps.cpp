// Turns the chooser's ASCII-art pictures into 4-bit BMP files, one per art file:
//   make_bitmaps OUTDIR ART.txt...     (writes OUTDIR/ART.bmp for each)
// The .bmp files are kept beside their sources; a unit test checks that they match.
//   build/native/bin/make_bitmaps resources/bitmaps resources/bitmaps/*.txt
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "resources/bitmaps/bitmap_art.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_bitmaps OUTDIR ART.txt...\n");
    return 2;
  }
  std::string outDir = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string source = argv[i];
    std::ifstream in(source, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "%s: cannot read\n", source.c_str());
      return 1;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
      std::vector<uint8_t> bmp = bitmap_art::EncodeBmp4(bitmap_art::ParseArt(text));
      std::string base = source.substr(source.find_last_of('/') + 1);
      base = base.substr(0, base.rfind('.'));
      std::string target = outDir + "/" + base + ".bmp";
      std::ofstream out(target, std::ios::binary);
      out.write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
      if (!out) {
        std::fprintf(stderr, "%s: cannot write\n", target.c_str());
        return 1;
      }
    } catch (const std::runtime_error& e) {
      std::fprintf(stderr, "%s: %s\n", source.c_str(), e.what());
      return 1;
    }
  }
  return 0;
}
