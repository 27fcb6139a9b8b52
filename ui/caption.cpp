// Access-key parsing shared by buttons and labels.
#include "ui/caption.h"

#include "base/sjis.h"

char AccessKeyOf(const ShownText& caption) {
  bool marked = false;  // the character before was a marking "&"
  for (const TextRun& run : caption.Runs()) {
    const MultibyteCodePage page = CodePageOf(run.page);
    const std::string_view s = run.bytes;
    for (size_t i = 0, length; i < s.size(); i += length) {
      length = page.CharLength(s, i);
      const unsigned char c = static_cast<unsigned char>(s[i]);
      const bool ampersand = length == 1 && c == '&';
      if (!marked) {
        marked = ampersand;
        continue;
      }
      marked = false;
      if (ampersand) continue;  // "&&" is a plain "&"
      return page.IsLeadByte(c) ? 0 : sjis::UpperAsciiChar(s[i]);
    }
  }
  return 0;
}
