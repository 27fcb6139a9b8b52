// Names of parameterised tests made from a text of the case, the same in every build (GoogleTest
// would print the case's bytes, pointers among them), so that ctest -R finds a test by its name:
// letters and digits as they are, each run of other bytes as its hexadecimal digits between
// underscores, one name for one text.
#pragma once

#include <string>
#include <string_view>

namespace testing_names {

inline std::string TextName(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string name;
  bool inRun = false;
  for (unsigned char c : text) {
    const bool plain = (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
    if (plain == inRun) name += '_', inRun = !plain;
    if (plain) name += static_cast<char>(c);
    else name += {kHex[c >> 4], kHex[c & 15]};
  }
  return name.empty() ? "Empty" : inRun ? name + "_" : name;
}

}  // namespace testing_names
