// The rules for a shipped program, over the headers that tools/pe_image reads.
#include "tests/security/hardening.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "base/sjis.h"
#include "tools/pe_image.h"

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

// Byte by byte: the text views of DllNamesInText are binary, not Shift-JIS.
std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), sjis::LowerAsciiChar);
  return text;
}

bool NameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.'; }

}  // namespace

Image ReadImage(const std::vector<uint8_t>& file) {
  const pe::Headers headers = pe::ReadHeaders(file);
  Image image;
  image.pe32plus = headers.pe32Plus;
  image.fileCharacteristics = headers.fileCharacteristics;
  image.dllCharacteristics = headers.dllCharacteristics;
  image.timeDateStamp = headers.timeDateStamp;
  image.relocationsSize = headers.Directory(pe::kDirBaseReloc).size;
  for (const pe::SectionHeader& s : headers.sections) image.sections.push_back({s.name, s.characteristics});
  const pe::DataDirectory resources = headers.Directory(pe::kDirResource);
  if (resources.rva != 0 && resources.size != 0) {
    image.resourcesOffset = std::min<uint64_t>(pe::FileOffset(headers, resources.rva), file.size());
    image.resourcesSize = std::min<uint64_t>(resources.size, file.size() - image.resourcesOffset);
  }
  image.imports = pe::ImportedDlls(file, headers);
  image.delayImports = pe::DelayImportedDlls(file, headers);
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
  require(image.timeDateStamp == 0, "time stamp set in the file header (two builds of one source differ by it)");
  return faults;
}

std::vector<std::string> BuildPathFaults(const std::vector<uint8_t>& file, const std::vector<std::string>& texts) {
  std::vector<std::string> faults;
  for (const std::string& text : texts)
    if (!text.empty() && std::search(file.begin(), file.end(), text.begin(), text.end()) != file.end())
      faults.push_back("holds the build path " + text);
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
