// The platform's conversions between the two code pages of shown text and UTF-16.
#include "ui/win32/text.h"

#include <windows.h>

namespace ui {
namespace {

constexpr UINT kOwnCodePage = 932;

std::wstring Convert(UINT codePage, std::string_view bytes) {
  if (bytes.empty()) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), length);
  return wide;
}

class Win32Decoder : public TextDecoder {
 public:
  std::u16string Decode(CodePage page, std::string_view bytes) const override {
    std::wstring wide = Convert(page == CodePage::Own ? kOwnCodePage : CP_ACP, bytes);
    return std::u16string(wide.begin(), wide.end());
  }
};

}  // namespace

std::wstring Wide(const ShownText& text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");
  std::u16string wide = ToUtf16(text, Win32Decoder());
  return std::wstring(wide.begin(), wide.end());
}

std::wstring WideOwn(std::string_view shiftJis) { return Convert(kOwnCodePage, shiftJis); }

std::optional<std::string> SystemBytes(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr, 0, nullptr, &usedDefault);
  if (length <= 0 || usedDefault) return std::nullopt;
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, bytes.data(), length, nullptr, &usedDefault);
  // Read back as well: only bytes that stand for exactly this text will do.
  if (usedDefault || Convert(CP_ACP, bytes) != text) return std::nullopt;
  return bytes;
}

}  // namespace ui
