// The "." rule of the error report, kept portable.
#include "dialogs/error_text.h"

#include "base/sjis.h"

namespace {

// Byte-wise comparison of unsigned bytes, shorter first when one is a prefix of the other.
bool GreaterThan(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x > y;
  }
  return a.size() > b.size();
}

}  // namespace

ShownText ErrorReportText(const ShownText& message) {
  ShownText text = message;
  if (!message.Empty() && GreaterThan(LastChar(message), ".")) text += OwnText(".");
  return text;
}

std::string ErrorReportText(std::string_view message) {
  std::string text(message);
  if (!message.empty() && GreaterThan(sjis::LastChar(message), ".")) text += '.';
  return text;
}
