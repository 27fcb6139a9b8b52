// Names of parameterised tests made from a text of the case, the same in every build, so that
// ctest -R finds a test by its name: letters and digits as they are, each run of other bytes as
// its hexadecimal digits between underscores, one name for one text.
#pragma once

#include <string>
#include <string_view>

namespace testing_names {

inline std::string TextName(std::string_view text) {
  std::string name;
  bool inRun = false;
  for (unsigned char c : text) {
    const bool plain = (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
    if (plain == inRun) name += '_', inRun = !plain;
    name += plain ? std::string(1, static_cast<char>(c)) : std::string{"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
  }
  return name.empty() ? "Empty" : inRun ? name + "_" : name;
}

}  // namespace testing_names
