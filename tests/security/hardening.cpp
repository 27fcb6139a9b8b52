// Reading a Windows program file's headers, and the rules for a shipped program.
#include "tests/security/hardening.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace hardening {
namespace {

// Loader flags (DllCharacteristics) and section flags of the image format.
constexpr uint16_t kHighEntropyVa = 0x0020;
constexpr uint16_t kDynamicBase = 0x0040;
constexpr uint16_t kNxCompat = 0x0100;
constexpr uint16_t kTerminalServerAware = 0x8000;
constexpr uint16_t kRelocsStripped = 0x0001;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionWrite = 0x80000000;

constexpr size_t kImportDirectory = 1, kResourceDirectory = 2, kRelocationDirectory = 5, kDelayImportDirectory = 13;

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& file) : file_(file) {}

  uint32_t U8(uint64_t at) const { return file_[Check(at, 1)]; }
  uint32_t U16(uint64_t at) const { return U8(at) | U8(at + 1) << 8; }
  uint32_t U32(uint64_t at) const { return U16(at) | U16(at + 2) << 16; }
  uint64_t U64(uint64_t at) const { return U32(at) | uint64_t{U32(at + 4)} << 32; }

  // A zero-terminated name of at most 256 bytes.
  std::string Name(uint64_t at) const {
    std::string name;
    for (uint64_t i = at; name.size() <= 256; ++i) {
      char c = static_cast<char>(U8(i));
      if (c == 0) return name;
      name += c;
    }
    throw std::runtime_error("unterminated name");
  }

 private:
  size_t Check(uint64_t at, uint64_t length) const {
    if (at > file_.size() || length > file_.size() - at) throw std::runtime_error("truncated file");
    return static_cast<size_t>(at);
  }

  const std::vector<uint8_t>& file_;
};

struct SectionSpan {
  uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

// The file offset of an address in the loaded image.
uint64_t OffsetOf(const std::vector<SectionSpan>& spans, uint64_t rva) {
  for (const SectionSpan& s : spans) {
    // What lies beyond the raw data is zero-filled at load time and not in the file.
    uint64_t size = s.virtualSize != 0 ? std::min(s.virtualSize, s.rawSize) : s.rawSize;
    if (rva >= s.virtualAddress && rva < uint64_t{s.virtualAddress} + size)
      return s.rawOffset + (rva - s.virtualAddress);
  }
  throw std::runtime_error("address outside every section");
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool NameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.'; }

}  // namespace

Image ReadImage(const std::vector<uint8_t>& file) {
  Reader r(file);
  if (r.U16(0) != 0x5A4D) throw std::runtime_error("no MZ header");
  const uint64_t pe = r.U32(0x3C);
  if (r.U32(pe) != 0x00004550) throw std::runtime_error("no PE signature");
  Image image;
  const uint32_t sectionCount = r.U16(pe + 6);
  const uint32_t optionalSize = r.U16(pe + 20);
  image.fileCharacteristics = static_cast<uint16_t>(r.U16(pe + 22));
  const uint64_t optional = pe + 24;
  const uint32_t magic = r.U16(optional);
  if (magic != 0x10B && magic != 0x20B) throw std::runtime_error("unknown optional header");
  image.pe32plus = magic == 0x20B;
  image.dllCharacteristics = static_cast<uint16_t>(r.U16(optional + 70));
  const uint64_t imageBase = image.pe32plus ? r.U64(optional + 24) : r.U32(optional + 28);
  const uint64_t directories = optional + (image.pe32plus ? 112 : 96);
  const uint32_t directoryCount = r.U32(directories - 4);
  auto directory = [&](size_t index) -> std::pair<uint32_t, uint32_t> {
    if (index >= directoryCount) return {0, 0};
    return {r.U32(directories + index * 8), r.U32(directories + index * 8 + 4)};
  };
  image.relocationsSize = directory(kRelocationDirectory).second;

  std::vector<SectionSpan> spans;
  const uint64_t table = optional + optionalSize;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint64_t at = table + uint64_t{i} * 40;
    std::string name;
    for (int k = 0; k < 8 && r.U8(at + k) != 0; ++k) name += static_cast<char>(r.U8(at + k));
    image.sections.push_back({name, r.U32(at + 36)});
    spans.push_back({r.U32(at + 12), r.U32(at + 8), r.U32(at + 20), r.U32(at + 16)});
  }

  auto [resources, resourcesSize] = directory(kResourceDirectory);
  if (resources != 0 && resourcesSize != 0) {
    image.resourcesOffset = std::min<uint64_t>(OffsetOf(spans, resources), file.size());
    image.resourcesSize = std::min<uint64_t>(resourcesSize, file.size() - image.resourcesOffset);
  }

