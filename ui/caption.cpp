// Access-key parsing shared by buttons and labels.
#include "ui/caption.h"

#include "base/sjis.h"

char AccessKeyOf(std::string_view caption) {
  for (size_t i = 0; i < caption.size(); i += sjis::CharLength(caption, i)) {
    if (caption[i] != '&' || i + 1 == caption.size()) continue;
    ++i;  // "&&" is a plain "&": the loop steps over the second one
    if (caption[i] == '&') continue;
    return sjis::IsLeadByte(static_cast<unsigned char>(caption[i])) ? 0 : sjis::UpperAsciiChar(caption[i]);
  }
  return 0;
}
