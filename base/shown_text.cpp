// Shown text: runs of own and system text, and the character rules of each run's code page.
#include "base/shown_text.h"

#include "base/sjis.h"

namespace {

// Own text is Shift-JIS on every system; system text follows the system's lead bytes, which the
// Win32 start-up installs in base/sjis.
sjis::LeadBytePredicate LeadBytesOf(CodePage page) {
  return page == CodePage::Own ? sjis::IsCp932LeadByte : sjis::IsLeadByte;
}

}  // namespace

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

ShownText OwnText(std::string_view shiftJis) {
  ShownText text;
  text.Append(CodePage::Own, shiftJis);
  return text;
}

ShownText SystemText(std::string_view bytes) {
  ShownText text;
  text.Append(CodePage::System, bytes);
  return text;
}

std::string_view LastChar(const ShownText& text) {
  if (text.Empty()) return std::string_view();
  const TextRun& last = text.Runs().back();
  return sjis::LastChar(last.bytes, LeadBytesOf(last.page));
}

ShownText Truncate(const ShownText& text, size_t maxBytes) {
  ShownText cut;
  size_t left = maxBytes;
  for (const TextRun& run : text.Runs()) {
    std::string_view kept = sjis::Truncate(run.bytes, left, LeadBytesOf(run.page));
    cut += run.page == CodePage::Own ? OwnText(kept) : SystemText(kept);
    if (kept.size() < run.bytes.size()) break;
    left -= kept.size();
  }
  return cut;
}

std::u16string ToUtf16(const ShownText& text, const TextDecoder& decoder) {
  std::u16string wide;
  for (const TextRun& run : text.Runs()) wide += decoder.Decode(run.page, run.bytes);
  return wide;
}
