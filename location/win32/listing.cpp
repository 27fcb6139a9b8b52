// The drive-type and listing interfaces over KERNEL32 and USER32.
#include <windows.h>

#include <memory>

#include "base/win32/handles.h"
#include "location/registry_api.h"
#include "location/win32/backends.h"

namespace {

// One open listing of the backend.
struct Find {
  win32::FindHandle handle;
  uint32_t mask = faAnyFile;
};

void Fill(const WIN32_FIND_DATAA& data, SearchRec& rec) {
  rec.Name = data.cFileName;
  rec.Attr = data.dwFileAttributes;
}

class FindFileListing : public ListingApi, public DriveTypeApi {
 public:
  uint32_t DriveType(const std::string& driveName) override { return GetDriveTypeA(driveName.c_str()); }

  ListingHandle FindFirst(const std::string& pattern, uint32_t attrMask, SearchRec& rec) override {
    // Allocated before the search opens, so that every later way out closes the handle.
    auto find = std::make_unique<Find>();
    find->mask = attrMask;
    WIN32_FIND_DATAA data;
    find->handle.Reset(FindFirstFileA(pattern.c_str(), &data));
    if (!find->handle) return kNoListing;
    while (Excluded(data.dwFileAttributes, attrMask))
      if (!FindNextFileA(find->handle.Get(), &data)) return kNoListing;
    Fill(data, rec);
    return reinterpret_cast<ListingHandle>(find.release());
  }

  bool FindNext(ListingHandle listing, SearchRec& rec) override {
    Find* find = reinterpret_cast<Find*>(listing);
    WIN32_FIND_DATAA data;
    do {
      if (!FindNextFileA(find->handle.Get(), &data)) return false;
    } while (Excluded(data.dwFileAttributes, find->mask));
    Fill(data, rec);
    return true;
  }

  void FindClose(ListingHandle listing) override { delete reinterpret_cast<Find*>(listing); }

  std::string UpperCase(const std::string& name) override {
    std::string upper = name;
    if (!upper.empty()) CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    return upper;
  }
};

FindFileListing& Shared() {
  static FindFileListing listing;
  return listing;
}

}  // namespace

DriveTypeApi& Win32DriveTypes() { return Shared(); }

ListingApi& Win32Listing() { return Shared(); }

void UseWin32LocationBackends() {
  SetRegistryBackend(&Win32Registry());
  SetSearchBackends(&Win32DriveTypes(), &Win32Listing());
}
