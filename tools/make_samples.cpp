// Generates the sample replacement files from the stand-in program and deterministic tables:
//   make_samples STUB.exe OUTDIR   writes OUTDIR/VELDRAN.EXE and OUTDIR/mg_data2.mbl
// The tables imitate what a game's files hold (machine code, relocations, messages, stats,
// sine tables, pixel art, tile maps, sound), so that packing them means something.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kExeSize = 1351168;
constexpr size_t kDat2Size = 213447;

// A fixed generator, so the files do not depend on the standard library's.
class Rng {
 public:
  explicit Rng(uint32_t seed) : s_(seed ? seed : 1) {}
  uint32_t Next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return s_;
  }
  uint32_t Below(uint32_t n) { return Next() % n; }

 private:
  uint32_t s_;
};

void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
void Align(Bytes& b, size_t to, uint8_t fill = 0) {
  while (b.size() % to) b.push_back(fill);
}

// One x86-flavoured instruction of a common shape.
void Instruction(Rng& r, Bytes& b, const std::vector<uint32_t>& entries) {
  const uint8_t reg = uint8_t(r.Below(4) ? r.Below(3) : r.Below(8));
  switch (r.Below(9)) {
    case 0:  // mov reg, [ebp+disp8]
      b.push_back(0x8B);
      b.push_back(uint8_t(0x45 | reg << 3));
      b.push_back(uint8_t(r.Below(2) ? 8 + 4 * r.Below(4) : 0x100 - 4 * (1 + r.Below(6))));
      break;
    case 1:  // mov [ebp+disp8], reg
      b.push_back(0x89);
      b.push_back(uint8_t(0x45 | reg << 3));
      b.push_back(uint8_t(0x100 - 4 * (1 + r.Below(6))));
      break;
    case 2: {  // call rel32 to an earlier function, mostly a nearby one
      b.push_back(0xE8);
      const uint32_t n = uint32_t(entries.size());
      const uint32_t target = entries[r.Below(2) ? n - 1 - r.Below(std::min(n, 8u)) : r.Below(std::min(n, 64u))];
      Put32(b, target - (0x401000 + uint32_t(b.size()) + 4));
      break;
    }
    case 3:  // push imm32 (a data address)
      b.push_back(0x68);
      Put32(b, 0x4A0000 + 4 * r.Below(0x400));
      break;
    case 4:  // cmp reg, imm8; jcc rel8
      b.push_back(0x83);
      b.push_back(uint8_t(0xF8 | reg));
      b.push_back(uint8_t(r.Below(8)));
      b.push_back(uint8_t(0x74 + r.Below(2)));
      b.push_back(uint8_t(2 + r.Below(24)));
      break;
    case 5:  // xor reg, reg / test reg, reg
      b.push_back(r.Below(2) ? 0x33 : 0x85);
      b.push_back(uint8_t(0xC0 | reg << 3 | reg));
      break;
    case 6:  // mov eax, [global]
      b.push_back(0xA1);
      Put32(b, 0x4B0000 + 4 * r.Below(0x100));
      break;
    case 7:  // add esp, n after a call
      PutText(b, "\x83\xC4");
      b.push_back(uint8_t(4 * (1 + r.Below(4))));
      break;
    default:  // lea reg, [ebp+disp8]
      b.push_back(0x8D);
      b.push_back(uint8_t(0x45 | reg << 3));
      b.push_back(uint8_t(0x100 - 4 * (1 + r.Below(6))));
  }
}

