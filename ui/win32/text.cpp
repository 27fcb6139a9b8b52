// Shown text to UTF-16, run by run, and typed text back to the system's code page.
#include "ui/win32/text.h"

#include "base/win32/code_page.h"

namespace ui {

std::wstring Wide(const ShownText& text) {
  std::wstring wide;
  for (const TextRun& run : text.Runs()) wide += win32::ToWide(CodePageOf(run.page), run.bytes);
  return wide;
}

std::wstring WideOwn(std::string_view shiftJis) { return win32::ToWide(kOwnCodePage, shiftJis); }

std::optional<std::string> SystemBytes(std::wstring_view text) { return win32::ExactBytes(SystemCodePage(), text); }

}  // namespace ui
