// Reader and writer of a PE image's resource section: headers, the three-level resource tree
// (type, name, language) and the relayout of the sections that follow it.
#include "tools/pe_image.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

namespace pe {

namespace {

// Optional header fields at the same offset in PE32 and PE32+.
constexpr size_t kSizeOfInitializedData = 8;
constexpr size_t kSectionAlignment = 32;
constexpr size_t kFileAlignment = 36;
constexpr size_t kSizeOfImage = 56;
constexpr size_t kCheckSum = 64;
// Where the data directories start.
constexpr size_t kDirectories32 = 96;
constexpr size_t kDirectories64 = 112;
constexpr size_t kImageBase32 = 28;
constexpr size_t kImageBase64 = 24;
constexpr size_t kDllCharacteristics = 70;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint32_t kScnInitializedData = 0x00000040;
constexpr uint32_t kScnDiscardable = 0x02000000;
constexpr uint32_t kHighBit = 0x80000000u;

uint16_t Get16(const std::vector<uint8_t>& b, uint64_t at) {
  if (at + 2 > b.size()) throw FormatError("truncated image");
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

uint32_t Get32(const std::vector<uint8_t>& b, uint64_t at) {
  if (at + 4 > b.size()) throw FormatError("truncated image");
  return static_cast<uint32_t>(Get16(b, at)) | static_cast<uint32_t>(Get16(b, at + 2)) << 16;
}

uint64_t Get64(const std::vector<uint8_t>& b, uint64_t at) { return Get32(b, at) | uint64_t{Get32(b, at + 4)} << 32; }

// A zero-terminated name of at most 256 bytes.
std::string NameAt(const std::vector<uint8_t>& b, uint64_t at) {
  std::string name;
  for (uint64_t i = at; name.size() <= 256; ++i) {
    if (i >= b.size()) throw FormatError("truncated image");
    if (b[i] == 0) return name;
    name += static_cast<char>(b[i]);
  }
  throw FormatError("unterminated name");
}

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

bool PowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

uint64_t AlignUp(uint64_t v, uint32_t alignment) { return (v + alignment - 1) / alignment * alignment; }

// File bytes of a section that the loader maps (the rest of the raw data is padding).
uint32_t LoadedRawSize(uint32_t virtualSize, uint32_t rawSize) {
  return virtualSize ? std::min(virtualSize, rawSize) : rawSize;
}

uint32_t Narrow(uint64_t v) {
  if (v > 0xFFFFFFFFu) throw FormatError("image would grow past 4 GiB");
  return static_cast<uint32_t>(v);
}

// Order of entries within a directory: names before numbers, names by their code units, numbers
// ascending, so that the loader's binary search finds them.
// A name held once compares with itself without reading it.
bool IdLess(const ResourceId& a, const ResourceId& b) {
  if (a.IsName() != b.IsName()) return a.IsName();
  if (a.IsName()) return a.name != b.name && a.Text() < b.Text();
  return a.id < b.id;
}

bool IdEqual(const ResourceId& a, const ResourceId& b) {
  return a.IsName() == b.IsName() && (a.IsName() ? a.name == b.name || a.Text() == b.Text() : a.id == b.id);
}

// Reads the type / name / language tree of the resource section.
class TreeReader {
 public:
  TreeReader(const std::vector<uint8_t>& bytes, const std::vector<std::tuple<uint32_t, uint32_t, uint32_t>>& sections,
             size_t base, size_t size)
      : b_(bytes), sections_(sections), base_(base), size_(size) {}

  void Directory(uint32_t offset, int level, Resource& path, std::vector<Resource>& out) {
    Claim(offset, 16);
    const uint32_t count = uint32_t{Get16(b_, base_ + offset + 12)} + Get16(b_, base_ + offset + 14);
    Need(offset + 16ull, 8ull * count);
    for (uint32_t i = 0; i < count; ++i) {
      const size_t entry = base_ + offset + 16 + 8 * i;
      const uint32_t nameField = Get32(b_, entry);
      const uint32_t dataField = Get32(b_, entry + 4);
      ResourceId id = Id(nameField);
      if (level == 0) path.type = id;
      if (level == 1) path.name = id;
      if (level == 2) {
        if (id.IsName()) throw FormatError("resource language is a name");
        path.language = id.id;
      }
      if (dataField & kHighBit) {
        if (level == 2) throw FormatError("resource tree deeper than type, name and language");
        Directory(dataField & ~kHighBit, level + 1, path, out);
      } else {
        if (level != 2) throw FormatError("resource tree shallower than type, name and language");
        Data(dataField, path, out);
      }
    }
  }

 private:
  void Need(uint64_t offset, uint64_t count) const {
    if (offset + count > size_) throw FormatError("resource directory runs past its section");
  }

  // A structure at offset; each one may be reached once, which keeps the tree a tree.
  void Claim(uint32_t offset, uint32_t count) {
    Need(offset, count);
    if (!claimed_.insert(offset).second) throw FormatError("resource directory entry reached twice");
  }

  // A name is read once, however many entries point at it; names may not overlap, so that all
  // of them together are no larger than the section.
  ResourceId Id(uint32_t field) {
    ResourceId id;
    if (!(field & kHighBit)) {
      if (field > 0xFFFF) throw FormatError("resource number out of range");
      id.id = static_cast<uint16_t>(field);
      return id;
    }
    const uint32_t at = field & ~kHighBit;
    const auto known = names_.find(at);
    if (known != names_.end()) {
      id.name = known->second.text;
      return id;
    }
    Need(at, 2);
    const uint16_t length = Get16(b_, base_ + at);
    if (length == 0) throw FormatError("empty resource name");
    Need(at + 2ull, 2ull * length);
    const uint64_t end = at + 2ull + 2ull * length;
    const auto next = names_.upper_bound(at);
    if ((next != names_.end() && next->first < end) || (next != names_.begin() && std::prev(next)->second.end > at))
      throw FormatError("resource names overlap");
    std::u16string text;
    for (uint16_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(Get16(b_, base_ + at + 2 + 2 * i)));
    id.name = std::make_shared<const std::u16string>(std::move(text));
    names_[at] = {end, id.name};
    return id;
  }

  void Data(uint32_t offset, Resource& path, std::vector<Resource>& out) {
    Claim(offset, 16);
    const uint32_t rva = Get32(b_, base_ + offset);
    const uint32_t size = Get32(b_, base_ + offset + 4);
    path.codePage = Get32(b_, base_ + offset + 8);
    copied_ += size;
    if (copied_ > b_.size()) throw FormatError("resource data overlaps");
    for (const auto& [va, rawSize, rawPointer] : sections_) {
      if (rva >= va && uint64_t{rva} + size <= uint64_t{va} + rawSize) {
        const size_t from = rawPointer + (rva - va);
        path.data.assign(b_.begin() + from, b_.begin() + from + size);
        out.push_back(path);
        return;
      }
    }
    throw FormatError("resource data outside the file's sections");
  }

  const std::vector<uint8_t>& b_;
  const std::vector<std::tuple<uint32_t, uint32_t, uint32_t>>& sections_;  // address, raw size, raw pointer
  size_t base_, size_;
  std::set<uint32_t> claimed_;
  struct Name {
    uint64_t end;
    std::shared_ptr<const std::u16string> text;
  };
  std::map<uint32_t, Name> names_;  // by offset in the section
  uint64_t copied_ = 0;
};

// The resource section for the given resources at section address rva: its directories, data
// entries and names (each distinct name once), and where each resource's bytes go after them.
struct TreeLayout {
  std::vector<uint8_t> tree;
  std::vector<std::pair<uint64_t, const Resource*>> data;  // offset in the section, in order
  uint64_t size = 0;                                       // of the whole section's contents
};

TreeLayout LayOutTree(const std::vector<Resource>& resources, uint32_t rva) {
  struct Name {
    ResourceId id;
    std::vector<const Resource*> languages;
  };
  struct Type {
    ResourceId id;
    std::vector<Name> names;
  };
  std::vector<const Resource*> sorted;
  for (const Resource& r : resources) sorted.push_back(&r);
  std::stable_sort(sorted.begin(), sorted.end(), [](const Resource* a, const Resource* b) {
    if (!IdEqual(a->type, b->type)) return IdLess(a->type, b->type);
    if (!IdEqual(a->name, b->name)) return IdLess(a->name, b->name);
    return a->language < b->language;
  });
  std::vector<Type> types;
  for (const Resource* r : sorted) {
    if (types.empty() || !IdEqual(types.back().id, r->type)) types.push_back({r->type, {}});
    auto& names = types.back().names;
    if (names.empty() || !IdEqual(names.back().id, r->name)) names.push_back({r->name, {}});
    auto& languages = names.back().languages;
    if (!languages.empty() && languages.back()->language == r->language) throw FormatError("duplicate resource");
    languages.push_back(r);
  }

  // Directories breadth first, then data entries, then names, then the data itself.
  size_t size = 16 + 8 * types.size();
  std::vector<size_t> typeDirs, nameDirs;
  for (const Type& t : types) {
    typeDirs.push_back(size);
    size += 16 + 8 * t.names.size();
  }
  for (const Type& t : types)
    for (const Name& n : t.names) {
      nameDirs.push_back(size);
      size += 16 + 8 * n.languages.size();
    }
  const size_t dataEntries = size;
  size += 16 * resources.size();
  std::vector<uint8_t> out(size);
  auto putDir = [&](size_t at, const std::vector<ResourceId>& ids) {
    const auto named = std::count_if(ids.begin(), ids.end(), [](const ResourceId& id) { return id.IsName(); });
    Put16(out, at + 12, static_cast<uint32_t>(named));
    Put16(out, at + 14, static_cast<uint32_t>(ids.size() - named));
  };
  std::map<std::u16string, size_t> written;  // names already in the section, by text
  auto putName = [&](size_t entry, const ResourceId& id) {
    if (!id.IsName()) {
      Put32(out, entry, id.id);
      return;
    }
    const std::u16string& text = id.Text();
    auto [known, fresh] = written.emplace(text, out.size());
    Put32(out, entry, Narrow(known->second) | kHighBit);
    if (!fresh) return;
    const size_t at = out.size();
    out.resize(at + 2 + 2 * text.size());
    Put16(out, at, static_cast<uint32_t>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) Put16(out, at + 2 + 2 * i, text[i]);
  };

  std::vector<ResourceId> ids;
  for (const Type& t : types) ids.push_back(t.id);
  putDir(0, ids);
  size_t nameIndex = 0, dataIndex = 0;
  std::vector<std::pair<size_t, const Resource*>> dataOf;  // data entry offset, resource
  for (size_t ti = 0; ti < types.size(); ++ti) {
    putName(16 + 8 * ti, types[ti].id);
    Put32(out, 16 + 8 * ti + 4, Narrow(typeDirs[ti]) | kHighBit);
    ids.clear();
    for (const Name& n : types[ti].names) ids.push_back(n.id);
    putDir(typeDirs[ti], ids);
    for (size_t ni = 0; ni < types[ti].names.size(); ++ni, ++nameIndex) {
      const Name& n = types[ti].names[ni];
      const size_t entry = typeDirs[ti] + 16 + 8 * ni;
      putName(entry, n.id);
      Put32(out, entry + 4, Narrow(nameDirs[nameIndex]) | kHighBit);
      Put16(out, nameDirs[nameIndex] + 14, static_cast<uint32_t>(n.languages.size()));
      for (size_t li = 0; li < n.languages.size(); ++li, ++dataIndex) {
        const size_t langEntry = nameDirs[nameIndex] + 16 + 8 * li;
        const size_t data = dataEntries + 16 * dataIndex;
        Put32(out, langEntry, n.languages[li]->language);
        Put32(out, langEntry + 4, Narrow(data));
        dataOf.emplace_back(data, n.languages[li]);
      }
    }
  }
  TreeLayout layout;
  uint64_t end = out.size();
  for (const auto& [entry, r] : dataOf) {
    const uint64_t at = AlignUp(end, 8);
    Put32(out, entry, Narrow(uint64_t{rva} + at));
    Put32(out, entry + 4, Narrow(r->Size()));
    Put32(out, entry + 8, r->codePage);
    layout.data.emplace_back(at, r);
    end = at + r->Size();
  }
  layout.tree = std::move(out);
  layout.size = end;
  return layout;
}

// Counts what passes to the sink, and sums it for the image checksum.
class CountingSink : public Sink {
 public:
  CountingSink(Sink& to, uint64_t checksumOffset) : to_(to), checksum_(checksumOffset) {}
  void Write(const uint8_t* bytes, size_t count) override {
    to_.Write(bytes, count);
    checksum_.Add(bytes, count);
    written_ += count;
  }
  void Patch(uint64_t offset, const uint8_t* bytes, size_t count) override { to_.Patch(offset, bytes, count); }
  void Zeros(uint64_t count) {
    static const uint8_t kZeros[4096] = {};
    for (; count > 0; count -= std::min<uint64_t>(count, sizeof kZeros))
      Write(kZeros, static_cast<size_t>(std::min<uint64_t>(count, sizeof kZeros)));
  }
  uint64_t Written() const { return written_; }
  uint32_t Checksum() const { return checksum_.Value(); }

 private:
  Sink& to_;
  ChecksumAccumulator checksum_;
  uint64_t written_ = 0;
};

class VectorSink : public Sink {
 public:
  explicit VectorSink(std::vector<uint8_t>& out) : out_(out) {}
  void Write(const uint8_t* bytes, size_t count) override { out_.insert(out_.end(), bytes, bytes + count); }
  void Patch(uint64_t offset, const uint8_t* bytes, size_t count) override {
    std::copy(bytes, bytes + count, out_.begin() + static_cast<std::ptrdiff_t>(offset));
  }

 private:
  std::vector<uint8_t>& out_;
};

}  // namespace

ResourceId ResourceId::Number(uint16_t id) {
  ResourceId r;
  r.id = id;
  return r;
}

ResourceId ResourceId::Name(const std::string& ascii) {
  std::u16string text;
  for (char c : ascii) text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return Name(std::move(text));
}

ResourceId ResourceId::Name(std::u16string text) {
  if (text.empty()) throw FormatError("empty resource name");
  ResourceId r;
  r.name = std::make_shared<const std::u16string>(std::move(text));
  return r;
}

const std::u16string& ResourceId::Text() const {
  static const std::u16string kNone;
  return name ? *name : kNone;
}

bool ResourceId::Matches(const ResourceId& other) const {
  if (IsName() != other.IsName()) return false;
  if (!IsName()) return id == other.id;
  auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  const std::u16string &a = *name, &b = *other.name;
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return upper(x) == upper(y); });
}

