// The version resource: versions parsed strictly, and set in the fixed information and the texts
// of a resource that windres made (the stub's), leaving its other values as they were.
#include "tools/version_resource.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tools/pe_image.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes StubVersion() {
  std::ifstream in(std::string(STUBS_DIR) + "/stub32.exe", std::ios::binary);
  pe::Image image = pe::Image::Parse(Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  return image.Find(pe::ResourceId::Number(pe::kRtVersion), pe::ResourceId::Number(1)).at(0)->data;
}

uint32_t U32(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; }

// The UTF-16 value that follows key in the resource, read up to its terminating zero.
std::string Value(const Bytes& b, const std::string& key) {
  std::string wide;
  for (char c : key) wide += std::string{c, '\0'};
  wide += std::string(2, '\0');
  const std::string all(b.begin(), b.end());
  size_t at = all.find(wide);
  if (at == std::string::npos) return "(missing)";
  at = (at + wide.size() + 3) & ~size_t{3};
  std::string value;
  for (; at + 1 < all.size() && (all[at] || all[at + 1]); at += 2) value.push_back(all[at]);
  return value;
}

TEST(VersionText, AcceptsOneToFourNumbers) {
  EXPECT_EQ(pe::Version::Parse("1.0.2").parts, (std::array<uint16_t, 4>{1, 0, 2, 0}));
  EXPECT_EQ(pe::Version::Parse("65535.7.8.9").parts, (std::array<uint16_t, 4>{65535, 7, 8, 9}));
  EXPECT_EQ(pe::Version::Parse("3").parts, (std::array<uint16_t, 4>{3, 0, 0, 0}));
  for (const char* bad : {"", "1.", ".1", "1..2", "1.2.3.4.5", "65536", "1.0.2a", "v1", "1,0", "-1", "0000001"})
    EXPECT_THROW(pe::Version::Parse(bad), std::invalid_argument) << bad;
}

TEST(VersionResource, SetsFixedInformationAndTexts) {
  const Bytes before = StubVersion();
  ASSERT_EQ(Value(before, "FileVersion"), "1.0.0");
  const Bytes after = pe::SetVersion(before, pe::Version::Parse("12.3.45.6"));
  EXPECT_EQ(after[0] | after[1] << 8, after.size());  // the root's length is the whole resource
  // VS_FIXEDFILEINFO follows the 38-byte key, padded to 40: file then product version.
  ASSERT_EQ(U32(after, 40), 0xFEEF04BDu);
  EXPECT_EQ(U32(after, 48), 12u << 16 | 3);
  EXPECT_EQ(U32(after, 52), 45u << 16 | 6);
  EXPECT_EQ(U32(after, 56), 12u << 16 | 3);
  EXPECT_EQ(U32(after, 60), 45u << 16 | 6);
  EXPECT_EQ(Value(after, "FileVersion"), "12.3.45.6");
  EXPECT_EQ(Value(after, "ProductVersion"), "12.3.45.6");
  EXPECT_EQ(Value(after, "CompanyName"), "KORVA");
  EXPECT_EQ(Value(after, "Translation").size(), Value(before, "Translation").size());
  // Back to the version it had: the very bytes windres wrote.
  EXPECT_EQ(pe::SetVersion(after, pe::Version::Parse("1.0.0")), before);
}

TEST(VersionResource, MalformedIsRefused) {
  const Bytes good = StubVersion();
  const pe::Version v = pe::Version::Parse("1.2.3");
  for (size_t cut : {size_t{0}, size_t{5}, size_t{40}, good.size() - 1}) {
    Bytes b(good.begin(), good.begin() + cut);
    EXPECT_THROW(pe::SetVersion(b, v), pe::FormatError) << cut;
  }
  Bytes wrongKey = good;
  wrongKey[6] = 'W';
  EXPECT_THROW(pe::SetVersion(wrongKey, v), pe::FormatError);
  Bytes wrongSignature = good;
  wrongSignature[43] ^= 1;  // VS_FIXEDFILEINFO's 0xFEEF04BD, at 40
  EXPECT_THROW(pe::SetVersion(wrongSignature, v), pe::FormatError);
  Bytes longValue = good;  // the translation's 4 bytes said to be 5, one byte past its node
  longValue[std::string(good.begin(), good.end()).find(std::string("T\0r\0a\0n\0s\0l\0a\0t\0i\0o\0n", 21)) - 4] += 1;
  EXPECT_THROW(pe::SetVersion(longValue, v), pe::FormatError);
  Bytes childTooShort = good;
  childTooShort[0x5C] = 2;  // the first child's length
  childTooShort[0x5D] = 0;
  EXPECT_THROW(pe::SetVersion(childTooShort, v), pe::FormatError);
}

}  // namespace
