// Path and list rules of the folder chooser.
#include "dialogs/chooser_paths.h"

#include <algorithm>

#include "base/failure.h"
#include "base/sjis.h"

namespace chooser {
namespace {

// What the lists show: everything but hidden and system entries, names the system's code page
// cannot spell included.
constexpr uint32_t kShown = (faAnyFile | faUnspellable) & ~(faHidden | faSysFile);

std::string JoinFolder(const std::string& parent, const std::string& name) {
  return sjis::EndsWithBackslash(parent) ? parent + name : parent + "\\" + name;
}

bool NameLess(const std::string& a, const std::string& b) {
  std::string ua = sjis::UpperAscii(a);
  std::string ub = sjis::UpperAscii(b);
  if (ua != ub) return ua < ub;
  return a < b;
}

bool Unspellable(const SearchRec& e) { return (e.Attr & faUnspellable) != 0; }

ShownText ShownName(const SearchRec& e) { return Unspellable(e) ? UnicodeText(e.Name) : SystemText(e.Name); }


}  // namespace

std::string DrivePart(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':' && sjis::CharLength(path, 0) == 1) {
    return std::string(path.substr(0, 2));
  }
  // A UNC path: "\\server\share".
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    std::vector<std::string> parts = sjis::SplitPath(path.substr(2));
    if (parts.empty()) return std::string();
    std::string drive = "\\\\" + parts[0];
    if (parts.size() > 1) drive += "\\" + parts[1];
    return drive;
  }
  return std::string();
}

bool CreateFolder(std::string path, FolderSystem& fs) {
  // Walk up to the first folder that needs nothing done, then create downwards. Every step is a
  // prefix of the path, so only lengths are kept, and the separators are found in one pass: a
  // typed path may be tens of thousands of bytes deep, too deep for recursion or a rescan per
  // level.
  std::vector<size_t> separators = sjis::DelimiterPositions("\\:", path);
  size_t below = separators.size();  // separators[0, below) lie inside the current prefix
  std::vector<size_t> missing;
  size_t length = path.size();
  while (true) {
    if (length == 0) throw EDirCreateError();
    while (below > 0 && separators[below - 1] >= length) --below;
    // One trailing backslash is removed.
    if (below > 0 && separators[below - 1] == length - 1 && path[length - 1] == '\\') {
      --length;
      --below;
    }
    size_t parent = below > 0 ? separators[below - 1] + 1 : 0;
    if (length < 3 || parent == length || fs.DirectoryExists(path.substr(0, length))) break;
    missing.push_back(length);
    length = parent;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!fs.MakeDirectory(path.substr(0, *it))) return false;
  }
  return true;
}

std::string DriveEntryText(char letter, DriveKind kind, DriveSource& source) {
  std::string text{letter, ':'};
  auto bracketedLabel = [&] { return "[" + source.VolumeLabel(letter).value_or(std::string()) + "]"; };
  switch (kind) {
    case DriveKind::Removable:
      break;
    case DriveKind::Remote: {
      std::optional<std::string> remote = source.RemoteName(letter);
      text += " " + (remote ? *remote : bracketedLabel());
      break;
    }
    default:
      text += " " + bracketedLabel();
      break;
  }
  return sjis::LowerAscii(text);
}

std::vector<DriveEntry> ListDrives(DriveSource& source) {
  std::vector<DriveEntry> entries;
  uint32_t present = source.LogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((present & (1u << i)) == 0) continue;
    char letter = static_cast<char>('a' + i);
    DriveKind kind = source.KindOf(letter);
    switch (kind) {
      case DriveKind::Removable:
      case DriveKind::Fixed:
      case DriveKind::Remote:
      case DriveKind::CdRom:
      case DriveKind::RamDisk:
        entries.push_back({letter, kind, DriveEntryText(letter, kind, source)});
        break;
      default:
        break;
    }
  }
  return entries;
}

std::vector<FolderLine> FolderLines(std::string_view current, std::vector<SearchRec> subfolders) {
  std::string drive = DrivePart(current);
  std::string root = drive + "\\";
  std::vector<std::string> names = sjis::SplitPath(current.substr(drive.size()));

  std::vector<FolderLine> lines;
  lines.push_back({SystemText(root), root, names.empty() ? FolderIcon::Current : FolderIcon::Open, 0});
  std::string path = root;
  for (size_t i = 0; i < names.size(); ++i) {
    path = JoinFolder(path, names[i]);
    FolderIcon icon = i + 1 == names.size() ? FolderIcon::Current : FolderIcon::Open;
    lines.push_back({SystemText(names[i]), path, icon, static_cast<int>(i + 1)});
  }
  SortNames(subfolders);
  int level = static_cast<int>(names.size()) + 1;
  for (const SearchRec& sub : subfolders) {
    lines.push_back({ShownName(sub), Unspellable(sub) ? std::string() : JoinFolder(path, sub.Name),
                     FolderIcon::Closed, level});
  }
  return lines;
}

void SortNames(std::vector<SearchRec>& entries) {
  std::sort(entries.begin(), entries.end(),
            [](const SearchRec& a, const SearchRec& b) { return NameLess(a.Name, b.Name); });
}

std::vector<SearchRec> ListEntries(const std::string& folder) {
  std::string pattern = folder;
  if (!sjis::EndsWithBackslash(pattern)) pattern += "\\";
  pattern += "*.*";
  std::vector<SearchRec> entries;
  SearchRec rec;
  OpenListing listing(ListingBackend(), pattern, faAnyFile | faUnspellable, rec);
  if (!listing.IsOpen()) return entries;
  do {
    entries.push_back(rec);
  } while (listing.Next(rec));
  return entries;
}

std::vector<SearchRec> VisibleSubfolders(const std::vector<SearchRec>& listing) {
  std::vector<SearchRec> folders;
  for (const SearchRec& e : listing) {
    if ((e.Attr & faDirectory) == 0 || Excluded(e.Attr, kShown)) continue;
    if (e.Name == "." || e.Name == ".." || e.Name.empty()) continue;
    folders.push_back(e);
  }
  SortNames(folders);
  return folders;
}

std::vector<ShownText> VisibleFiles(const std::vector<SearchRec>& listing) {
  std::vector<SearchRec> files;
  for (const SearchRec& e : listing) {
    if (!Excluded(e.Attr, kShown & ~faDirectory)) files.push_back(e);
  }
  SortNames(files);
  std::vector<ShownText> names;
  for (const SearchRec& e : files) names.push_back(ShownName(e));
  return names;
}

}  // namespace chooser
