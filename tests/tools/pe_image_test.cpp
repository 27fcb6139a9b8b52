// The PE resource reader and writer: linker-made stubs (PE32 and PE32+) rewritten and read back
// by a separate minimal walker of the headers, resources streamed into the file, malformed
// images refused with a reason, and memory bounded by the file's size.
#include "tools/pe_image.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>

// Every allocation of this program is counted, so that a test can tell the most memory held
// at once while it ran.
std::atomic<size_t> gLive{0}, gPeak{0};

__attribute__((noinline)) void* operator new(size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  const size_t live = gLive += malloc_usable_size(block);
  for (size_t peak = gPeak; live > peak && !gPeak.compare_exchange_weak(peak, live);) {
  }
  return block;
}

__attribute__((noinline)) void operator delete(void* p) noexcept {
  if (!p) return;
  gLive -= malloc_usable_size(p);
  std::free(p);
}

// Every other form goes through the two above (the sanitizer's runtime would otherwise supply
// its own, mismatched with them).
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete(p); }

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Stub(const std::string& name) {
  std::ifstream in(std::string(STUBS_DIR) + "/" + name, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes Noise(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (auto& x : b) x = static_cast<uint8_t>(rng() >> 24);
  return b;
}

uint32_t U16(const Bytes& b, size_t at) { return b.at(at) | b.at(at + 1) << 8; }
uint32_t U32(const Bytes& b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }
void Set32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

// A walker of its own, written from the file format alone, as the loader reads an image.
struct Walker {
  const Bytes& b;
  size_t pe = U32(b, 0x3C);
  size_t opt = pe + 24;
  bool plus = U16(b, opt) == 0x20B;
  size_t dirs = opt + (plus ? 112 : 96);
  size_t table = opt + U16(b, pe + 20);
  size_t count = U16(b, pe + 6);

  struct Section {
    std::string name;
    uint32_t vsize, va, rawSize, raw, flags;
  };
  Section At(size_t i) const {
    const size_t h = table + 40 * i;
    std::string name(reinterpret_cast<const char*>(&b[h]), 8);
    return {name.c_str(), U32(b, h + 8), U32(b, h + 12), U32(b, h + 16), U32(b, h + 20), U32(b, h + 36)};
  }
  std::optional<Section> Named(const std::string& name) const {
    for (size_t i = 0; i < count; ++i)
      if (At(i).name == name) return At(i);
    return std::nullopt;
  }
  size_t FileOf(uint32_t rva) const {
    for (size_t i = 0; i < count; ++i)
      if (rva >= At(i).va && rva < At(i).va + At(i).rawSize) return At(i).raw + (rva - At(i).va);
    ADD_FAILURE() << "address outside the sections";
    return 0;
  }
  // Resource of the given type and name (a number, or an ASCII name) in its first language.
  std::optional<Bytes> Resource(uint32_t type, const std::string& name, uint32_t number = 0) const {
    const size_t root = FileOf(U32(b, dirs + 16));
    auto find = [&](size_t dir, std::function<bool(uint32_t)> match) -> std::optional<uint32_t> {
      const size_t n = U16(b, dir + 12) + U16(b, dir + 14);
      for (size_t i = 0; i < n; ++i)
        if (match(U32(b, dir + 16 + 8 * i))) return U32(b, dir + 16 + 8 * i + 4);
      return std::nullopt;
    };
    auto t = find(root, [&](uint32_t id) { return id == type; });
    if (!t) return std::nullopt;
    auto n = find(root + (*t & 0x7FFFFFFF), [&](uint32_t id) {
      if (name.empty()) return id == number;
      if (!(id & 0x80000000)) return false;
      const size_t s = root + (id & 0x7FFFFFFF);
      std::string text;
      for (size_t i = 0; i < U16(b, s); ++i) text.push_back(static_cast<char>(U16(b, s + 2 + 2 * i)));
      return text == name;
    });
    if (!n) return std::nullopt;
    const size_t languages = root + (*n & 0x7FFFFFFF);
    const size_t entry = root + U32(b, languages + 16 + 4);
    const size_t at = FileOf(U32(b, entry));
    return Bytes(b.begin() + at, b.begin() + at + U32(b, entry + 4));
  }
};

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

class Stubs : public ::testing::TestWithParam<const char*> {};

// ld wrote the checksum of the committed stubs; ours must agree with it.
TEST_P(Stubs, ChecksumAgreesWithTheLinker) {
  const Bytes stub = Stub(GetParam());
  const Walker w{stub};
  ASSERT_NE(U32(stub, w.opt + 64), 0u);
  EXPECT_EQ(pe::Checksum(stub, w.opt + 64), U32(stub, w.opt + 64));
}

TEST_P(Stubs, ReadsEveryResource) {
  pe::Image image = pe::Image::Parse(Stub(GetParam()));
  EXPECT_EQ(image.IsPe32Plus(), std::string(GetParam()) == "stub64.exe");
  auto rcdata = [&](const char* name) {
    std::vector<Bytes> found;
    for (pe::Resource* r : image.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name(name)))
      found.push_back(r->data);
    return found;
  };
  EXPECT_EQ(rcdata("EXE"), std::vector<Bytes>{Text("old exe payload")});
  EXPECT_EQ(rcdata("dat2"), std::vector<Bytes>{Text("old dat2 payload, a little longer")});  // any case
  EXPECT_EQ(rcdata("OTHER"), (std::vector<Bytes>{Text("other, neutral"), Text("other, Japanese")}));
  EXPECT_EQ(image.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Number(7)).size(), 1u);
  EXPECT_EQ(image.Find(pe::ResourceId::Number(pe::kRtVersion), pe::ResourceId::Number(1)).size(), 1u);
  EXPECT_EQ(image.Find(pe::ResourceId::Number(pe::kRtGroupIcon), pe::ResourceId::Name("MAINICON")).size(), 1u);
  EXPECT_TRUE(image.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name("EX")).empty());
  EXPECT_TRUE(pe::ResourceId::Name("az").Matches(pe::ResourceId::Name("AZ")));  // both ends of the letters
}

