// The text the error report shows for a failure's message.
#pragma once

#include <string>
#include <string_view>

// The message with "." appended when its last character (one byte, or two for a double-byte
// character) compares greater than "." byte by byte; an empty message stays empty.
std::string ErrorReportText(std::string_view message);