// Functions: prologue, a body mostly made of the idioms a compiler repeats, epilogue, padding.
Bytes Code(Rng& r, size_t size) {
  Bytes b;
  std::vector<uint32_t> entries = {0x401000};
  std::vector<Bytes> idioms(400);
  for (Bytes& idiom : idioms) {
    const int n = 2 + int(r.Below(5));
    for (int i = 0; i < n; ++i) Instruction(r, idiom, entries);
  }
  // Each source module compiles to its own handful of idioms.
  std::vector<uint32_t> module(48);
  size_t moduleEnd = 0;
  while (b.size() < size) {
    if (b.size() >= moduleEnd) {
      for (uint32_t& m : module) m = r.Below(uint32_t(idioms.size()));
      moduleEnd = b.size() + 12 * 1024 + r.Below(24 * 1024);
    }
    entries.push_back(0x401000 + uint32_t(b.size()));
    PutText(b, "\x55\x8B\xEC");
    if (r.Below(2)) {
      PutText(b, "\x83\xEC");
      b.push_back(uint8_t(4 * (1 + r.Below(8))));
    }
    const bool saves = r.Below(3) != 0;
    if (saves) PutText(b, "\x53\x56\x57");
    const int count = 2 + int(r.Below(14));
    for (int i = 0; i < count; ++i) {
      if (r.Below(10) < 7) {
        const Bytes& idiom = idioms[r.Below(5) ? module[r.Below(uint32_t(module.size()))] : r.Below(uint32_t(idioms.size()))];
        b.insert(b.end(), idiom.begin(), idiom.end());
      } else {
        Instruction(r, b, entries);
      }
    }
    if (saves) PutText(b, "\x5F\x5E\x5B");
    PutText(b, "\x8B\xE5\x5D\xC3");
    Align(b, 16, 0xCC);
  }
  b.resize(size);
  return b;
}

// Relocation blocks: page, block size, then sorted 12-bit offsets tagged as 32-bit fix-ups.
Bytes Relocations(Rng& r, size_t size) {
  Bytes b;
  for (uint32_t page = 0x1000; b.size() < size; page += 0x1000) {
    std::vector<uint16_t> offsets;
    // Pointer tables give runs four bytes apart; code gives instruction-sized gaps.
    for (uint32_t at = r.Below(16); at < 0x1000;) {
      offsets.push_back(uint16_t(0x3000 | at));
      static const uint32_t gaps[] = {4, 4, 4, 5, 6, 7, 10, 11, 16, 24};
      at += gaps[r.Below(10)];
    }
    Put32(b, page);
    Put32(b, uint32_t(8 + 2 * offsets.size()));
    for (uint16_t o : offsets) Put16(b, o);
  }
  b.resize(size);
  return b;
}

// Game messages in Shift-JIS, from a small stock of phrases.
Bytes Messages(Rng& r, size_t size) {
  static const char* who[] = {"勇者", "ミレア", "老騎士ガルド", "北の村の長老", "商人", "王女セリス", "謎の男"};
  static const char* verb[] = {"は剣を手に入れた。", "は静かにうなずいた。", "の声が響く。", "はどこへ行った？",
                               "に話しかけますか？", "が仲間に加わった！", "はまだ眠っている。"};
  static const char* place[] = {"ヴェルダン城", "霧の森", "東の洞窟", "港町ロシュ", "古代の塔", "湖のほとり"};
  Bytes b;
  for (int id = 0; b.size() < size; ++id) {
    std::string line = "MSG_" + std::to_string(1000 + id) + "\t" + std::to_string(r.Below(100000)) + ",";
    line += place[r.Below(6)];
    line += "：";
    line += who[r.Below(7)];
    line += verb[r.Below(7)];
    if (r.Below(3) == 0) line += std::string("「") + who[r.Below(7)] + verb[r.Below(7)] + "」";
    if (r.Below(2) == 0) line += "（" + std::to_string(r.Below(9999)) + "G）";
    line += "\r\n";
    PutText(b, line);
  }
  b.resize(size);
  return b;
}

