// The title rule, kept free of the platform so that it is tested natively.
#include "ui/app_title.h"

#include "base/sjis.h"

std::string ApplicationTitleFromPath(std::string_view exePath) {
  std::string_view name = exePath.substr(0, kTitlePathBytes);
  size_t slash = sjis::LastDelimiter("\\", name);
  if (slash != std::string_view::npos) name = name.substr(slash + 1);
  // "." is never a trail byte, so the first one found is a real dot.
  size_t dot = name.find('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  if (name.empty()) return std::string();
  size_t first = sjis::CharLength(name, 0);
  return std::string(name.substr(0, first)) + sjis::LowerAscii(name.substr(first));
}
