// Character-aware scanning of Shift-JIS and of text in the system's multibyte code page. Trail
// bytes of double-byte characters include 0x5C ("\") and ASCII letters, so every search for a
// backslash, a "last character" or a letter to fold must step over whole characters. The forms
// without a code page scan by the system's (base/code_page.h): paths, names and the platform's
// messages are in it. The program's own texts are code page 932 on every system: pass
// kOwnCodePage for them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"

namespace sjis {

// Length in bytes of the character that starts at index i of s, by page's character boundaries.
inline size_t CharLength(std::string_view s, size_t i, MultibyteCodePage page) { return page.CharLength(s, i); }
inline size_t CharLength(std::string_view s, size_t i) { return CharLength(s, i, SystemCodePage()); }

// Calls f(index, length) for each character of s, in order.
template <typename F>
void ForEachChar(std::string_view s, MultibyteCodePage page, F f) {
  for (size_t i = 0; i < s.size();) {
    size_t len = page.CharLength(s, i);
    f(i, len);
    i += len;
  }
}
template <typename F>
void ForEachChar(std::string_view s, F f) {
  ForEachChar(s, SystemCodePage(), f);
}

// Byte index where the last character of s begins; std::string_view::npos for an empty s.
size_t LastCharStart(std::string_view s);

// The last character of s as a byte string (empty for an empty s).
std::string_view LastChar(std::string_view s);
std::string_view LastChar(std::string_view s, MultibyteCodePage page);

// Index of the last single-byte character of s that is one of delimiters, never a trail byte;
// npos when there is none.
size_t LastDelimiter(std::string_view delimiters, std::string_view s);

// The longest start of s of at most maxBytes bytes that does not split a character.
std::string_view Truncate(std::string_view s, size_t maxBytes);
std::string_view Truncate(std::string_view s, size_t maxBytes, MultibyteCodePage page);

// The parts of a backslash-separated path, split at single-byte backslashes only (trail bytes
// 0x5C stay inside their names); empty parts are dropped, so "C:\\Games" gives C: and Games.
std::vector<std::string> SplitPath(std::string_view path);

// True when the last character of s is a single-byte backslash.
bool EndsWithBackslash(std::string_view s);

// Indices of the single-byte characters of s that are one of delimiters, in order; never a
// trail byte.
std::vector<size_t> DelimiterPositions(std::string_view delimiters, std::string_view s);

// Fold one ASCII letter; every other byte is returned unchanged.
char UpperAsciiChar(char c);
char LowerAsciiChar(char c);

// Fold the ASCII letters a-z to A-Z (or back), leaving characters of more than one byte whole.
std::string UpperAscii(std::string_view s);
std::string LowerAscii(std::string_view s);

}  // namespace sjis