// Import and symbol names, NUL-terminated, with hint words.
Bytes Names(Rng& r, size_t size) {
  static const char* stem[] = {"Create", "Destroy", "Get", "Set", "Load", "Free", "Draw", "Play", "Find"};
  static const char* noun[] = {"Window", "Bitmap", "Sprite", "Sound", "Font", "Palette", "File", "Map", "Actor"};
  static const char* tail[] = {"A", "Ex", "", "Info", "Count", "Handle"};
  Bytes b;
  while (b.size() < size) {
    Put16(b, r.Below(900));
    PutText(b, std::string(stem[r.Below(9)]) + noun[r.Below(9)] + tail[r.Below(6)]);
    b.push_back(0);
    Align(b, 2);
  }
  b.resize(size);
  return b;
}

// Fixed-point sine and cosine, and monster records: name, level, stats growing with level.
Bytes Tables(Rng& r, size_t size) {
  Bytes b;
  for (int i = 0; i < 4096; ++i) Put16(b, uint16_t(int16_t(std::lround(32767 * std::sin(i * 6.283185307179586 / 4096)))));
  for (int i = 0; i < 4096; ++i) Put16(b, uint16_t(int16_t(std::lround(32767 * std::cos(i * 6.283185307179586 / 4096)))));
  static const char* kind[] = {"Slime", "Goblin", "Wolf", "Bat", "Golem", "Wyvern", "Knight", "Mage"};
  for (int id = 0; b.size() < size; ++id) {
    std::string name = std::string(kind[id % 8]) + " " + std::to_string(id / 8 + 1);
    name.resize(16, '\0');
    PutText(b, name);
    const uint32_t level = 1 + id / 8;
    Put16(b, level);
    Put16(b, 12 * level + r.Below(8));  // hp
    Put16(b, 3 * level + r.Below(4));   // mp
    Put16(b, 5 + 2 * level + r.Below(3));
    Put16(b, 4 + 2 * level + r.Below(3));
    Put16(b, 10 + level);
    Put32(b, 7 * level * level + r.Below(10));  // experience
    Put16(b, uint32_t(id % 8) * 16 + r.Below(4));  // drop table
    Put16(b, 0);
  }
  b.resize(size);
  return b;
}

// 8-bit pixel art: 32x32 sprites of outlined shapes on a clear background, with shading.
Bytes Sprites(Rng& r, size_t size) {
  Bytes b;
  while (b.size() < size) {
    const int cx = 12 + int(r.Below(8)), cy = 12 + int(r.Below(8)), rad = 6 + int(r.Below(8));
    const uint8_t base = uint8_t(16 * (1 + r.Below(14)));
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        uint8_t v = 0;
        // Shading with a little dither, as hand-drawn art has.
        if (d2 <= rad * rad) v = uint8_t(base + std::min(15, (x + y) / 5 + int(r.Below(4) == 0)));
        if (d2 > (rad - 1) * (rad - 1) && d2 <= rad * rad) v = 1;
        b.push_back(v);
      }
  }
  b.resize(size);
  return b;
}

// Tile maps: terrain runs with roads and scattered objects, 16-bit tile numbers.
Bytes TileMaps(Rng& r, size_t size) {
  Bytes b;
  while (b.size() < size) {
    const int w = 64, h = 48;
    uint16_t ground = uint16_t(r.Below(4));
    for (int y = 0; y < h; ++y) {
      if (r.Below(6) == 0) ground = uint16_t(r.Below(4));
      for (int x = 0; x < w; ++x) {
        uint16_t t = ground;
        if (x == w / 2 || y == h / 2) t = 0x20;
        if (r.Below(23) == 0) t = uint16_t(0x40 + r.Below(32));
        Put16(b, t);
      }
    }
  }
  b.resize(size);
  return b;
}

// Sound: 8-bit samples of a few decaying tones with a little noise.
Bytes Sound(Rng& r, size_t size) {
  Bytes b;
  while (b.size() < size) {
    const double freq = 220.0 * (1 + r.Below(6)), length = 2000 + r.Below(6000);
    for (int i = 0; i < length; ++i) {
      const double env = 1.0 - i / length;
      const double s = env * (std::sin(i * freq * 6.283185307179586 / 22050) * 90 + std::sin(i * freq * 3 * 0.000284936) * 20);
      b.push_back(uint8_t(128 + int(s) + int(r.Below(3)) - 1));
    }
  }
  b.resize(size);
  return b;
}

