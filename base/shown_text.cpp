// Shown text: runs of own and system text, and the character rules of each run's code page.
#include "base/shown_text.h"

#include "base/sjis.h"

// Own text is Shift-JIS on every system; system text follows the system's code page.
MultibyteCodePage CodePageOf(CodePage page) {
  switch (page) {
    case CodePage::Own:
      return kOwnCodePage;
    case CodePage::Unicode:
      return kUtf8CodePage;
    case CodePage::System:
      break;
  }
  return SystemCodePage();
}

std::string ShownText::Bytes() const {
  std::string bytes;
  for (const TextRun& run : runs_) bytes += run.bytes;
  return bytes;
}

void ShownText::Append(CodePage page, std::string_view bytes) {
  if (bytes.empty()) return;
  if (!runs_.empty() && runs_.back().page == page) {
    runs_.back().bytes += bytes;
  } else {
    runs_.push_back(TextRun{page, std::string(bytes)});
  }
}

ShownText& ShownText::operator+=(const ShownText& more) {
  // A copy first: more may be this text itself.
  const std::vector<TextRun> runs = more.runs_;
  for (const TextRun& run : runs) Append(run.page, run.bytes);
  return *this;
}

bool operator==(const ShownText& a, const ShownText& b) {
  if (a.runs_.size() != b.runs_.size()) return false;
  for (size_t i = 0; i < a.runs_.size(); ++i) {
    if (a.runs_[i].page != b.runs_[i].page || a.runs_[i].bytes != b.runs_[i].bytes) return false;
  }
  return true;
}

ShownText TextIn(CodePage page, std::string_view bytes) {
  ShownText text;
  text.Append(page, bytes);
  return text;
}

std::string_view LastChar(const ShownText& text) {
  if (text.Empty()) return std::string_view();
  const TextRun& last = text.Runs().back();
  return sjis::LastChar(last.bytes, CodePageOf(last.page));
}

ShownText Truncate(const ShownText& text, size_t maxBytes) {
  ShownText cut;
  size_t left = maxBytes;
  for (const TextRun& run : text.Runs()) {
    std::string_view kept = sjis::Truncate(run.bytes, left, CodePageOf(run.page));
    cut += TextIn(run.page, kept);
    if (kept.size() < run.bytes.size()) break;
    left -= kept.size();
  }
  return cut;
}
