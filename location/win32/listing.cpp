// The drive-type and listing interfaces over KERNEL32 and USER32.
#include <windows.h>

#include <memory>
#include <optional>
#include <string_view>

#include "base/win32/code_page.h"
#include "base/win32/handles.h"
#include "location/registry_api.h"
#include "location/win32/backends.h"

namespace {

// One open listing of the backend.
struct Find {
  win32::FindHandle handle;
  uint32_t mask = faAnyFile;
};

// The entry as the listing gives it, unless mask passes it over. Names are read in UTF-16 and
// given in the system's code page only where it spells them exactly: the ANSI listing gives a
// best-fit stand-in instead ("Cafe" for "Café" under 932, "???" for "ゲーム" under 1252).
bool Take(const WIN32_FIND_DATAW& data, uint32_t mask, SearchRec& rec) {
  const std::wstring_view name = data.cFileName;
  uint32_t attr = data.dwFileAttributes & ~faUnspellable;
  std::optional<std::string> bytes = win32::ExactBytes(SystemCodePage(), name);
  if (!bytes) attr |= faUnspellable;
  if (Excluded(attr, mask)) return false;
  rec.Name = bytes ? std::move(*bytes) : win32::ToBytes(kUtf8CodePage, name);
  rec.Attr = attr;
  return true;
}

class FindFileListing : public ListingApi, public DriveTypeApi {
 public:
  uint32_t DriveType(const std::string& driveName) override { return GetDriveTypeA(driveName.c_str()); }

  ListingHandle FindFirst(const std::string& pattern, uint32_t attrMask, SearchRec& rec) override {
    // Allocated before the search opens, so that every later way out closes the handle.
    auto find = std::make_unique<Find>();
    find->mask = attrMask;
    WIN32_FIND_DATAW data;
    find->handle.Reset(FindFirstFileW(win32::ToWide(SystemCodePage(), pattern).c_str(), &data));
    if (!find->handle) return kNoListing;
    while (!Take(data, attrMask, rec))
      if (!FindNextFileW(find->handle.Get(), &data)) return kNoListing;
    return reinterpret_cast<ListingHandle>(find.release());
  }

  bool FindNext(ListingHandle listing, SearchRec& rec) override {
    Find* find = reinterpret_cast<Find*>(listing);
    WIN32_FIND_DATAW data;
    do {
      if (!FindNextFileW(find->handle.Get(), &data)) return false;
    } while (!Take(data, find->mask, rec));
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
