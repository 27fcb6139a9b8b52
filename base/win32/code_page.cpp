// The ANSI code page of the running Windows, and the conversions between code pages and UTF-16.
#include "base/win32/code_page.h"

#include <windows.h>

unsigned PlatformCodePage() { return GetACP(); }

namespace win32 {
namespace {

bool Ascii(std::wstring_view text) {
  for (wchar_t c : text)
    if (c >= 0x80) return false;
  return true;
}

// Into page; usedDefault, where given, is set when a character had no counterpart. For a code page
// that refuses the flags they are not asked for: there the read-back decides.
std::string Bytes(MultibyteCodePage page, std::wstring_view text, BOOL* usedDefault) {
  if (text.empty()) return std::string();
  const bool flags = page.TakesBestFitFlags();
  const DWORD noBestFit = flags ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL* used = flags ? usedDefault : nullptr;
  const int size = static_cast<int>(text.size());
  int length = WideCharToMultiByte(page.Id(), noBestFit, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string bytes(static_cast<size_t>(length), '\0');
  length = WideCharToMultiByte(page.Id(), noBestFit, text.data(), size, bytes.data(), length, nullptr, used);
  bytes.resize(static_cast<size_t>(length > 0 ? length : 0));
  return bytes;
}

}  // namespace

std::wstring ToWide(MultibyteCodePage page, std::string_view bytes) {
  if (bytes.empty()) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  // Never more UTF-16 units than bytes.
  std::wstring wide(bytes.size(), L'\0');
  int length = MultiByteToWideChar(page.Id(), 0, bytes.data(), size, wide.data(), size);
  wide.resize(static_cast<size_t>(length > 0 ? length : 0));
  return wide;
}

std::string ToBytes(MultibyteCodePage page, std::wstring_view text) { return Bytes(page, text, nullptr); }

std::optional<std::string> ExactBytes(MultibyteCodePage page, std::wstring_view text) {
  // Every code page Windows gives programs keeps ASCII as it is.
  if (Ascii(text)) return std::string(text.begin(), text.end());
  BOOL usedDefault = FALSE;
  std::string bytes = Bytes(page, text, &usedDefault);
  if (bytes.empty() || usedDefault || ToWide(page, bytes) != text) return std::nullopt;
  return bytes;
}

}  // namespace win32
