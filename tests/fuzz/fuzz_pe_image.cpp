// The PE resource reader on arbitrary bytes: it refuses them with a reason or reads them; what it
// reads it can write, and the written image reads back with the same resources. Version
// resources found are rewritten too.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "tools/pe_image.h"
#include "tools/version_resource.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "pe image: %s\n", what);
  std::abort();
}

// The resources in one order, whatever order the section listed them in.
std::vector<std::tuple<uint16_t, std::u16string, uint16_t, std::u16string, uint16_t, std::vector<uint8_t>>> Sorted(
    const std::vector<pe::Resource>& resources) {
  std::vector<std::tuple<uint16_t, std::u16string, uint16_t, std::u16string, uint16_t, std::vector<uint8_t>>> all;
  for (const pe::Resource& r : resources)
    all.emplace_back(r.type.id, r.type.Text(), r.name.id, r.name.Text(), r.language, r.data);
  std::sort(all.begin(), all.end());
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  std::vector<pe::Resource> read;
  try {
    pe::Image image = pe::Image::Parse(std::vector<uint8_t>(data, data + size));
    read = image.Resources();
    out = image.Build();
    for (pe::Resource& r : image.Resources())
      if (r.type.Matches(pe::ResourceId::Number(pe::kRtVersion))) pe::SetVersion(r.data, pe::Version::Parse("1.2.3"));
  } catch (const pe::FormatError&) {
    if (out.empty()) return 0;
  }
  try {
    if (Sorted(pe::Image::Parse(out).Resources()) != Sorted(read)) Fail("written image reads back different resources");
  } catch (const pe::FormatError&) {
    Fail("written image does not read back");
  }
  return 0;
}
