// Portable reader and writer of a Windows executable's resource section (PE32 and PE32+).
//
// Safety promise: Parse takes any bytes and either returns an image or throws pe::FormatError
// with a one-line reason; it never reads outside the buffer, and the resources it copies out
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

class Image {
 public:
  // Reads headers, sections and the resource tree of an executable image.
  static Image Parse(std::vector<uint8_t> bytes);

  bool IsPe32Plus() const { return pe32Plus_; }
  // Every resource, in the order the section lists them (types, then names, then languages).
  std::vector<Resource>& Resources() { return resources_; }
  const std::vector<Resource>& Resources() const { return resources_; }
  // Resources whose type and name match, in any language.
  std::vector<Resource*> Find(const ResourceId& type, const ResourceId& name);

  // The whole file with the resources as they are now.
  std::vector<uint8_t> Build() const;

 private:
  struct Section {
    uint32_t virtualSize, virtualAddress, rawSize, rawPointer, characteristics;
  };

  std::vector<uint8_t> bytes_;
  bool pe32Plus_ = false;
  size_t optionalHeader_ = 0;  // file offset of the optional header
  size_t sectionTable_ = 0;    // file offset of the first section header
  std::vector<Section> sections_;
  size_t resourceSection_ = 0;  // index into sections_
  std::vector<Resource> resources_;
};

// The image checksum: 16-bit one's-complement-style sum of the file, skipping the checksum
// field at checksumOffset, plus the file's length.
uint32_t Checksum(const std::vector<uint8_t>& file, size_t checksumOffset);

}  // namespace pe