// Payloads that grow the section by many alignment units, and ones that shrink it.
TEST_P(Stubs, RewrittenImageReadsBackIndependently) {
  const Bytes stub = Stub(GetParam());
  for (size_t exeSize : {size_t{300000}, size_t{3}}) {
    SCOPED_TRACE(exeSize);
    pe::Image image = pe::Image::Parse(stub);
    const Bytes exe = Noise(exeSize, 1), dat2 = Noise(5001, 2);
    image.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name("EXE"))[0]->data = exe;
    image.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name("DAT2"))[0]->data = dat2;
    const Bytes out = image.Build();

    const Walker before{stub}, after{out};
    ASSERT_EQ(after.count, before.count);
    EXPECT_EQ(after.Resource(10, "EXE"), exe);
    EXPECT_EQ(after.Resource(10, "DAT2"), dat2);
    EXPECT_EQ(after.Resource(10, "OTHER"), before.Resource(10, "OTHER"));
    EXPECT_EQ(after.Resource(10, "", 7), Text("numbered"));
    EXPECT_EQ(after.Resource(16, "", 1), before.Resource(16, "", 1));

    // Program sections: same place, same bytes. The relocations move behind the resources,
    // unchanged, and the directory that names them follows.
    const auto rsrc = after.Named(".rsrc"), reloc = after.Named(".reloc"), oldReloc = before.Named(".reloc");
    ASSERT_TRUE(rsrc && reloc && oldReloc);
    for (size_t i = 0; i < before.count; ++i) {
      const auto s = before.At(i), t = after.At(i);
      if (s.name == ".rsrc" || s.name == ".reloc") continue;
      EXPECT_EQ(t.va, s.va) << s.name;
      EXPECT_TRUE(std::equal(stub.begin() + s.raw, stub.begin() + s.raw + s.rawSize, out.begin() + t.raw)) << s.name;
    }
    EXPECT_EQ(U32(out, after.dirs + 16), rsrc->va);
    EXPECT_EQ(U32(out, after.dirs + 20), rsrc->vsize);
    EXPECT_GE(rsrc->rawSize, rsrc->vsize);
    EXPECT_EQ(reloc->va, (rsrc->va + rsrc->vsize + 0xFFF) & ~0xFFFu);
    EXPECT_EQ(reloc->raw, rsrc->raw + rsrc->rawSize);
    const uint32_t fileAlignment = U32(out, after.opt + 36);
    for (size_t i = 0; i < after.count; ++i) EXPECT_EQ(after.At(i).raw % fileAlignment, 0u) << after.At(i).name;
    EXPECT_EQ(rsrc->rawSize % fileAlignment, 0u);
    EXPECT_EQ(U32(out, after.dirs + 40), reloc->va);
    EXPECT_TRUE(std::equal(stub.begin() + oldReloc->raw, stub.begin() + oldReloc->raw + oldReloc->rawSize,
                           out.begin() + reloc->raw));
    EXPECT_EQ(out.size(), reloc->raw + reloc->rawSize);
    EXPECT_EQ(U32(out, after.opt + 56), (reloc->va + reloc->vsize + 0xFFF) & ~0xFFFu);  // SizeOfImage
    EXPECT_EQ(U32(out, after.opt + 64), pe::Checksum(out, after.opt + 64));
    EXPECT_EQ(pe::Image::Parse(out).Resources().size(), image.Resources().size());
  }
}

