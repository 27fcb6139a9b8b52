// The application title: formed once from the running executable's file name.
#pragma once

#include <string>
#include <string_view>

// Only the first kTitlePathBytes bytes of the path count.
constexpr size_t kTitlePathBytes = 255;

// Of the path's first 255 bytes, the name after the last backslash, cut at its first ".", with every letter after the first
// character in lower case: "C:\app\SETUP.exe" gives "Setup", "a.b.exe" gives "a".
// A double-byte first character is kept whole so that its trail byte is never folded.
std::string ApplicationTitleFromPath(std::string_view exePath);
