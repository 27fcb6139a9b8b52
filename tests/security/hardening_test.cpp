// The program-file reader and the shipped-program rules, on small images built here.
#include "tests/security/hardening.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace std::string_literals;

constexpr uint16_t kHighEntropyVa = 0x20, kDynamicBase = 0x40, kNxCompat = 0x100, kTsAware = 0x8000;
constexpr uint32_t kCodeSection = 0x60000020;  // code, readable, executable

struct Shape {
  bool pe32plus = false;
  uint16_t dllCharacteristics = kDynamicBase | kNxCompat | kTsAware | kHighEntropyVa;
  uint16_t fileCharacteristics = 0x0102;  // executable, 32-bit
  uint32_t timeDateStamp = 0;
  uint32_t relocationsSize = 12;
  uint32_t sectionFlags = kCodeSection;
  std::vector<std::string> imports = {"KERNEL32.dll", "USER32.dll"};
  std::vector<std::string> delayImports;
  bool delayByAddress = false;  // old delay-import tables hold addresses
  std::string text;             // more bytes in the section
  std::string resources;        // the resource data
};

constexpr uint32_t kHeaders = 0x200, kSectionRva = 0x1000, kSectionSize = 0x600;
constexpr uint64_t kImageBase = 0x400000;

void Put(std::vector<uint8_t>& b, size_t at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// One section at RVA 0x1000 holding the import descriptors (+0), the delay-import descriptors
// (+0x100), the DLL names (+0x200 on) and then the extra text, and the resources (+0x580).
std::vector<uint8_t> Build(const Shape& s) {
  std::vector<uint8_t> b(kHeaders + kSectionSize, 0);
  Put(b, 0, 0x5A4D, 2);
  Put(b, 0x3C, 0x40, 4);
  const size_t pe = 0x40, optional = pe + 24;
  const size_t optionalSize = s.pe32plus ? 240 : 224;
  Put(b, pe, 0x00004550, 4);
  Put(b, pe + 4, s.pe32plus ? 0x8664 : 0x14C, 2);
  Put(b, pe + 6, 1, 2);
  Put(b, pe + 8, s.timeDateStamp, 4);
  Put(b, pe + 20, optionalSize, 2);
  Put(b, pe + 22, s.fileCharacteristics, 2);
  Put(b, optional, s.pe32plus ? 0x20B : 0x10B, 2);
  if (s.pe32plus)
    Put(b, optional + 24, kImageBase, 8);
  else
    Put(b, optional + 28, kImageBase, 4);
  Put(b, optional + 70, s.dllCharacteristics, 2);
  const size_t directories = optional + (s.pe32plus ? 112 : 96);
  Put(b, directories - 4, 16, 4);
  auto directory = [&](int index, uint32_t rva, uint32_t size) {
    Put(b, directories + index * 8, rva, 4);
    Put(b, directories + index * 8 + 4, size, 4);
  };
  const size_t section = optional + optionalSize;
  std::memcpy(&b[section], ".text", 5);
  Put(b, section + 8, kSectionSize, 4);
  Put(b, section + 12, kSectionRva, 4);
  Put(b, section + 16, kSectionSize, 4);
  Put(b, section + 20, kHeaders, 4);
  Put(b, section + 36, s.sectionFlags, 4);

  uint32_t name = 0x200;
  auto addName = [&](const std::string& dll) {
    std::memcpy(&b[kHeaders + name], dll.data(), dll.size());
    uint32_t rva = kSectionRva + name;
    name += static_cast<uint32_t>(dll.size()) + 1;
    return rva;
  };
  for (size_t i = 0; i < s.imports.size(); ++i) Put(b, kHeaders + i * 20 + 12, addName(s.imports[i]), 4);
  if (!s.imports.empty()) directory(1, kSectionRva, static_cast<uint32_t>(20 * (s.imports.size() + 1)));
  for (size_t i = 0; i < s.delayImports.size(); ++i) {
    const size_t at = kHeaders + 0x100 + i * 32;
    Put(b, at, s.delayByAddress ? 0 : 1, 4);
    Put(b, at + 4, addName(s.delayImports[i]) + (s.delayByAddress ? kImageBase : 0), 4);
  }
  if (!s.delayImports.empty()) directory(13, kSectionRva + 0x100, 32 * (s.delayImports.size() + 1));
  if (s.relocationsSize) directory(5, kSectionRva + 0x500, s.relocationsSize);
  if (!s.resources.empty()) {
    std::memcpy(&b[kHeaders + 0x580], s.resources.data(), s.resources.size());
    directory(2, kSectionRva + 0x580, static_cast<uint32_t>(s.resources.size()));
  }
  std::memcpy(&b[kHeaders + name], s.text.data(), s.text.size());
  return b;
}

std::vector<std::string> Faults(const Shape& s) { return hardening::HardeningFaults(hardening::ReadImage(Build(s))); }

TEST(PeHardening, FullyProtectedProgramsPass) {
  Shape x86;
  EXPECT_THAT(Faults(x86), IsEmpty());
  x86.dllCharacteristics &= ~kHighEntropyVa;  // only wanted of 64-bit programs
  EXPECT_THAT(Faults(x86), IsEmpty());
  Shape x64;
  x64.pe32plus = true;
  EXPECT_THAT(Faults(x64), IsEmpty());
}

TEST(PeHardening, EachMissingProtectionIsReported) {
  struct Case {
    bool pe32plus;
    uint16_t cleared;
    const char* fault;
  };
  for (const Case& c :
       {Case{false, kDynamicBase, "not DYNAMIC_BASE"}, Case{true, kNxCompat, "not NX_COMPAT"},
        Case{false, kTsAware, "not TERMINAL_SERVER_AWARE"}, Case{true, kHighEntropyVa, "not HIGH_ENTROPY_VA"}}) {
    Shape s;
    s.pe32plus = c.pe32plus;
    s.dllCharacteristics &= ~c.cleared;
    EXPECT_THAT(Faults(s), ElementsAre(HasSubstr(c.fault))) << c.fault;
  }
}

// A link time in the header makes two builds of one source differ; so does a build folder.
TEST(PeHardening, WhatMakesBuildsDifferIsReported) {
  Shape s;
  s.timeDateStamp = 0x675A1B2C;
  EXPECT_THAT(Faults(s), ElementsAre(HasSubstr("time stamp set")));
  s.text = "C:/work/src/base/failure.cpp";
  EXPECT_THAT(hardening::BuildPathFaults(Build(s), {"/home/a/build", "C:/work/src"}),
              ElementsAre("holds the build path C:/work/src"));
}

TEST(PeHardening, ImageThatCannotMoveIsReported) {
  Shape noTable;
  noTable.relocationsSize = 0;
  EXPECT_THAT(Faults(noTable), ElementsAre(HasSubstr("no relocation table")));
  Shape stripped;
  stripped.fileCharacteristics |= 0x0001;
  EXPECT_THAT(Faults(stripped), ElementsAre(HasSubstr("no relocation table")));
}

TEST(PeHardening, WritableCodeIsReported) {
  Shape s;
  s.sectionFlags = kCodeSection | 0x80000000;
  EXPECT_THAT(Faults(s), ElementsAre("section .text is writable and executable"));
}

TEST(PeHardening, UnprotectedImportsOfEitherTableAreReported) {
  Shape s;
  s.imports = {"kernel32.DLL", "MSIMG32.dll", "msvcrt.dll"};
  s.delayImports = {"mpr.dll", "Shell32.dll"};
  EXPECT_THAT(Faults(s), ElementsAre("imports MSIMG32.dll, which is not a protected system DLL",
                                     "imports mpr.dll, which is not a protected system DLL"));
}

TEST(PeImage, ReadsBothDelayImportForms) {
  for (bool byAddress : {false, true}) {
    Shape s;
    s.pe32plus = byAddress;
    s.delayImports = {"VERSION.dll", "mpr.dll"};
    s.delayByAddress = byAddress;
    hardening::Image image = hardening::ReadImage(Build(s));
    EXPECT_THAT(image.imports, ElementsAre("KERNEL32.dll", "USER32.dll"));
    EXPECT_THAT(image.delayImports, ElementsAre("VERSION.dll", "mpr.dll"));
  }
}

TEST(PeImage, DamagedFilesAreRejectedNotRead) {
  Shape s;
  s.delayImports = {"mpr.dll"};
  const std::vector<uint8_t> whole = Build(s);
  // Every cut through the headers, the tables or the first name, read under the sanitizers.
  for (size_t size = 0; size <= kHeaders + 0x200; ++size) {
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_THROW(hardening::ReadImage(cut), std::runtime_error) << size;
  }
  std::vector<uint8_t> wrongSignature = whole;
  wrongSignature[0x40] = 'X';
  EXPECT_THROW(hardening::ReadImage(wrongSignature), std::runtime_error);
  std::vector<uint8_t> farOff = whole;
  Put(farOff, kHeaders + 12, 0x7FFFFFF0, 4);  // an import name outside every section
  EXPECT_THROW(hardening::ReadImage(farOff), std::runtime_error);
  std::vector<uint8_t> onePast = whole;  // a name at the first address past the section, in bytes beyond it
  Put(onePast, kHeaders + 12, kSectionRva + kSectionSize, 4);
  onePast.insert(onePast.end(), {'a', '.', 'd', 'l', 'l', 0});
  EXPECT_THROW(hardening::ReadImage(onePast), std::runtime_error);
}

TEST(PeImage, DllNamesAreFoundAsTextOfEitherWidth) {
  std::string text = "x\0mpr.dll\0C:\\sys\\Version.DLL\0not.dllx\0.dll\0\0"s, wide;
  for (char c : std::string("uxtheme.dll")) wide += std::string{c, '\0'};
  std::vector<uint8_t> file(text.begin(), text.end());
  file.push_back(0x7F);  // puts the two-byte text at an odd offset
  file.insert(file.end(), wide.begin(), wide.end());
  EXPECT_THAT(hardening::DllNamesInText(file), ElementsAre("mpr.dll", "version.dll", "uxtheme.dll"));
}

TEST(PeImage, PlantableNamesAreTheUnprotectedOnesOnce) {
  Shape s;
  s.imports = {"KERNEL32.dll", "MSIMG32.dll"};
  s.delayImports = {"Mpr.dll"};
  s.text = "user32.dll\0mpr.dll\0comctl32.dll"s;
  s.resources = "\0a packed file that mentions d3d9.dll\0"s;
  EXPECT_THAT(hardening::PlantableDlls(hardening::ReadImage(Build(s)), Build(s)),
              ElementsAre("comctl32.dll", "mpr.dll", "msimg32.dll"));
}

}  // namespace