TEST_P(Stubs, UnsetChecksumStaysUnset) {
  Bytes stub = Stub(GetParam());
  const Walker w{stub};
  Set32(stub, w.opt + 64, 0);
  const Bytes out = pe::Image::Parse(stub).Build();
  EXPECT_EQ(U32(out, w.opt + 64), 0u);
}

// A signed stub: the certificate no longer matches what is built, so it is left out.
TEST_P(Stubs, CertificateIsDropped) {
  Bytes stub = Stub(GetParam());
  const Walker w{stub};
  const size_t size = stub.size();
  stub.resize(size + 24, 0xCE);
  Set32(stub, w.dirs + 32, static_cast<uint32_t>(size));
  Set32(stub, w.dirs + 36, 24);
  const Bytes out = pe::Image::Parse(stub).Build();
  EXPECT_EQ(U32(out, w.dirs + 32), 0u);
  EXPECT_EQ(U32(out, w.dirs + 36), 0u);
  EXPECT_EQ(out, pe::Image::Parse(Stub(GetParam())).Build());
}

// A resource streamed into the file gives the very bytes it gives held in memory; one that streams
// another count than it promised is refused.
TEST_P(Stubs, StreamedResourceWritesTheSameFile) {
  const Bytes payload = Noise(100003, 5);
  pe::Image held = pe::Image::Parse(Stub(GetParam()));
  held.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name("EXE"))[0]->data = payload;
  pe::Image streamed = pe::Image::Parse(Stub(GetParam()));
  pe::Resource& exe = *streamed.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name("EXE"))[0];
  exe.streamedSize = payload.size();
  exe.stream = [&](pe::Sink& sink) {
    for (size_t at = 0; at < payload.size(); at += 4099)
      sink.Write(payload.data() + at, std::min<size_t>(4099, payload.size() - at));
  };
  EXPECT_EQ(streamed.Build(), held.Build());
  exe.streamedSize += 1;
  EXPECT_THROW(streamed.Build(), pe::FormatError);
}

INSTANTIATE_TEST_SUITE_P(Both, Stubs, ::testing::Values("stub32.exe", "stub64.exe"),
                         [](const auto& info) { return std::string(info.param).substr(0, 6); });

// The checksum over a file given in pieces, split anywhere, equals the checksum of the whole, the
// field wherever it lies (at an odd offset no word is skipped).
TEST(Checksum, InPiecesAgreesWithTheWhole) {
  std::mt19937 rng(3);
  const Bytes file = Noise(10001, 9);
  for (size_t field : {size_t{0}, size_t{2}, size_t{64}, size_t{65}, size_t{9996}, size_t{9998}}) {
    pe::ChecksumAccumulator sum(field);
    for (size_t at = 0; at < file.size();) {
      const size_t n = std::min<size_t>(rng() % 9, file.size() - at);
      sum.Add(file.data() + at, n);
      at += n;
    }
    EXPECT_EQ(sum.Value() + file.size(), pe::Checksum(file, field)) << field;
  }
}