Headers ReadHeaders(const std::vector<uint8_t>& b) { return ReadHeaders(b, b.size()); }

Headers ReadHeaders(const std::vector<uint8_t>& b, uint64_t fileSize) {
  Headers h;
  if (b.size() < 64 || b[0] != 'M' || b[1] != 'Z') throw FormatError("not an executable (no MZ header)");
  const uint32_t peOffset = Get32(b, 0x3C);
  if (uint64_t{peOffset} + 24 > b.size() || std::memcmp(b.data() + peOffset, "PE\0\0", 4) != 0)
    throw FormatError("not a PE image (no PE signature)");
  h.machine = Get16(b, peOffset + 4);
  const uint16_t sectionCount = Get16(b, peOffset + 6);
  h.timeDateStamp = Get32(b, peOffset + 8);
  const uint16_t optionalSize = Get16(b, peOffset + 20);
  h.fileCharacteristics = Get16(b, peOffset + 22);
  h.optionalHeader = peOffset + 24;
  const uint16_t magic = Get16(b, h.optionalHeader);
  if (magic != 0x10B && magic != 0x20B) throw FormatError("not a PE32 or PE32+ image");
  h.pe32Plus = magic == 0x20B;
  const size_t directories = h.pe32Plus ? kDirectories64 : kDirectories32;
  const uint32_t directoryCount = Get32(b, h.optionalHeader + directories - 4);
  if (optionalSize < directories || directoryCount > 16 || directories + 8ull * directoryCount > optionalSize)
    throw FormatError("malformed optional header");
  h.imageBase = h.pe32Plus ? Get64(b, h.optionalHeader + kImageBase64) : Get32(b, h.optionalHeader + kImageBase32);
  h.dllCharacteristics = Get16(b, h.optionalHeader + kDllCharacteristics);
  h.sectionAlignment = Get32(b, h.optionalHeader + kSectionAlignment);
  h.fileAlignment = Get32(b, h.optionalHeader + kFileAlignment);
  for (uint32_t d = 0; d < directoryCount; ++d)
    h.directories.push_back({Get32(b, h.optionalHeader + directories + 8 * d), Get32(b, h.optionalHeader + directories + 8 * d + 4)});

  h.sectionTable = h.optionalHeader + optionalSize;
  if (sectionCount == 0 || h.sectionTable + kSectionHeaderSize * sectionCount > b.size())
    throw FormatError("section table missing or truncated");
  for (size_t i = 0; i < sectionCount; ++i) {
    const size_t at = h.sectionTable + kSectionHeaderSize * i;
    SectionHeader s;
    for (size_t k = 0; k < 8 && b[at + k] != 0; ++k) s.name += static_cast<char>(b[at + k]);
    s.virtualSize = Get32(b, at + 8);
    s.virtualAddress = Get32(b, at + 12);
    s.rawSize = Get32(b, at + 16);
    s.rawPointer = Get32(b, at + 20);
    s.characteristics = Get32(b, at + 36);
    if (s.rawSize && uint64_t{s.rawPointer} + s.rawSize > fileSize) throw FormatError("section data past the end of the file");
    h.sections.push_back(std::move(s));
  }
  return h;
}

