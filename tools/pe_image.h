// Portable reader and writer of a Windows executable's resource section (PE32 and PE32+), and
// the reader of its headers and import tables that the security checks use.
//
// Safety promise: Parse (and each reader below) takes any bytes and either returns an image or
// throws pe::FormatError with a one-line reason; it never reads outside the buffer, and what it
// holds besides the file is bounded by the file's size: a directory or data entry reached twice,
// or names that overlap, are refused; a name pointed at by many entries is held once.
//
// Write lays out a new resource section in place of the old one, streaming resources too large
// to hold from where they lie (make-setup's packed files), each distinct name once. Every other
// section keeps
// its bytes; the sections after the resource section (only base relocations and discardable
// data such as debug information may follow it) move by whole alignment units, and the
// headers that point at them follow. A certificate table is dropped, since the signature it
// holds no longer matches, and a set checksum is computed again.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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
  // Set: the id is this string (never empty), shared by every entry that names it.
  std::shared_ptr<const std::u16string> name;

  static ResourceId Number(uint16_t id);
  static ResourceId Name(const std::string& ascii);
  static ResourceId Name(std::u16string text);
  bool IsName() const { return name != nullptr; }
  const std::u16string& Text() const;  // empty for a number
  // Names compare as the loader looks them up: ASCII letters without regard to case.
  bool Matches(const ResourceId& other) const;
};

// Where Image::Write puts the file: bytes in order, and patches of bytes already put.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void Write(const uint8_t* bytes, size_t count) = 0;
  virtual void Patch(uint64_t offset, const uint8_t* bytes, size_t count) = 0;
};

struct Resource {
  ResourceId type;
  ResourceId name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  std::vector<uint8_t> data;
  // A resource too large to hold: when set, Write calls it to put streamedSize bytes into the
  // sink (exactly that many, or a FormatError), and data is not used.
  std::function<void(Sink&)> stream;
  uint64_t streamedSize = 0;

  uint64_t Size() const { return stream ? streamedSize : data.size(); }
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
  uint32_t timeDateStamp = 0;  // of the file header: when the linker wrote it, or 0
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
// The same from the first bytes of a file of fileSize bytes, which hold at least the headers:
// whether a file is a Windows program, without reading all of it.
Headers ReadHeaders(const std::vector<uint8_t>& head, uint64_t fileSize);

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

  // The whole file with the resources as they are now, into sink.
  void Write(Sink& sink) const;
  // The same in memory.
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

// The same over a file given piece by piece, in order, split anywhere.
class ChecksumAccumulator {
 public:
  explicit ChecksumAccumulator(uint64_t checksumOffset) : skip_(checksumOffset) {}
  void Add(const uint8_t* bytes, size_t count);
  uint32_t Value() const;

 private:
  uint64_t skip_;
  uint64_t position_ = 0;
  uint64_t sum_ = 0;
};

}  // namespace pe