// 2,000 directory entries naming one 65,535-character string (a 228 KB section): the name is
// held once when read and written once when laid out again, instead of once per entry (460 MB).
TEST(ResourceNames, PointedAtOftenAreHeldOnce) {
  pe::Image padded = pe::Image::Parse(Stub("stub32.exe"));
  pe::Resource pad = padded.Resources()[0];
  pad.data = Bytes(240000);
  padded.Resources() = {pad};
  Bytes file = padded.Build();
  const Walker w{file};
  const size_t base = w.Named(".rsrc")->raw;
  const uint32_t va = w.Named(".rsrc")->va;
  constexpr uint32_t kEntries = 2000, kLength = 65535;
  const uint32_t typeDir = 24, languageDirs = 40 + 8 * kEntries, dataEntries = languageDirs + 24 * kEntries;
  const uint32_t name = dataEntries + 16 * kEntries, data = name + 2 + 2 * kLength;
  ASSERT_LE(data + 4, w.Named(".rsrc")->vsize);
  std::fill(file.begin() + base, file.begin() + base + data + 4, 0);
  auto put16 = [&](uint32_t at, uint32_t v) { file[base + at] = v & 0xFF, file[base + at + 1] = (v >> 8) & 0xFF; };
  auto put32 = [&](uint32_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
  put16(14, 1);
  put32(16, pe::kRtRcdata);
  put32(20, 0x80000000 | typeDir);
  put16(typeDir + 12, kEntries);
  for (uint32_t i = 0; i < kEntries; ++i) {
    put32(typeDir + 16 + 8 * i, 0x80000000 | name);
    put32(typeDir + 20 + 8 * i, 0x80000000 | (languageDirs + 24 * i));
    put16(languageDirs + 24 * i + 14, 1);
    put32(languageDirs + 24 * i + 16, i + 1);  // a language of its own
    put32(languageDirs + 24 * i + 20, dataEntries + 16 * i);
    put32(dataEntries + 16 * i, va + data);
    put32(dataEntries + 16 * i + 4, 4);
  }
  put16(name, kLength);
  for (uint32_t i = 0; i < kLength; ++i) put16(name + 2 + 2 * i, 'A' + i % 26);

  const size_t before = gLive;
  gPeak = before;
  pe::Image image = pe::Image::Parse(file);
  ASSERT_EQ(image.Resources().size(), kEntries);
  EXPECT_EQ(image.Resources()[kEntries - 1].name.Text().size(), kLength);
  EXPECT_LT(gPeak - before, 4 * file.size()) << "reading held " << gPeak - before << " bytes for a " << file.size() << "-byte file";
  EXPECT_LT(image.Build().size(), file.size());
}

struct Damage {
  const char* name;
  std::function<void(Bytes&, const Walker&)> apply;
  const char* reason;
};

class Malformed : public ::testing::TestWithParam<Damage> {};

// Each damaged image is refused with its reason, by the reader or, for layouts it cannot
// rewrite safely, by the writer.
TEST_P(Malformed, IsRefusedWithAReason) {
  Bytes stub = Stub("stub32.exe");
  const Walker w{Stub("stub32.exe")};
  GetParam().apply(stub, w);
  try {
    pe::Image::Parse(stub).Build();
    FAIL() << "accepted";
  } catch (const pe::FormatError& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().reason), std::string::npos) << e.what();
  }
}

// Offset of the resource section in the file, and of the root directory's first entry.
size_t Rsrc(const Walker& w) { return w.Named(".rsrc")->raw; }