uint64_t FileOffset(const Headers& headers, uint64_t rva) {
  for (const SectionHeader& s : headers.sections) {
    const uint64_t size = LoadedRawSize(s.virtualSize, s.rawSize);
    if (rva >= s.virtualAddress && rva < uint64_t{s.virtualAddress} + size) return s.rawPointer + (rva - s.virtualAddress);
  }
  throw FormatError("address outside every section");
}

// Descriptor tables end with an all-zero entry; the name is the one field read here.
std::vector<std::string> ImportedDlls(const std::vector<uint8_t>& file, const Headers& headers) {
  std::vector<std::string> names;
  const DataDirectory table = headers.Directory(kDirImport);
  if (table.rva == 0 || table.size == 0) return names;
  for (uint64_t at = FileOffset(headers, table.rva);; at += 20) {
    const uint32_t name = Get32(file, at + 12);
    if (name == 0) break;
    names.push_back(NameAt(file, FileOffset(headers, name)));
  }
  return names;
}

std::vector<std::string> DelayImportedDlls(const std::vector<uint8_t>& file, const Headers& headers) {
  std::vector<std::string> names;
  const DataDirectory table = headers.Directory(kDirDelayImport);
  if (table.rva == 0 || table.size == 0) return names;
  for (uint64_t at = FileOffset(headers, table.rva);; at += 32) {
    uint64_t name = Get32(file, at + 4);
    if (name == 0) break;
    // Old tables (attribute bit 0 clear) hold addresses rather than offsets into the image.
    if ((Get32(file, at) & 1) == 0) name -= headers.imageBase;
    names.push_back(NameAt(file, FileOffset(headers, name)));
  }
  return names;
}

