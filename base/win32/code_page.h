// The platform's conversions between a code page's bytes and UTF-16, for the Win32 sources that
// hand text to Windows or take names from it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/code_page.h"

namespace win32 {

std::wstring ToWide(MultibyteCodePage page, std::string_view bytes);

// text in page; a character the code page lacks becomes its default character.
std::string ToBytes(MultibyteCodePage page, std::wstring_view text);

// text in page, byte for byte what the file system and the registry would be given; nothing when
// a character has no exact counterpart there (no best-fit stand-in, which would name another
// file: "é" is no "e"). Only bytes that read back as text will do.
std::optional<std::string> ExactBytes(MultibyteCodePage page, std::wstring_view text);

}  // namespace win32