INSTANTIATE_TEST_SUITE_P(
    Cases, Malformed,
    ::testing::Values(
        Damage{"Empty", [](Bytes& b, const Walker&) { b.clear(); }, "no MZ"},
        Damage{"TextFile", [](Bytes& b, const Walker&) { b = Text(std::string(200, 'x')); }, "no MZ"},
        Damage{"HeaderPastEnd", [](Bytes& b, const Walker&) { Set32(b, 0x3C, 0x7FFFFFF0); }, "no PE signature"},
        Damage{"CutInHeaders", [](Bytes& b, const Walker& w) { b.resize(w.opt + 40); }, "truncated"},
        Damage{"RomImage", [](Bytes& b, const Walker& w) { b[w.opt] = 0x07; }, "not a PE32"},
        Damage{"TooManyDirectories", [](Bytes& b, const Walker& w) { Set32(b, w.dirs - 4, 17); }, "optional header"},
        Damage{"LastDirectoryPastTheOptionalHeader", [](Bytes& b, const Walker& w) { b[w.pe + 20] -= 8; }, "optional header"},
        Damage{"NoResourceDirectory", [](Bytes& b, const Walker& w) { Set32(b, w.dirs - 4, 2); }, "no resources"},
        Damage{"ZeroAlignment", [](Bytes& b, const Walker& w) { Set32(b, w.opt + 36, 0); }, "alignment"},
        Damage{"SectionPastEnd", [](Bytes& b, const Walker&) { b.resize(b.size() - 1); }, "past the end"},
        Damage{"TooManySections", [](Bytes& b, const Walker& w) { b[w.pe + 6] = 0xFF; b[w.pe + 7] = 0xFF; },
               "section table"},
        Damage{"SectionsOutOfOrder", [](Bytes& b, const Walker& w) { Set32(b, w.table + 40 + 12, 0); }, "overlap"},
        Damage{"ResourcesInsideASection",
               [](Bytes& b, const Walker& w) { Set32(b, w.dirs + 16, w.Named(".rsrc")->va + 16); },
               "section of their own"},
        Damage{"EntriesPastSection", [](Bytes& b, const Walker& w) { b[Rsrc(w) + 14] = 0xFF; b[Rsrc(w) + 15] = 0xFF; },
               "runs past"},
        Damage{"DirectoryLoop", [](Bytes& b, const Walker& w) { Set32(b, Rsrc(w) + 16 + 4, 0x80000000); },
               "reached twice"},
        Damage{"NumberOutOfRange", [](Bytes& b, const Walker& w) { Set32(b, Rsrc(w) + 16, 0x10000); }, "out of range"},
        Damage{"NameStringPastSection",
               [](Bytes& b, const Walker& w) { Set32(b, Rsrc(w) + 16, 0x80000000 | (w.Named(".rsrc")->vsize - 1)); },
               "runs past"},
        Damage{"NameTextOneBytePastSection",  // a length of 1, then 1 of the character's 2 bytes
               [](Bytes& b, const Walker& w) {
                 const uint32_t at = w.Named(".rsrc")->vsize - 3;
                 Set32(b, Rsrc(w) + 16, 0x80000000 | at), b[Rsrc(w) + at] = 1, b[Rsrc(w) + at + 1] = 0;
               },
               "runs past"},
        Damage{"NamesOverlap",
               [](Bytes& b, const Walker& w) {
                 // The second name of the payloads' directory starts inside the first.
                 const size_t root = Rsrc(w);
                 size_t rcdata = 0;
                 for (size_t i = 0; i < U16(b, root + 12) + U16(b, root + 14); ++i)
                   if (U32(b, root + 16 + 8 * i) == pe::kRtRcdata) rcdata = root + (U32(b, root + 16 + 8 * i + 4) & 0x7FFFFFFF);
                 const uint32_t first = U32(b, rcdata + 16);
                 b[root + (first & 0x7FFFFFFF) + 2] = 1;  // its first character, now also a length of 1
                 b[root + (first & 0x7FFFFFFF) + 3] = 0;
                 Set32(b, rcdata + 16 + 8, first + 2);
               },
               "overlap"},
        Damage{"DataOutsideSections",
               [](Bytes& b, const Walker& w) {
                 const size_t root = Rsrc(w);
                 const size_t names = root + (U32(b, root + 16 + 4) & 0x7FFFFFFF);
                 const size_t languages = root + (U32(b, names + 16 + 4) & 0x7FFFFFFF);
                 Set32(b, root + U32(b, languages + 16 + 4), 0x7FFF0000);
               },
               "outside the file's sections"},
        Damage{"DataOneBytePastItsSection",
               [](Bytes& b, const Walker& w) {
                 const size_t root = Rsrc(w), names = root + (U32(b, root + 16 + 4) & 0x7FFFFFFF);
                 const size_t entry = root + U32(b, root + (U32(b, names + 16 + 4) & 0x7FFFFFFF) + 16 + 4);
                 Set32(b, entry + 4, w.Named(".rsrc")->va + w.Named(".rsrc")->vsize + 1 - U32(b, entry));
               },
               "outside the file's sections"},
        Damage{"TreeTooShallow",
               [](Bytes& b, const Walker& w) {
                 const size_t root = Rsrc(w);
                 const size_t names = root + (U32(b, root + 16 + 4) & 0x7FFFFFFF);
                 Set32(b, names + 16 + 4, U32(b, names + 16 + 4) & 0x7FFFFFFF);
               },
               "shallower"},
        Damage{"DirectoryBehindResources",  // the debug directory, into the relocations
               [](Bytes& b, const Walker& w) { Set32(b, w.dirs + 48, w.Named(".reloc")->va), Set32(b, w.dirs + 52, 28); },
               "data directory points behind"},
        Damage{"SectionBehindResourcesOutOfFileOrder",
               [](Bytes& b, const Walker& w) { Set32(b, w.table + 40 * (w.count - 1) + 20, static_cast<uint32_t>(Rsrc(w))); },
               "out of file order"},
        Damage{"ProgramSectionBehindResources",
               [](Bytes& b, const Walker& w) {
                 for (size_t i = 0; i < w.count; ++i)
                   if (w.At(i).name == ".reloc") Set32(b, w.table + 40 * i + 36, 0x40000040);
               },
               "program section follows"},
        Damage{"CertificateInTheMiddle",
               [](Bytes& b, const Walker& w) {
                 Set32(b, w.dirs + 32, 0x400);
                 Set32(b, w.dirs + 36, 8);
               },
               "certificate"},
        Damage{"CertificateShortOfTheEnd",
               [](Bytes& b, const Walker& w) {
                 Set32(b, w.dirs + 32, static_cast<uint32_t>(b.size())), Set32(b, w.dirs + 36, 16);
                 b.resize(b.size() + 24, 0xCE);
               },
               "certificate"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