Image Image::Parse(std::vector<uint8_t> bytes) {
  Image im;
  im.bytes_ = std::move(bytes);
  const std::vector<uint8_t>& b = im.bytes_;
  im.headers_ = ReadHeaders(b);
  const Headers& h = im.headers_;
  if (h.directories.size() <= kDirResource) throw FormatError("image carries no resources");
  if (!PowerOfTwo(h.sectionAlignment) || !PowerOfTwo(h.fileAlignment) || h.fileAlignment > h.sectionAlignment)
    throw FormatError("bad section or file alignment");

  std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> mapped;
  uint64_t nextAddress = 0;
  for (const SectionHeader& s : h.sections) {
    if (s.virtualAddress < nextAddress) throw FormatError("sections overlap or are out of order");
    nextAddress = s.virtualAddress + AlignUp(std::max(s.virtualSize, s.rawSize), h.sectionAlignment);
    if (s.rawSize) mapped.emplace_back(s.virtualAddress, LoadedRawSize(s.virtualSize, s.rawSize), s.rawPointer);
  }

  const uint32_t resourceRva = h.directories[kDirResource].rva;
  if (resourceRva == 0) throw FormatError("image carries no resources");
  auto it = std::find_if(h.sections.begin(), h.sections.end(),
                         [&](const SectionHeader& s) { return s.virtualAddress == resourceRva; });
  if (it == h.sections.end() || it->rawSize == 0) throw FormatError("resources are not a section of their own");
  im.resourceSection_ = static_cast<size_t>(it - h.sections.begin());
  TreeReader reader(b, mapped, it->rawPointer, LoadedRawSize(it->virtualSize, it->rawSize));
  Resource path;
  reader.Directory(0, 0, path, im.resources_);
  return im;
}

