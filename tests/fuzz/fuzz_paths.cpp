// Arbitrary Shift-JIS text into the character-aware helpers of base/sjis.h and the folder
// chooser's path rules. Beyond "no crash", each call is checked against what its callers rely
// on: results are prefixes cut at character boundaries, a trail byte 0x5C is never taken for a
// backslash, folding keeps double-byte characters whole, and folder creation walks upwards to
// an end and creates parents before children.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "base/sjis.h"
#include "dialogs/chooser_paths.h"

namespace {

[[noreturn]] void Fail(const char* what, std::string_view s) {
  std::fprintf(stderr, "%s, input of %zu bytes:", what, s.size());
  for (unsigned char c : s) std::fprintf(stderr, " %02X", c);
  std::fprintf(stderr, "\n");
  std::abort();
}

// Lead bytes of code page 932, the system's code page of native builds.
bool Cp932Lead(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Start indices of the characters of s, found independently of the code under test.
std::vector<size_t> CharStarts(std::string_view s) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < s.size();) {
    starts.push_back(i);
    i += (Cp932Lead(s[i]) && i + 1 < s.size()) ? 2 : 1;
  }
  return starts;
}

bool IsStart(const std::vector<size_t>& starts, size_t i) {
  for (size_t s : starts)
    if (s == i) return true;
  return false;
}

void CheckSjis(std::string_view s) {
  const std::vector<size_t> starts = CharStarts(s);
  const size_t last = sjis::LastCharStart(s);
  if (s.empty() != (last == std::string_view::npos)) Fail("LastCharStart of empty text", s);
  if (!s.empty() && last != starts.back()) Fail("LastCharStart is not the last character", s);
  if (sjis::LastChar(s) != (s.empty() ? std::string_view() : s.substr(starts.back())))
    Fail("LastChar", s);
  const bool endsWithBackslash = !s.empty() && starts.back() == s.size() - 1 && s.back() == '\\';
  if (sjis::EndsWithBackslash(s) != endsWithBackslash) Fail("EndsWithBackslash", s);

  size_t expectedAt = std::string_view::npos;
  for (size_t i : starts)
    if (s[i] == '\\' || s[i] == ':') expectedAt = i;
  if (sjis::LastDelimiter("\\:", s) != expectedAt) Fail("LastDelimiter", s);

  const std::string upper = sjis::UpperAscii(s);
  const std::string lower = sjis::LowerAscii(s);
  if (upper.size() != s.size() || lower.size() != s.size()) Fail("folding changed the length", s);
  for (size_t i = 0; i < s.size(); ++i) {
    const bool single = IsStart(starts, i) && !(Cp932Lead(s[i]) && i + 1 < s.size());
    const char c = s[i];
    const char u = single && c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    const char l = single && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    if (upper[i] != u || lower[i] != l) Fail("folding touched a double-byte character", s);
  }
  if (sjis::UpperAscii(lower) != upper) Fail("folding is not consistent", s);
}

// An in-memory file system that records what folder creation does.
class RecordingFolders : public chooser::FolderSystem {
 public:
  explicit RecordingFolders(std::set<std::string> existing, bool refuse) : existing_(std::move(existing)), refuse_(refuse) {}
  bool DirectoryExists(const std::string& path) override {
    if (++calls_ > 100000) Fail("folder creation does not end", path);
    return existing_.count(path) != 0;
  }
  bool MakeDirectory(const std::string& path) override {
    if (++calls_ > 100000) Fail("folder creation does not end", path);
    made_.push_back(path);
    if (refuse_) return false;
    existing_.insert(path);
    return true;
  }
  const std::vector<std::string>& Made() const { return made_; }

 private:
  std::set<std::string> existing_;
  bool refuse_;
  std::vector<std::string> made_;
  long calls_ = 0;
};

void CheckPaths(std::string_view s, unsigned control) {
  const std::string drive = chooser::DrivePart(s);
  if (drive.size() == 2 && drive[1] == ':' && s.substr(0, 2) != drive) Fail("DrivePart of a drive path", s);

  // Folder creation, with the text's own parents present or absent as the control byte says.
  std::set<std::string> existing;
  if (control & 1) {
    const size_t cut = sjis::LastDelimiter("\\:", s);
    existing.insert(std::string(cut == std::string_view::npos ? std::string_view() : s.substr(0, cut + 1)));
  }
  RecordingFolders fs(existing, (control & 2) != 0);
  std::string path(s);
  try {
    const bool done = chooser::CreateFolder(path, fs);
    if ((control & 2) && !fs.Made().empty() && done) Fail("CreateFolder reported a refused folder as made", s);
  } catch (const EDirCreateError&) {
  }
  std::string full(s);
  if (sjis::EndsWithBackslash(full)) full.pop_back();
  size_t previous = 0;
  for (const std::string& made : fs.Made()) {
    if (full.compare(0, made.size(), made) != 0) Fail("CreateFolder made a folder outside the path", s);
    if (made.size() <= previous) Fail("CreateFolder made a child before its parent", s);
    previous = made.size();
  }

  // The folder list for the text as a current folder, with the pieces of the text as subfolders.
  std::vector<SearchRec> subfolders;
  for (size_t i = 0; i < s.size(); i += 7) subfolders.push_back({std::string(s.substr(i, 7))});
  const std::vector<chooser::FolderLine> lines = chooser::FolderLines(s, subfolders);
  if (lines.empty() || lines.size() < subfolders.size() + 1) Fail("FolderLines lost lines", s);
  const std::string& current = lines[lines.size() - 1 - subfolders.size()].path;
  for (size_t i = lines.size() - subfolders.size(); i < lines.size(); ++i)
    if (lines[i].path.compare(0, current.size(), current) != 0) Fail("a subfolder line leaves the current folder", s);

  std::vector<SearchRec> listing;
  for (size_t i = 0; i < subfolders.size(); ++i)
    listing.push_back({subfolders[i].Name, static_cast<uint32_t>(s[i % s.size()])});
  const std::vector<SearchRec> visible = chooser::VisibleSubfolders(listing);
  for (size_t i = 1; i < visible.size(); ++i) {
    const std::string& x = visible[i - 1].Name;
    const std::string& y = visible[i].Name;
    const std::string a = sjis::UpperAscii(x), b = sjis::UpperAscii(y);
    if (b < a || (a == b && y < x)) Fail("folder names out of order", s);
  }
  for (const SearchRec& e : visible)
    if (e.Name == "." || e.Name == "..") Fail("dot folder listed", s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned control = data[0];
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  CheckSjis(text);
  CheckPaths(text, control);
  return 0;
}
