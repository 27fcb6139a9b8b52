// Text as the user is to see it, made of runs in their code pages: the program's own texts
// (Shift-JIS, code page 932, as every literal is compiled), text that came from the system in the
// system's code page (folder and file names, volume labels, paths typed by the user, the
// platform's messages), and names that code page cannot spell, in UTF-8. The bytes stay as they
// are, so the file system and the registry get a path unchanged; only showing converts, each run
// from its own code page (ui/win32/text.h), so that "検索中 " and "D:\Jeux\Café" read right side
// by side on any system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"

enum class CodePage : unsigned char {
  Own,      // code page 932
  System,   // the system's multibyte code page, for programs that are not Unicode
  Unicode,  // UTF-8: a name as it really is, which the system's code page cannot spell
};

// The code page a run of that kind is cut and converted by.
MultibyteCodePage CodePageOf(CodePage page);

struct TextRun {
  CodePage page;
  std::string bytes;
};

class ShownText {
 public:
  ShownText() = default;

  // Never an empty run; never two neighbours of the same code page.
  const std::vector<TextRun>& Runs() const { return runs_; }
  bool Empty() const { return runs_.empty(); }
  // The runs' bytes one after the other: the text as a byte string, as failures carry it.
  std::string Bytes() const;

  ShownText& operator+=(const ShownText& more);
  friend ShownText operator+(ShownText a, const ShownText& b) { return a += b; }
  friend bool operator==(const ShownText& a, const ShownText& b);
  friend bool operator!=(const ShownText& a, const ShownText& b) { return !(a == b); }

 private:
  friend ShownText TextIn(CodePage page, std::string_view bytes);
  void Append(CodePage page, std::string_view bytes);

  std::vector<TextRun> runs_;
};

// A text of one run in page; empty bytes make an empty text.
ShownText TextIn(CodePage page, std::string_view bytes);
inline ShownText OwnText(std::string_view shiftJis) { return TextIn(CodePage::Own, shiftJis); }
inline ShownText SystemText(std::string_view bytes) { return TextIn(CodePage::System, bytes); }
inline ShownText UnicodeText(std::string_view utf8) { return TextIn(CodePage::Unicode, utf8); }

// The last character of text as bytes, by the character boundaries of its run's code page; empty
// for an empty text.
std::string_view LastChar(const ShownText& text);

// The longest start of text of at most maxBytes bytes that splits no character of any run.
ShownText Truncate(const ShownText& text, size_t maxBytes);