std::vector<Resource*> Image::Find(const ResourceId& type, const ResourceId& name) {
  std::vector<Resource*> found;
  for (Resource& r : resources_)
    if (r.type.Matches(type) && r.name.Matches(name)) found.push_back(&r);
  return found;
}

void Image::Write(Sink& sink) const {
  const std::vector<uint8_t>& b = bytes_;
  const size_t directories = headers_.optionalHeader + (headers_.pe32Plus ? kDirectories64 : kDirectories32);
  const uint32_t directoryCount = Get32(b, directories - 4);
  const uint32_t sectionAlignment = Get32(b, headers_.optionalHeader + kSectionAlignment);
  const uint32_t fileAlignment = Get32(b, headers_.optionalHeader + kFileAlignment);
  const SectionHeader& rs = headers_.sections[resourceSection_];
  auto directory = [&](uint32_t index) -> std::pair<uint32_t, uint32_t> {
    if (index >= directoryCount) return {0, 0};
    return {Get32(b, directories + 8 * index), Get32(b, directories + 8 * index + 4)};
  };

  // What follows the resource section must be free to move: discardable sections that no
  // data directory but the base relocations points into, laid out in the file in order.
  const auto [relocRva, relocSize] = directory(kDirBaseReloc);
  uint64_t rawEnd = uint64_t{rs.rawPointer} + rs.rawSize;
  for (size_t i = resourceSection_ + 1; i < headers_.sections.size(); ++i) {
    const SectionHeader& s = headers_.sections[i];
    if (!(s.characteristics & kScnDiscardable)) throw FormatError("a program section follows the resources");
    for (uint32_t d = 0; d < directoryCount; ++d) {
      const auto [rva, size] = directory(d);
      if (d != kDirBaseReloc && d != kDirSecurity && size && rva >= s.virtualAddress &&
          rva < uint64_t{s.virtualAddress} + std::max(s.virtualSize, s.rawSize))
        throw FormatError("a data directory points behind the resources");
    }
    if (s.rawSize == 0) continue;
    if (s.rawPointer < rawEnd) throw FormatError("sections behind the resources are out of file order");
    rawEnd = uint64_t{s.rawPointer} + s.rawSize;
  }
  for (size_t i = 0; i < resourceSection_; ++i)
    if (headers_.sections[i].rawSize && uint64_t{headers_.sections[i].rawPointer} + headers_.sections[i].rawSize > rs.rawPointer)
      throw FormatError("a section's data lies behind the resources");
  // The certificate table is the file's tail; anything else there (a symbol table) moves along.
  uint64_t tailEnd = b.size();
  const auto [certificate, certificateSize] = directory(kDirSecurity);
  if (certificateSize) {
    if (certificate < rawEnd || uint64_t{certificate} + certificateSize != b.size())
      throw FormatError("certificate table is not at the end of the file");
    tailEnd = certificate;
  }

  // The old section's padding up to the next file alignment goes with it (linkers may leave
  // the raw size itself unaligned).
  uint64_t oldEnd = std::min<uint64_t>(AlignUp(uint64_t{rs.rawPointer} + rs.rawSize, fileAlignment), tailEnd);
  for (size_t i = resourceSection_ + 1; i < headers_.sections.size(); ++i)
    if (headers_.sections[i].rawSize) oldEnd = std::min<uint64_t>(oldEnd, headers_.sections[i].rawPointer);
  const TreeLayout layout = LayOutTree(resources_, rs.virtualAddress);
  const uint64_t newRaw = AlignUp(layout.size, fileAlignment);
  const int64_t rawDelta = static_cast<int64_t>(rs.rawPointer + newRaw) - static_cast<int64_t>(oldEnd);
  const int64_t addressDelta = static_cast<int64_t>(AlignUp(layout.size, sectionAlignment)) -
                               static_cast<int64_t>(AlignUp(std::max(rs.virtualSize, rs.rawSize), sectionAlignment));

  // Everything before the resource section, with its headers made to fit what follows.
  std::vector<uint8_t> out(b.begin(), b.begin() + rs.rawPointer);
  const size_t header = headers_.sectionTable + kSectionHeaderSize * resourceSection_;
  Put32(out, header + 8, Narrow(layout.size));
  Put32(out, header + 16, Narrow(newRaw));
  uint64_t imageEnd = rs.virtualAddress + AlignUp(layout.size, sectionAlignment);
  for (size_t i = resourceSection_ + 1; i < headers_.sections.size(); ++i) {
    const SectionHeader& s = headers_.sections[i];
    const size_t h = headers_.sectionTable + kSectionHeaderSize * i;
    Put32(out, h + 12, Narrow(s.virtualAddress + addressDelta));
    if (s.rawSize) Put32(out, h + 20, Narrow(s.rawPointer + rawDelta));
    imageEnd = s.virtualAddress + addressDelta + AlignUp(std::max(s.virtualSize, s.rawSize), sectionAlignment);
  }
  Put32(out, headers_.optionalHeader + kSizeOfImage, Narrow(imageEnd));
  if (rs.characteristics & kScnInitializedData) {
    const size_t field = headers_.optionalHeader + kSizeOfInitializedData;
    Put32(out, field, Narrow(Get32(out, field) + rawDelta));
  }
  Put32(out, directories + 8 * kDirResource + 4, Narrow(layout.size));
  if (relocSize && relocRva > rs.virtualAddress) Put32(out, directories + 8 * kDirBaseReloc, Narrow(relocRva + addressDelta));
  if (certificateSize) {
    Put32(out, directories + 8 * kDirSecurity, 0);
    Put32(out, directories + 8 * kDirSecurity + 4, 0);
  }
  const size_t symbols = headers_.optionalHeader - 24 + 12;  // PointerToSymbolTable in the file header
  const uint32_t symbolTable = Get32(out, symbols);
  if (symbolTable >= oldEnd) Put32(out, symbols, Narrow(symbolTable + rawDelta));
  else if (symbolTable > rs.rawPointer) throw FormatError("symbol table inside the resources");

  const size_t checksumField = headers_.optionalHeader + kCheckSum;
  const bool checksummed = Get32(out, checksumField) != 0;
  const uint64_t fileSize = rs.rawPointer + newRaw + (tailEnd - oldEnd);

  CountingSink to(sink, checksumField);
  to.Write(out.data(), out.size());
  to.Write(layout.tree.data(), layout.tree.size());
  for (const auto& [at, r] : layout.data) {
    to.Zeros(rs.rawPointer + at - to.Written());
    const uint64_t before = to.Written();
    if (r->stream)
      r->stream(to);
    else
      to.Write(r->data.data(), r->data.size());
    if (to.Written() - before != r->Size()) throw FormatError("a streamed resource is not the size it was given");
  }
  to.Zeros(rs.rawPointer + newRaw - to.Written());
  to.Write(b.data() + oldEnd, static_cast<size_t>(tailEnd - oldEnd));
  if (to.Written() != fileSize) throw FormatError("image written short");
  if (checksummed) {
    uint8_t field[4];
    const uint32_t sum = static_cast<uint32_t>(to.Checksum() + fileSize);
    for (int i = 0; i < 4; ++i) field[i] = static_cast<uint8_t>(sum >> (8 * i));
    sink.Patch(checksumField, field, sizeof field);
  }
}

