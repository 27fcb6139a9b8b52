// What the security checks read from a Windows program file: its loader flags, sections and the
// DLLs it names, and the rules a shipped program must meet. Portable, so that the build machine
// checks the programs it has just cross-built.
//
// The headers are read by tools/pe_image (pe::ReadHeaders): every offset and length read from the
// file is checked against the file's size before use; a file that is not a well-formed image
// makes ReadImage throw std::runtime_error (pe::FormatError).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hardening {

struct Section {
  std::string name;
  uint32_t characteristics = 0;
};

struct Image {
  bool pe32plus = false;  // the 64-bit optional header
  uint16_t fileCharacteristics = 0;
  uint16_t dllCharacteristics = 0;
  uint32_t timeDateStamp = 0;
  uint32_t relocationsSize = 0;  // size of the base relocation directory
  uint64_t resourcesOffset = 0;  // where the resources lie in the file
  uint64_t resourcesSize = 0;
  std::vector<Section> sections;
  std::vector<std::string> imports;       // DLL names of the import table, as written
  std::vector<std::string> delayImports;  // ... and of the delay-import table
};

Image ReadImage(const std::vector<uint8_t>& file);

// True for a DLL that Windows always takes from the system folder, whatever lies beside the
// program: the loader's known DLLs on every Windows from 7 on, and ntdll. Case is ignored.
bool IsProtectedDll(const std::string& name);

// Each way in which the image falls short of a shipped program, one sentence each; empty when
// it meets them all. A shipped program is also reproducible: no link time in its header, so that
// two builds of one source are the same file.
std::vector<std::string> HardeningFaults(const Image& image);

// "holds the build path TEXT" for each of texts the file holds: folders of the build machine
// that would make two builds in different folders differ.
std::vector<std::string> BuildPathFaults(const std::vector<uint8_t>& file, const std::vector<std::string>& texts);

// The names ending in ".dll" that the file holds as text, one- or two-byte characters, in lower
// case: the DLLs a program loads at run time by name.
std::vector<std::string> DllNamesInText(const std::vector<uint8_t>& file);

// Every unprotected DLL the program names in its import and delay-import tables or as text
// outside its resources (which carry data, such as packed files, not names it loads), in lower
// case, sorted, each once: the names a DLL planted beside it could take.
std::vector<std::string> PlantableDlls(const Image& image, const std::vector<uint8_t>& file);

}  // namespace hardening
