// An in-memory set of drives and folders for tests and native builds. Each folder lists its
// entries in the order they were added (after "." and "..", except at a drive root); tests
// choose drive types, attributes, unreadable folders, listings that break off, and links.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "location/listing_api.h"

class MemoryFileSystem : public DriveTypeApi, public ListingApi {
 public:
  MemoryFileSystem();
  ~MemoryFileSystem() override;

  // Paths name a drive and entries: "C:\Games\Sub". Missing parent folders are added as plain
  // folders. Names are looked up without regard to ASCII case, as the platform does.
  void AddDrive(char letter, uint32_t type);
  void AddFolder(const std::string& path, uint32_t attr = faDirectory);
  void AddFile(const std::string& path, uint32_t attr = faArchive);
  // A folder entry whose listing is that of target (a junction); lets a walk loop.
  void AddLink(const std::string& path, const std::string& target);
  // Listing the folder fails, as for access denied.
  void DenyListing(const std::string& path);
  // The folder's listing reports an error after count entries have been given.
  void BreakListingAfter(const std::string& path, int count);

  // Every pattern a listing was opened for, in order, also those that failed.
  const std::vector<std::string>& Listed() const { return listed_; }
  size_t OpenListings() const { return listings_.size(); }
  // The longest pattern that can be listed; longer ones fail, as past the platform's path limit.
  static constexpr size_t kMaxPattern = 259;

  uint32_t DriveType(const std::string& driveName) override;
  ListingHandle FindFirst(const std::string& pattern, uint32_t attrMask, SearchRec& rec) override;
  bool FindNext(ListingHandle listing, SearchRec& rec) override;
  void FindClose(ListingHandle listing) override;
  std::string UpperCase(const std::string& name) override;

 private:
  struct Node;
  struct ListingState {
    std::vector<SearchRec> entries;
    size_t next = 0;
    int breakAfter = -1;
  };

  Node* Find(const std::string& path, bool create);
  Node* Add(const std::string& path, uint32_t attr);

  std::map<char, uint32_t> driveTypes_;
  std::map<char, std::unique_ptr<Node>> roots_;
  std::map<ListingHandle, ListingState> listings_;
  ListingHandle nextHandle_ = 0x100;
  std::vector<std::string> listed_;
};
