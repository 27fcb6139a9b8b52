// The resource check of a built program (see resource_check.h).
#include "tests/security/resource_check.h"

namespace resource_check {

namespace {

using resource_names::Type;

std::string TypeName(Type type) {
  switch (type) {
    case resource_names::kBitmap:
      return "BITMAP";
    case resource_names::kIcon:
      return "ICON";
    case resource_names::kRcdata:
      return "RCDATA";
    case resource_names::kGroupIcon:
      return "GROUP_ICON";
    case resource_names::kVersion:
      return "VERSION";
  }
  return "type " + std::to_string(static_cast<unsigned>(type));
}

const pe::Resource* Find(const std::vector<pe::Resource>& held, Type type, const pe::ResourceId& name) {
  for (const pe::Resource& r : held) {
    if (r.type.Matches(pe::ResourceId::Number(type)) && r.name.Matches(name)) return &r;
  }
  return nullptr;
}

unsigned Word(const std::vector<uint8_t>& data, size_t at) { return data[at] | data[at + 1] << 8; }

// The icon numbers of a group icon: a 6-byte header ending in the entry count, then 14 bytes
// an entry, each ending in its icon's number. False when the data is shorter than that.
bool IconNumbers(const std::vector<uint8_t>& data, std::vector<uint16_t>* numbers) {
  constexpr size_t kHeader = 6, kEntry = 14;
  if (data.size() < kHeader) return false;
  const size_t count = Word(data, 4);
  if (data.size() < kHeader + kEntry * count) return false;
  for (size_t i = 0; i < count; ++i) numbers->push_back(static_cast<uint16_t>(Word(data, kHeader + kEntry * i + 12)));
  return true;
}

}  // namespace

std::string Describe(const resource_names::Resource& resource) {
  return TypeName(resource.type) + " " +
         (resource.name ? "\"" + std::string(resource.name) + "\"" : std::to_string(resource.id));
}

std::vector<std::string> Missing(const std::vector<pe::Resource>& held,
                                 const std::vector<resource_names::Resource>& needed) {
  std::vector<std::string> lines;
  for (const resource_names::Resource& n : needed) {
    const pe::ResourceId name = n.name ? pe::ResourceId::Name(n.name) : pe::ResourceId::Number(n.id);
    const pe::Resource* found = Find(held, n.type, name);
    if (!found) {
      lines.push_back("lacks " + Describe(n));
      continue;
    }
    if (n.type != resource_names::kGroupIcon) continue;
    // The loader takes the group first, then the icon it picks from it.
    std::vector<uint16_t> icons;
    if (!IconNumbers(found->data, &icons)) {
      lines.push_back(Describe(n) + " is shorter than its entries");
    } else if (icons.empty()) {
      lines.push_back(Describe(n) + " names no icon");
    }
    for (uint16_t icon : icons) {
      if (!Find(held, resource_names::kIcon, pe::ResourceId::Number(icon)))
        lines.push_back("lacks ICON " + std::to_string(icon) + " of " + Describe(n));
    }
  }
  return lines;
}

}  // namespace resource_check
