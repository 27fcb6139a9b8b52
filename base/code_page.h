// Code pages as byte strings are cut into characters. Three matter: the program's own (932, as
// every literal is compiled, whatever the system), the system's multibyte code page (the ANSI code
// page of the running Windows, in which it names files, folders and registry values to programs
// that are not Unicode), and UTF-8. A double-byte code page (932, 936, 949, 950) has lead bytes
// that take the next byte with them; UTF-8 (65001, the system's code page where Windows is set to
// use UTF-8 for worldwide language support) has sequences of up to four bytes, which no lead-byte
// test can tell; the others have one byte a character.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

class MultibyteCodePage {
 public:
  constexpr explicit MultibyteCodePage(unsigned id) : id_(id) {}
  constexpr unsigned Id() const { return id_; }

  // Whether c begins a character of more than one byte.
  bool IsLeadByte(unsigned char c) const;
  // Length in bytes of the character at index i of s (i < s.size()): a lead byte with the byte
  // after it, or a whole UTF-8 sequence; 1 for any other byte, one of a broken sequence included.
  size_t CharLength(std::string_view s, size_t i) const;
  // Whether the platform's conversion into this code page takes the flag that forbids best-fit
  // stand-ins and reports a default character; UTF-8, UTF-7 and a few others refuse both, and the
  // call fails when they are given.
  bool TakesBestFitFlags() const;

  friend constexpr bool operator==(MultibyteCodePage a, MultibyteCodePage b) { return a.id_ == b.id_; }
  friend constexpr bool operator!=(MultibyteCodePage a, MultibyteCodePage b) { return a.id_ != b.id_; }

 private:
  unsigned id_;
};

constexpr MultibyteCodePage kOwnCodePage{932};
constexpr MultibyteCodePage kUtf8CodePage{65001};

// The system's multibyte code page: the platform's (GetACP on Windows, read by base itself, so
// that every program scans system text right without installing anything); native builds have
// none and take 932 unless a test picks another.
MultibyteCodePage SystemCodePage();
// Makes page the system's code page for the tests that need another; nullopt gives the
// platform's back.
void OverrideSystemCodePage(std::optional<MultibyteCodePage> page);
// The platform's ANSI code page (base/win32/code_page.cpp on Windows).
unsigned PlatformCodePage();
