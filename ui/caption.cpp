// Access-key parsing shared by buttons and labels.
#include "ui/caption.h"

#include "base/sjis.h"

char UpperAsciiChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

char AccessKeyOf(std::string_view caption) {
  size_t i = 0;
  while (i < caption.size()) {
    unsigned char c = static_cast<unsigned char>(caption[i]);
    if (sjis::IsLeadByte(c) && i + 1 < caption.size()) {
      i += 2;
      continue;
    }
    if (c == '&' && i + 1 < caption.size()) {
      if (caption[i + 1] == '&') {
        i += 2;
        continue;
      }
      unsigned char next = static_cast<unsigned char>(caption[i + 1]);
      if (sjis::IsLeadByte(next)) return 0;
      return UpperAsciiChar(static_cast<char>(next));
    }
    ++i;
  }
  return 0;
}
