// Access-key parsing shared by buttons and labels.
#include "ui/caption.h"

#include "base/sjis.h"

// Captions are the program's own text: Shift-JIS whatever the system's code page.
char AccessKeyOf(std::string_view caption) {
  for (size_t i = 0; i < caption.size(); i += sjis::CharLength(caption, i, sjis::IsCp932LeadByte)) {
    if (caption[i] != '&' || i + 1 == caption.size()) continue;
    ++i;  // "&&" is a plain "&": the loop steps over the second one
    if (caption[i] == '&') continue;
    return sjis::IsCp932LeadByte(static_cast<unsigned char>(caption[i])) ? 0 : sjis::UpperAsciiChar(caption[i]);
  }
  return 0;
}
