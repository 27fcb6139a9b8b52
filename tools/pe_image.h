// Portable reader and writer of a Windows executable's resource section (PE32 and PE32+), and
// the reader of its headers and import tables that the security checks use.
//
// Safety promise: Parse (and each reader below) takes any bytes and either returns an image or
// throws pe::FormatError with a one-line reason; it never reads outside the buffer, and the resources it copies out
// are bounded by the file's size (a directory or data entry reached twice is refused).
//
// Build lays out a new resource section in place of the old one. Every other section keeps
// its bytes; the sections after the resource section (only base relocations and discardable
// data such as debug information may follow it) move by whole alignment units, and the
// headers that point at them follow. A certificate table is dropped, since the signature it
// holds no longer matches, and a set checksum is computed again.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace pe {

struct FormatError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr uint16_t kRtIcon = 3;
constexpr uint16_t kRtRcdata = 10;
constexpr uint16_t kRtGroupIcon = 14;
constexpr uint16_t kRtVersion = 16;

// A resource type or name: a 16-bit number or a UTF-16 string.
struct ResourceId {
  uint16_t id = 0;
  std::u16string name;  // non-empty: the id is this string

  static ResourceId Number(uint16_t id);
  static ResourceId Name(const std::string& ascii);
  bool IsName() const { return !name.empty(); }
  // Names compare as the loader looks them up: ASCII letters without regard to case.
  bool Matches(const ResourceId& other) const;
};

struct Resource {
  ResourceId type;
  ResourceId name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  std::vector<uint8_t> data;
};

// The headers of an image, as ReadHeaders finds them.
struct SectionHeader {
  std::string name;  // up to eight bytes, as written
  uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawPointer = 0, characteristics = 0;
};

struct DataDirectory {
  uint32_t rva = 0, size = 0;
};

// Indices of the data directories read here.
constexpr uint32_t kDirImport = 1;
constexpr uint32_t kDirResource = 2;
constexpr uint32_t kDirSecurity = 4;
constexpr uint32_t kDirBaseReloc = 5;
constexpr uint32_t kDirDelayImport = 13;

struct Headers {
  uint16_t machine = 0;
  uint16_t fileCharacteristics = 0;
  bool pe32Plus = false;  // the 64-bit optional header
  uint16_t dllCharacteristics = 0;
  uint64_t imageBase = 0;
  uint32_t sectionAlignment = 0, fileAlignment = 0;
  size_t optionalHeader = 0;  // file offset of the optional header
  size_t sectionTable = 0;    // file offset of the first section header
  std::vector<DataDirectory> directories;  // as many as the optional header declares
  std::vector<SectionHeader> sections;

  // A data directory; zero when the header declares fewer.
  DataDirectory Directory(uint32_t index) const { return index < directories.size() ? directories[index] : DataDirectory{}; }
};

// Reads the file header, the optional header, its data directories and the section table. Every
// section's file bytes lie within the file; alignments and section order are not checked here.
Headers ReadHeaders(const std::vector<uint8_t>& file);

// The file offset of an address of the loaded image: FormatError when no section's file bytes
// hold it (what lies beyond a section's raw data is zero-filled at load time).
uint64_t FileOffset(const Headers& headers, uint64_t rva);

// The DLL names of the import table and of the delay-import table, as written; empty when the
// image has no such table.
std::vector<std::string> ImportedDlls(const std::vector<uint8_t>& file, const Headers& headers);
std::vector<std::string> DelayImportedDlls(const std::vector<uint8_t>& file, const Headers& headers);

class Image {
 public:
  // Reads headers, sections and the resource tree of an executable image.
  static Image Parse(std::vector<uint8_t> bytes);

  bool IsPe32Plus() const { return headers_.pe32Plus; }
  const Headers& Header() const { return headers_; }
  // Every resource, in the order the section lists them (types, then names, then languages).
  std::vector<Resource>& Resources() { return resources_; }
  const std::vector<Resource>& Resources() const { return resources_; }
  // Resources whose type and name match, in any language.
  std::vector<Resource*> Find(const ResourceId& type, const ResourceId& name);

  // The whole file with the resources as they are now.
  std::vector<uint8_t> Build() const;

 private:
  std::vector<uint8_t> bytes_;
  Headers headers_;
  size_t resourceSection_ = 0;  // index into headers_.sections
  std::vector<Resource> resources_;
};

// The image checksum: 16-bit one's-complement-style sum of the file, skipping the checksum
// field at checksumOffset, plus the file's length.
uint32_t Checksum(const std::vector<uint8_t>& file, size_t checksumOffset);

}  // namespace pe