std::vector<uint8_t> Image::Build() const {
  std::vector<uint8_t> out;
  VectorSink sink(out);
  Write(sink);
  return out;
}

uint32_t Checksum(const std::vector<uint8_t>& file, size_t checksumOffset) {
  uint64_t sum = 0;
  for (size_t i = 0; i < file.size(); i += 2) {
    if (i == checksumOffset || i == checksumOffset + 2) continue;
    uint32_t word = file[i];
    if (i + 1 < file.size()) word |= uint32_t{file[i + 1]} << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + file.size());
}

void ChecksumAccumulator::Add(const uint8_t* bytes, size_t count) {
  // Bytes at even offsets are the low halves of the words, odd ones the high halves.
  uint64_t low = 0, high = 0;
  size_t i = 0;
  if ((position_ & 1) && count > 0) high += bytes[i++];
  for (; i + 1 < count; i += 2) {
    low += bytes[i];
    high += bytes[i + 1];
  }
  if (i < count) low += bytes[i];
  // The checksum field itself (two words, at an even offset: Checksum never skips otherwise).
  if ((skip_ & 1) == 0)
    for (uint64_t at = std::max(skip_, position_); at < std::min(skip_ + 4, position_ + count); ++at) {
      const uint64_t b = bytes[at - position_];
      ((at & 1) ? high : low) -= b;
    }
  sum_ += low + (high << 8);
  position_ += count;
}

uint32_t ChecksumAccumulator::Value() const {
  uint64_t sum = sum_;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum);
}

}  // namespace pe
