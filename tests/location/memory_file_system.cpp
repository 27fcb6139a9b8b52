// In-memory drives and folders behind the listing and drive-type interfaces.
#include "tests/location/memory_file_system.h"

#include "base/sjis.h"

struct MemoryFileSystem::Node {
  std::string name;
  uint32_t attr = faDirectory;
  bool denied = false;
  int breakAfter = -1;
  std::string linkTarget;
  std::vector<std::unique_ptr<Node>> children;  // in listing order

  Node* Child(const std::string& childName) {
    std::string upper = sjis::UpperAscii(childName);
    for (auto& c : children)
      if (sjis::UpperAscii(c->name) == upper) return c.get();
    return nullptr;
  }
};

namespace {

char DriveLetter(const std::string& path) {
  if (path.size() < 2 || path[1] != ':') return 0;
  char c = path[0];
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

MemoryFileSystem::MemoryFileSystem() = default;

MemoryFileSystem::~MemoryFileSystem() = default;

void MemoryFileSystem::AddDrive(char letter, uint32_t type) {
  driveTypes_[DriveLetter(std::string(1, letter) + ":")] = type;
  Find(std::string(1, letter) + ":", true);
}

void MemoryFileSystem::AddFolder(const std::string& path, uint32_t attr) { Add(path, attr | faDirectory); }

void MemoryFileSystem::AddFile(const std::string& path, uint32_t attr) { Add(path, attr & ~faDirectory); }

void MemoryFileSystem::AddLink(const std::string& path, const std::string& target) {
  Add(path, faDirectory)->linkTarget = target;
}

void MemoryFileSystem::DenyListing(const std::string& path) { Find(path, true)->denied = true; }

void MemoryFileSystem::BreakListingAfter(const std::string& path, int count) { Find(path, true)->breakAfter = count; }

uint32_t MemoryFileSystem::DriveType(const std::string& driveName) {
  if (driveName.size() != 2) return kDriveNoRootDir;
  auto it = driveTypes_.find(DriveLetter(driveName));
  return it == driveTypes_.end() ? kDriveNoRootDir : it->second;
}

ListingHandle MemoryFileSystem::FindFirst(const std::string& pattern, uint32_t attrMask, SearchRec& rec) {
  listed_.push_back(pattern);
  const std::string wildcard = "\\*.*";
  if (pattern.size() > kMaxPattern || pattern.size() < wildcard.size() ||
      pattern.compare(pattern.size() - wildcard.size(), wildcard.size(), wildcard) != 0)
    return kNoListing;
  std::string folderPath = pattern.substr(0, pattern.size() - wildcard.size());
  Node* folder = Find(folderPath, false);
  if (!folder || !(folder->attr & faDirectory) || folder->denied) return kNoListing;

  ListingState listing;
  listing.breakAfter = folder->breakAfter;
  bool isRoot = sjis::SplitPath(folderPath).size() == 1;
  if (!isRoot) {
    listing.entries.push_back({".", faDirectory});
    listing.entries.push_back({"..", faDirectory});
  }
  const Node* contents = folder;
  if (!folder->linkTarget.empty()) contents = Find(folder->linkTarget, false);
  if (contents)
    for (const auto& c : contents->children)
      if (!Excluded(c->attr, attrMask)) listing.entries.push_back({c->name, c->attr});

  if (listing.entries.empty() || listing.breakAfter == 0) return kNoListing;
  rec = listing.entries[0];
  listing.next = 1;
  ListingHandle handle = nextHandle_++;
  listings_[handle] = std::move(listing);
  return handle;
}

bool MemoryFileSystem::FindNext(ListingHandle handle, SearchRec& rec) {
  auto it = listings_.find(handle);
  if (it == listings_.end()) return false;
  ListingState& l = it->second;
  if (l.next >= l.entries.size()) return false;
  if (l.breakAfter >= 0 && static_cast<int>(l.next) >= l.breakAfter) return false;
  rec = l.entries[l.next++];
  return true;
}

void MemoryFileSystem::FindClose(ListingHandle handle) { listings_.erase(handle); }

std::string MemoryFileSystem::UpperCase(const std::string& name) { return sjis::UpperAscii(name); }

MemoryFileSystem::Node* MemoryFileSystem::Find(const std::string& path, bool create) {
  std::vector<std::string> parts = sjis::SplitPath(path);
  char letter = DriveLetter(path);
  if (parts.empty() || letter == 0 || parts[0].size() != 2) return nullptr;
  std::unique_ptr<Node>& root = roots_[letter];
  if (!root) {
    if (!create) {
      roots_.erase(letter);
      return nullptr;
    }
    root = std::make_unique<Node>();
    root->name = std::string(1, letter) + ":";
  }
  Node* node = root.get();
  for (size_t i = 1; i < parts.size(); ++i) {
    // Lookups go through links, as the platform follows a junction.
    if (!create && !node->linkTarget.empty()) {
      node = Find(node->linkTarget, false);
      if (!node) return nullptr;
    }
    Node* child = node->Child(parts[i]);
    if (!child) {
      if (!create) return nullptr;
      node->children.push_back(std::make_unique<Node>());
      child = node->children.back().get();
      child->name = parts[i];
    }
    node = child;
  }
  return node;
}

MemoryFileSystem::Node* MemoryFileSystem::Add(const std::string& path, uint32_t attr) {
  Node* node = Find(path, true);
  node->attr = attr;
  return node;
}
