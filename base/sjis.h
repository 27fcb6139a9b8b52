// Shift-JIS text helpers. Trail bytes of double-byte characters include 0x5C ("\") and ASCII
// letters, so every search for a backslash, a "last character" or a letter to fold must step
// over whole characters. The lead-byte test defaults to code page 932; the Win32 start-up
// replaces it with the system's own test for the active ANSI code page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sjis {

using LeadBytePredicate = bool (*)(unsigned char);

// Lead bytes of code page 932: 0x81-0x9F and 0xE0-0xFC.
bool IsCp932LeadByte(unsigned char c);

bool IsLeadByte(unsigned char c);
void SetLeadBytePredicate(LeadBytePredicate predicate);

// Length in bytes of the character that starts at index i of s: 2 for a lead byte followed by
// another byte, else 1. The second form takes the lead-byte test to use: the program's own texts
// are code page 932 whatever the system's.
inline size_t CharLength(std::string_view s, size_t i, LeadBytePredicate isLead) {
  return (isLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}
inline size_t CharLength(std::string_view s, size_t i) { return CharLength(s, i, IsLeadByte); }

// Calls f(index, length) for each character of s, in order; the second form by the lead bytes
// isLead says.
template <typename F>
void ForEachChar(std::string_view s, LeadBytePredicate isLead, F f) {
  for (size_t i = 0; i < s.size();) {
    size_t len = CharLength(s, i, isLead);
    f(i, len);
    i += len;
  }
}
template <typename F>
void ForEachChar(std::string_view s, F f) {
  ForEachChar(s, IsLeadByte, f);
}

// Byte index where the last character of s begins (one byte, or two for a double-byte
// character); std::string_view::npos for an empty s.
size_t LastCharStart(std::string_view s);

// The last character of s as a byte string (empty for an empty s).
std::string_view LastChar(std::string_view s);
std::string_view LastChar(std::string_view s, LeadBytePredicate isLead);

// Index of the last single-byte character of s that is one of delimiters, never a trail byte;
// npos when there is none.
size_t LastDelimiter(std::string_view delimiters, std::string_view s);

// The longest start of s of at most maxBytes bytes that does not split a double-byte character.
std::string_view Truncate(std::string_view s, size_t maxBytes);
std::string_view Truncate(std::string_view s, size_t maxBytes, LeadBytePredicate isLead);

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

// Fold the ASCII letters a-z to A-Z (or back), leaving double-byte characters whole.
std::string UpperAscii(std::string_view s);
std::string LowerAscii(std::string_view s);

}  // namespace sjis