  // Descriptor tables end with an all-zero entry; the name is the one field read here.
  auto [imports, importsSize] = directory(kImportDirectory);
  if (imports != 0 && importsSize != 0) {
    for (uint64_t at = OffsetOf(spans, imports);; at += 20) {
      uint32_t name = r.U32(at + 12);
      if (name == 0) break;
      image.imports.push_back(r.Name(OffsetOf(spans, name)));
    }
  }
  auto [delayed, delayedSize] = directory(kDelayImportDirectory);
  if (delayed != 0 && delayedSize != 0) {
    for (uint64_t at = OffsetOf(spans, delayed);; at += 32) {
      uint64_t name = r.U32(at + 4);
      if (name == 0) break;
      // Old tables (attribute bit 0 clear) hold addresses rather than offsets into the image.
      if ((r.U32(at) & 1) == 0) name -= imageBase;
      image.delayImports.push_back(r.Name(OffsetOf(spans, name)));
    }
  }
  return image;
}

bool IsProtectedDll(const std::string& name) {
  // The known DLLs common to Windows 7 to 11; later additions (combase, gdiplus, shcore, ...)
  // would not protect the program on the older systems.
  static const char* const kProtected[] = {
      "advapi32.dll", "clbcatq.dll",  "comdlg32.dll", "difxapi.dll", "gdi32.dll",    "imagehlp.dll",
      "imm32.dll",    "kernel32.dll", "msctf.dll",    "msvcrt.dll",  "normaliz.dll", "nsi.dll",
      "ntdll.dll",    "ole32.dll",    "oleaut32.dll", "psapi.dll",   "rpcrt4.dll",   "sechost.dll",
      "setupapi.dll", "shell32.dll",  "shlwapi.dll",  "user32.dll",  "wldap32.dll",  "ws2_32.dll"};
  const std::string lower = Lower(name);
  return std::any_of(std::begin(kProtected), std::end(kProtected), [&](const char* p) { return lower == p; });
}

std::vector<std::string> HardeningFaults(const Image& image) {
  std::vector<std::string> faults;
  auto require = [&](bool ok, const std::string& fault) {
    if (!ok) faults.push_back(fault);
  };
  require(image.dllCharacteristics & kDynamicBase, "not DYNAMIC_BASE (no address randomisation)");
  require(image.relocationsSize != 0 && !(image.fileCharacteristics & kRelocsStripped),
          "no relocation table (the image cannot move)");
  require(image.dllCharacteristics & kNxCompat, "not NX_COMPAT (data may be executed)");
  require(image.dllCharacteristics & kTerminalServerAware, "not TERMINAL_SERVER_AWARE");
  if (image.pe32plus) require(image.dllCharacteristics & kHighEntropyVa, "not HIGH_ENTROPY_VA");
  for (const Section& s : image.sections) {
    require((s.characteristics & (kSectionWrite | kSectionExecute)) != (kSectionWrite | kSectionExecute),
            "section " + s.name + " is writable and executable");
  }
  for (const auto* table : {&image.imports, &image.delayImports}) {
    for (const std::string& dll : *table) {
      require(IsProtectedDll(dll), "imports " + dll + ", which is not a protected system DLL");
    }
  }
  return faults;
}

std::vector<std::string> DllNamesInText(const std::vector<uint8_t>& file) {
  // The file read as one-byte text, then as two-byte text at both alignments (high bytes zero);
  // bytes that cannot be part of a name become separators.
  std::vector<std::string> views(3);
  for (size_t i = 0; i < file.size(); ++i) views[0] += static_cast<char>(file[i] ? file[i] : ' ');
  for (size_t start = 0; start < 2; ++start) {
    for (size_t i = start; i + 1 < file.size(); i += 2) {
      views[1 + start] += file[i + 1] == 0 && file[i] != 0 ? static_cast<char>(file[i]) : ' ';
    }
  }
  std::vector<std::string> names;
  for (const std::string& view : views) {
    const std::string lower = Lower(view);
    for (size_t end = lower.find(".dll"); end != std::string::npos; end = lower.find(".dll", end + 1)) {
      const size_t after = end + 4;
      if (after < lower.size() && NameChar(lower[after])) continue;
      size_t begin = end;
      while (begin > 0 && NameChar(lower[begin - 1])) --begin;
      if (begin < end) names.push_back(lower.substr(begin, after - begin));
    }
  }
  return names;
}

std::vector<std::string> PlantableDlls(const Image& image, const std::vector<uint8_t>& file) {
  std::vector<uint8_t> outside = file;
  std::fill_n(outside.begin() + static_cast<std::ptrdiff_t>(image.resourcesOffset), image.resourcesSize, 0);
  std::vector<std::string> names = DllNamesInText(outside);
  for (const auto* table : {&image.imports, &image.delayImports}) {
    for (const std::string& dll : *table) names.push_back(Lower(dll));
  }
  names.erase(std::remove_if(names.begin(), names.end(), IsProtectedDll), names.end());
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

}  // namespace hardening
