// Texts handed to Windows and taken back from it. Shown texts go through the wide-character
// calls, each run converted from its own code page (the program's words from 932, the system's
// names from the system's, a name that code page cannot spell from UTF-8), so that they read
// right whatever the system's code page. Text the user typed comes back in the system's code page
// only where it can be had there exactly.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/shown_text.h"

namespace ui {

std::wstring Wide(const ShownText& text);
// The program's own words (and ASCII names such as window classes).
std::wstring WideOwn(std::string_view shiftJis);

// text in the system's code page, byte for byte what the file system and the registry would be
// given; nothing when a character has no exact counterpart there (no best-fit stand-in, which
// would name another file: "é" is no "e").
std::optional<std::string> SystemBytes(std::wstring_view text);

}  // namespace ui