void Append(Bytes& out, const Bytes& part, size_t align) {
  out.insert(out.end(), part.begin(), part.end());
  Align(out, align);
}

Bytes Executable(const Bytes& stub) {
  Rng r(0x5645);
  Bytes exe = stub;
  Align(exe, 4096);
  Append(exe, Code(r, 420 * 1024), 4096);
  Append(exe, Names(r, 24 * 1024), 512);
  Append(exe, Messages(r, 220 * 1024), 512);
  Append(exe, Tables(r, 160 * 1024), 4096);
  Append(exe, Sprites(r, 240 * 1024), 512);
  Append(exe, TileMaps(r, 120 * 1024), 512);
  Append(exe, Sound(r, 90 * 1024), 512);
  Append(exe, Relocations(r, 24 * 1024), 512);
  if (exe.size() > kExeSize) exe.resize(kExeSize);
  Append(exe, Messages(r, kExeSize - exe.size()), 1);
  return exe;
}

// An archive: signature, entry count, a directory of (name, offset, size), then the entries.
Bytes Archive() {
  Rng r(0x4D42);
  struct Entry {
    std::string name;
    Bytes data;
  };
  std::vector<Entry> entries = {
      {"map\\field01.map", TileMaps(r, 6144 * 4)},  {"map\\town02.map", TileMaps(r, 6144 * 3)},
      {"chr\\hero.spr", Sprites(r, 1024 * 24)},     {"chr\\enemy.spr", Sprites(r, 1024 * 30)},
      {"scr\\event03.txt", Messages(r, 26000)},     {"se\\sword.wav", Sound(r, 30000)},
      {"se\\door.wav", Sound(r, 22000)},            {"dat\\monster.tbl", Tables(r, 20000)},
  };
  const size_t directory = 16 + (entries.size() + 1) * 40;  // the last entry included
  size_t used = directory;
  for (const Entry& e : entries) used += e.data.size();
  entries.push_back({"scr\\event04.txt", Messages(r, kDat2Size - used)});
  Bytes out;
  PutText(out, "MBL2");
  Put32(out, uint32_t(entries.size()));
  Put32(out, uint32_t(kDat2Size));
  Put32(out, 0);
  uint32_t offset = uint32_t(16 + entries.size() * 40);
  for (const Entry& e : entries) {
    std::string name = e.name;
    name.resize(32, '\0');
    PutText(out, name);
    Put32(out, offset);
    Put32(out, uint32_t(e.data.size()));
    offset += uint32_t(e.data.size());
  }
  for (const Entry& e : entries) out.insert(out.end(), e.data.begin(), e.data.end());
  return out;
}

bool Write(const std::string& path, const Bytes& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_samples STUB.exe OUTDIR\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  Bytes stub((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (stub.size() < 64 || stub[0] != 'M' || stub[1] != 'Z') {
    std::fprintf(stderr, "make_samples: %s is not a program\n", argv[1]);
    return 1;
  }
  const std::string dir = argv[2];
  Bytes exe = Executable(stub), dat2 = Archive();
  if (exe.size() != kExeSize || dat2.size() != kDat2Size) {
    std::fprintf(stderr, "make_samples: sizes came out as %zu and %zu\n", exe.size(), dat2.size());
    return 1;
  }
  if (!Write(dir + "/VELDRAN.EXE", exe) || !Write(dir + "/mg_data2.mbl", dat2)) {
    std::fprintf(stderr, "make_samples: cannot write to %s\n", dir.c_str());
    return 1;
  }
  std::printf("%s/VELDRAN.EXE %zu bytes, %s/mg_data2.mbl %zu bytes\n", dir.c_str(), exe.size(), dir.c_str(), dat2.size());
  return 0;
}
