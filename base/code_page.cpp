// Character boundaries of the code pages Windows uses for programs that are not Unicode.
#include "base/code_page.h"

namespace {

std::optional<MultibyteCodePage> g_override;

bool InRange(unsigned char c, unsigned char low, unsigned char high) { return c >= low && c <= high; }

// The bytes a well-formed UTF-8 sequence may have after its lead byte c (no overlong forms, no
// surrogates, nothing past U+10FFFF), and how many; 0 when c leads none.
size_t Utf8Tail(unsigned char c, unsigned char& low, unsigned char& high) {
  low = 0x80, high = 0xBF;
  if (InRange(c, 0xC2, 0xDF)) return 1;
  if (InRange(c, 0xE0, 0xEF)) {
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
    return 2;
  }
  if (InRange(c, 0xF0, 0xF4)) {
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
    return 3;
  }
  return 0;
}

}  // namespace

bool MultibyteCodePage::IsLeadByte(unsigned char c) const {
  switch (id_) {
    case 932:
      return InRange(c, 0x81, 0x9F) || InRange(c, 0xE0, 0xFC);
    case 936:
    case 949:
    case 950:
      return InRange(c, 0x81, 0xFE);
    case 65001:
      return InRange(c, 0xC2, 0xF4);
    default:
      return false;
  }
}

size_t MultibyteCodePage::CharLength(std::string_view s, size_t i) const {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (id_ != 65001) return IsLeadByte(c) && i + 1 < s.size() ? 2 : 1;
  unsigned char low, high;
  const size_t tail = Utf8Tail(c, low, high);
  if (tail == 0 || i + tail >= s.size()) return 1;
  // Only the first byte after the lead has a narrower range.
  for (size_t k = 1; k <= tail; ++k) {
    if (!InRange(static_cast<unsigned char>(s[i + k]), low, high)) return 1;
    low = 0x80, high = 0xBF;
  }
  return tail + 1;
}

bool MultibyteCodePage::TakesBestFitFlags() const {
  switch (id_) {
    case 42:
    case 50220: case 50221: case 50222: case 50225: case 50227: case 50229:
    case 54936:
    case 57002: case 57003: case 57004: case 57005: case 57006:
    case 57007: case 57008: case 57009: case 57010: case 57011:
    case 65000:
    case 65001:
      return false;
    default:
      return true;
  }
}

MultibyteCodePage SystemCodePage() {
  if (g_override) return *g_override;
  static const MultibyteCodePage platform(PlatformCodePage());
  return platform;
}

void OverrideSystemCodePage(std::optional<MultibyteCodePage> page) { g_override = page; }

#ifndef _WIN32
unsigned PlatformCodePage() { return kOwnCodePage.Id(); }
#endif
