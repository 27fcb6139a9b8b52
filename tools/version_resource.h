// The version resource (VS_VERSIONINFO): reads its tree of nodes and sets the version that
// Explorer shows, in the fixed file information and in the FileVersion and ProductVersion texts.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace pe {

// A version of one to four dot-separated numbers from 0 to 65535, as "1.0.2".
struct Version {
  std::string text;
  std::array<uint16_t, 4> parts{};  // missing parts are 0

  // Throws std::invalid_argument for anything else.
  static Version Parse(const std::string& text);
};

// Returns the resource with the fixed file and product versions set to version.parts and every
// string table's FileVersion and ProductVersion set to version.text (added where missing).
// Throws pe::FormatError when the bytes are not a version resource.
std::vector<uint8_t> SetVersion(const std::vector<uint8_t>& resource, const Version& version);

}  // namespace pe
