// The text the error report shows for a failure's message.
#pragma once

#include <string>
#include <string_view>

#include "base/shown_text.h"

// The message with "." appended when its last character (one byte, or two for a double-byte
// character) compares greater than "." byte by byte; an empty message stays empty. The last
// character is found by the rules of the code page of the run it ends.
ShownText ErrorReportText(const ShownText& message);
// The same for a message held as one byte string.
std::string ErrorReportText(std::string_view message);
