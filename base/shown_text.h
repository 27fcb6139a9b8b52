// Text as the user is to see it, made of runs in two code pages: the program's own texts
// (Shift-JIS, code page 932, as every literal is compiled) and text that came from the system in
// the system's code page (folder and file names, volume labels, paths typed by the user, the
// platform's messages). The bytes stay as they are, so the file system and the registry get a
// path unchanged; only showing converts, each run from its own code page, so that "検索中 " and
// "D:\Jeux\Café" read right side by side on any system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class CodePage : unsigned char {
  Own,     // code page 932
  System,  // the system's code page for programs that are not Unicode
};

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
  friend ShownText OwnText(std::string_view shiftJis);
  friend ShownText SystemText(std::string_view bytes);
  void Append(CodePage page, std::string_view bytes);

  std::vector<TextRun> runs_;
};

ShownText OwnText(std::string_view shiftJis);
ShownText SystemText(std::string_view bytes);

// The last character of text as bytes (one, or two for a double-byte character), by the lead
// bytes of its run's code page; empty for an empty text.
std::string_view LastChar(const ShownText& text);

// The longest start of text of at most maxBytes bytes that splits no character of any run.
ShownText Truncate(const ShownText& text, size_t maxBytes);

// The conversion of one run to UTF-16 from its code page: the platform's, or a test's.
class TextDecoder {
 public:
  virtual ~TextDecoder() = default;
  virtual std::u16string Decode(CodePage page, std::string_view bytes) const = 0;
};

// The whole text in UTF-16, each run converted from its own code page.
std::u16string ToUtf16(const ShownText& text, const TextDecoder& decoder);
