// The resource check on resource lists made here: what counts as held, and each lack reported.
#include "tests/security/resource_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace resource_names;

pe::Resource Held(Type type, const char* name, uint16_t id = 0, std::vector<uint8_t> data = {}) {
  pe::Resource r;
  r.type = pe::ResourceId::Number(type);
  r.name = name ? pe::ResourceId::Name(name) : pe::ResourceId::Number(id);
  r.data = std::move(data);
  return r;
}

// A group icon naming the given icons (count, then 14 bytes an entry ending in the number).
std::vector<uint8_t> GroupIcon(const std::vector<uint16_t>& icons) {
  std::vector<uint8_t> d = {0, 0, 1, 0, static_cast<uint8_t>(icons.size()), 0};
  for (uint16_t icon : icons) {
    d.insert(d.end(), 12, 0);
    d.push_back(static_cast<uint8_t>(icon));
    d.push_back(static_cast<uint8_t>(icon >> 8));
  }
  return d;
}

const std::vector<Resource> kNeeded = {
    {kBitmap, "FLOPPY", 0}, {kGroupIcon, "MAINICON", 0}, {kVersion, nullptr, 1}, {kRcdata, "EXE", 0}};

std::vector<pe::Resource> Complete() {
  return {Held(kBitmap, "FLOPPY"), Held(kIcon, nullptr, 1), Held(kIcon, nullptr, 2),
          Held(kGroupIcon, "MAINICON", 0, GroupIcon({1, 2})), Held(kVersion, nullptr, 1), Held(kRcdata, "EXE")};
}

TEST(ShippedResources, HeldAsTheLoaderFindsThem) {
  EXPECT_THAT(resource_check::Missing(Complete(), kNeeded), IsEmpty());
  // Names in other letter case and resources of another language are found all the same.
  std::vector<pe::Resource> held = Complete();
  held[0].name = pe::ResourceId::Name("floppy");
  held[5].language = 0x411;
  EXPECT_THAT(resource_check::Missing(held, kNeeded), IsEmpty());
}

TEST(ShippedResources, EachLackIsReported) {
  struct Case {
    const char* what;
    std::function<void(std::vector<pe::Resource>&)> change;
    const char* line;
  };
  const Case cases[] = {
      {"bitmap left out", [](auto& h) { h.erase(h.begin()); }, "lacks BITMAP \"FLOPPY\""},
      {"bitmap linked as data", [](auto& h) { h[0].type = pe::ResourceId::Number(kRcdata); }, "lacks BITMAP \"FLOPPY\""},
      {"version left out", [](auto& h) { h.erase(h.begin() + 4); }, "lacks VERSION 1"},
      {"version under a name", [](auto& h) { h[4].name = pe::ResourceId::Name("1"); }, "lacks VERSION 1"},
      {"payload left out", [](auto& h) { h.pop_back(); }, "lacks RCDATA \"EXE\""},
      {"group icon left out", [](auto& h) { h.erase(h.begin() + 3); }, "lacks GROUP_ICON \"MAINICON\""},
      {"an icon of the group left out", [](auto& h) { h.erase(h.begin() + 2); }, "lacks ICON 2 of GROUP_ICON \"MAINICON\""},
      {"group icon cut short", [](auto& h) { h[3].data.resize(19); }, "GROUP_ICON \"MAINICON\" is shorter than its entries"},
      {"group icon without icons", [](auto& h) { h[3].data = GroupIcon({}); }, "GROUP_ICON \"MAINICON\" names no icon"},
  };
  for (const Case& c : cases) {
    std::vector<pe::Resource> held = Complete();
    c.change(held);
    EXPECT_THAT(resource_check::Missing(held, kNeeded), ElementsAre(c.line)) << c.what;
  }
  EXPECT_THAT(resource_check::Missing({}, kNeeded),
              ElementsAre("lacks BITMAP \"FLOPPY\"", "lacks GROUP_ICON \"MAINICON\"", "lacks VERSION 1", "lacks RCDATA \"EXE\""));
}

}  // namespace
