// The Win32 side of the update: resources read in place from the running module; the file
// operations of the install sequence, by handle in a folder held for the run (no link followed,
// flushed writes, moves and deletions through the handles); and the journal's witness in the
// registry.
#include "payload/win32/extract.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <utility>

#include "base/failure.h"
#include "base/sha256.h"
#include "base/sjis.h"
#include "base/stream.h"
#include "base/win32/code_page.h"
#include "base/win32/handles.h"
#include "payload/sums.h"

namespace {

// One RT_RCDATA resource of the running module, read in place.
class TResourceStream : public TSpanStream {
 public:
  explicit TResourceStream(const std::string& name) {
    HRSRC found = FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (found) loaded_ = LoadResource(nullptr, found);
    if (!loaded_) throw EResNotFound(name);
    const auto* data = static_cast<const uint8_t*>(LockResource(loaded_));
    View(data, data ? SizeofResource(nullptr, found) : 0);
  }
  ~TResourceStream() override { FreeResource(loaded_); }
  TResourceStream(const TResourceStream&) = delete;
  TResourceStream& operator=(const TResourceStream&) = delete;

  std::vector<uint8_t> All() const { return std::vector<uint8_t>(Data(), Data() + Size()); }

 private:
  HGLOBAL loaded_ = nullptr;
};

class TModulePayloads : public TPayloadSource {
 public:
  std::unique_ptr<TStream> Open(const std::string& name) override { return std::make_unique<TResourceStream>(name); }
  std::vector<uint8_t> Sums() override { return TResourceStream(sums::kResourceName).All(); }
};

// Text in the system's code page, as the registry and the ANSI calls hold it, to UTF-16 and back.
std::wstring Wide(const std::string& text) { return win32::ToWide(SystemCodePage(), text); }
std::string Narrow(const std::wstring& text) { return win32::ToBytes(SystemCodePage(), text); }

// A full path as CreateFileW takes it at any length: "\\?\" before a drive path or a share.
std::wstring LongForm(const std::wstring& full) {
  if (full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0) return full;
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::wstring FinalPath(HANDLE h) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(h, &path[0], static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (n == 0) return std::wstring();
    if (n < path.size()) return path.substr(0, n);
    path.resize(n + 1);
  }
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

bool Rewind(HANDLE h) {
  LARGE_INTEGER zero{};
  return SetFilePointerEx(h, zero, nullptr, FILE_BEGIN) != 0;
}

// The update's files in one folder, opened once. Every later name is a bare name in the folder
// as its final path names it: a link anywhere on the way was followed once, at OpenFolder, and
// the folder is held without delete sharing, so that it cannot be renamed or replaced meanwhile.
// A name is opened with FILE_FLAG_OPEN_REPARSE_POINT, and believed only where the file it opened
// is no reparse point and lies, by its own final path, in the folder: Windows shows a link by
// the attribute, Wine (whose links are the host's, never reparse points) by the final path.
class TWin32Files : public TFileOps {
 public:
  bool OpenFolder(const std::string& folder) override {
    if (folder_ && folder == opened_) return true;
    folder_.Reset();
    final_.clear();
    opened_ = folder;
    const std::wstring wide = Wide(folder);
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = wide.empty() ? 0 : GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (n >= full.size()) {
      full.resize(n);
      n = GetFullPathNameW(wide.c_str(), n, &full[0], nullptr);
    }
    full.resize(n);
    if (n == 0) {
      prefix_ = folder;
      return false;
    }
    prefix_ = Narrow(full);
    if (full.back() != L'\\') prefix_ += "\\";
    // Write access where it is given, so that the folder's entries can be flushed; read access
    // still lets a recovery judge a folder it cannot change.
    for (DWORD access : {FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE | SYNCHRONIZE,
                         FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE}) {
      folder_.Reset(CreateFileW(LongForm(full).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (folder_ || GetLastError() != ERROR_ACCESS_DENIED) break;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder_ || !GetFileInformationByHandle(folder_.Get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (final_ = FinalPath(folder_.Get())).empty()) {
      folder_.Reset();
      final_.clear();
      return false;
    }
    if (final_.back() == L'\\') final_.pop_back();  // a drive's root
    return true;
  }

  std::string Prefix() override { return prefix_; }
  // In UTF-8: exact for every name, so that no two folders share it by a best fit.
  std::string FinalFolder() override { return win32::ToBytes(kUtf8CodePage, final_); }

  std::vector<std::string> List() override {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    win32::FindHandle find(FindFirstFileW((final_ + L"\\*").c_str(), &entry));
    if (!find) return names;
    do {
      const std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") names.push_back(Narrow(name));
    } while (FindNextFileW(find.Get(), &entry));
    return names;
  }

  TKind Open(const std::string& name, Handle* file) override {
    *file = kNoHandle;
    const std::wstring path = In(name);
    win32::FileHandle h(CreateFileW(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return TKind::Absent;
      // Only to say what is there: nothing is done by this name.
      const DWORD attributes = GetFileAttributesW(path.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return TKind::Foreign;
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return TKind::Folder;
      return TKind::Busy;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h.Get(), &info)) return TKind::Busy;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return TKind::Foreign;
    if (!SameText(FinalPath(h.Get()), path)) return TKind::Foreign;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return TKind::Folder;
    // A privileged process may hold a read-only file, but replacing or deleting it fails.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return TKind::Busy;
    *file = Keep(std::move(h), name);
    return TKind::File;
  }

  Handle Create(const std::string& name) override {
    const std::wstring path = In(name);
    win32::FileHandle h(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return kNoHandle;
    if (!SameText(FinalPath(h.Get()), path)) {
      // Made somewhere else than the folder (its path was changed under it): not ours to keep.
      Dispose(h.Get());
      return kNoHandle;
    }
    FlushFolder();
    return Keep(std::move(h), name);
  }

  size_t Write(Handle file, const void* data, size_t count) override {
    DWORD written = 0;
    if (!WriteFile(Get(file), data, static_cast<DWORD>(count), &written, nullptr)) return 0;
    return written;
  }

  bool Flush(Handle file) override { return FlushFileBuffers(Get(file)) != 0; }

  void Close(Handle file) override { held_[file].File.Reset(); }

  bool Size(Handle file, uint64_t* size) override {
    LARGE_INTEGER n;
    if (!GetFileSizeEx(Get(file), &n)) return false;
    *size = static_cast<uint64_t>(n.QuadPart);
    return true;
  }

  bool Read(Handle file, size_t limit, std::string* content) override {
    uint64_t size = 0;
    if (!Size(file, &size) || size > limit || !Rewind(Get(file))) return false;
    content->assign(static_cast<size_t>(size), '\0');
    DWORD got = 0;
    return size == 0 ||
           (ReadFile(Get(file), &(*content)[0], static_cast<DWORD>(size), &got, nullptr) && got == size);
  }

  bool Hash(Handle file, TSha256::Digest* digest) override {
    if (!Rewind(Get(file))) return false;
    std::vector<uint8_t> buffer(1 << 20);
    TSha256 hash;
    DWORD got = 0;
    while (ReadFile(Get(file), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      if (got == 0) {
        *digest = hash.Final();
        return true;
      }
      hash.Update(buffer.data(), got);
    }
    return false;
  }

  int Names(Handle file) override {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(Get(file), &info) ? static_cast<int>(info.nNumberOfLinks) : 0;
  }

  std::string Identity(Handle file) override {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(Get(file), &info)) return "?" + std::to_string(file);  // never equal
    return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
           std::to_string(info.nFileIndexLow);
  }

  bool CopyTo(Handle from, Handle to) override {
    if (!Rewind(Get(from))) return false;
    std::vector<uint8_t> buffer(1 << 20);
    DWORD got = 0, written = 0;
    while (ReadFile(Get(from), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      if (got == 0) return FlushFileBuffers(Get(to)) != 0;
      if (!WriteFile(Get(to), buffer.data(), got, &written, nullptr) || written != got) return false;
    }
    return false;
  }

  // The new name replaces what is there; the folder's entries and the file's are flushed, as
  // MOVEFILE_WRITE_THROUGH would have them.
  bool Rename(Handle file, const std::string& name) override {
    const std::wstring to = In(name);
    std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, to.data(), to.size() * sizeof(wchar_t));
    if (!SetFileInformationByHandle(Get(file), FileRenameInfo, info, static_cast<DWORD>(buffer.size()))) return false;
    held_[file].Name = name;
    FlushFileBuffers(Get(file));
    FlushFolder();
    return true;
  }

  // The hard link is made by name while the file is held without delete sharing: the name
  // cannot lead anywhere else meanwhile.
  bool Link(Handle file, const std::string& name) override {
    if (!CreateHardLinkW(In(name).c_str(), In(held_[file].Name).c_str(), nullptr)) return false;
    FlushFolder();
    return true;
  }

  bool Delete(Handle file) override {
    win32::FileHandle h = std::move(held_[file].File);
    const bool marked = Dispose(h.Get());
    h.Reset();
    FlushFolder();
    return marked;
  }

 private:
  struct THeld {
    win32::FileHandle File;
    std::string Name;
  };

  std::wstring In(const std::string& name) const { return final_ + L"\\" + Wide(name); }
  HANDLE Get(Handle file) { return held_[file].File.Get(); }
  Handle Keep(win32::FileHandle h, const std::string& name) {
    held_.push_back({std::move(h), name});
    return static_cast<Handle>(held_.size() - 1);
  }
  // Marks the file to go when its handle closes.
  static bool Dispose(HANDLE h) {
    FILE_DISPOSITION_INFO info{TRUE};
    return SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info) != 0;
  }
  // Where the folder could be opened for writing, its entries reach the disk (NTFS).
  void FlushFolder() { FlushFileBuffers(folder_.Get()); }

  win32::FileHandle folder_;
  std::string opened_, prefix_;
  std::wstring final_;
  std::vector<THeld> held_;
};

// The witness of the journal: where the program runs elevated, under its key in HKLM, which the
// game folder's other users (any program of the player's) cannot write; where it does not, in
// HKCU, since a program of the player's could then do whatever the updater could. Flushed as it
// is written, so that it is on disk before the journal it vouches for.
class TRegistryWitness : public TJournalWitness {
 public:
  std::vector<std::string> Load() override {
    std::vector<std::string> digests;
    HKEY key = nullptr;
    if (RegOpenKeyExA(Root(), kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return digests;
    win32::RegistryKey owned(key);
    char text[1024];
    DWORD type = 0, size = sizeof text - 1;
    if (RegQueryValueExA(key, kValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
      return digests;
    text[size] = '\0';
    std::string all(text);
    for (size_t at = 0; at + 64 <= all.size(); at += 65) digests.push_back(all.substr(at, 64));
    return digests;
  }

  bool Store(const std::vector<std::string>& digests) override {
    HKEY key = nullptr;
    if (RegCreateKeyExA(Root(), kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
      return false;
    win32::RegistryKey owned(key);
    std::string all;
    for (const std::string& d : digests) all += (all.empty() ? "" : " ") + d;
    const LONG set = digests.empty() ? RegDeleteValueA(key, kValue)
                                     : RegSetValueExA(key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(all.c_str()),
                                                      static_cast<DWORD>(all.size() + 1));
    return (set == ERROR_SUCCESS || (digests.empty() && set == ERROR_FILE_NOT_FOUND)) &&
           RegFlushKey(key) == ERROR_SUCCESS;
  }

 private:
  static constexpr const char* kKey = "Software\\KORVA\\VELDRAN";
  static constexpr const char* kValue = "UpdateJournal";

  static HKEY Root() {
    static const HKEY root = [] {
      HANDLE token = nullptr;
      TOKEN_ELEVATION elevation{};
      DWORD size = 0;
      const bool elevated = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                            GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                            elevation.TokenIsElevated;
      if (token) CloseHandle(token);
      return elevated ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    }();
    return root;
  }
};

// The game folder of this run: fixed by the first call that names one, and held to the end.
TWin32Files& GameFiles() {
  static TWin32Files files;
  return files;
}

}  // namespace

void InstallPayloads(const std::string& folder, const std::vector<PayloadTarget>& payloads) {
  TModulePayloads source;
  TRegistryWitness witness;
  InstallPayloads(GameFiles(), source, witness, folder, payloads);
}

void ExtractResource(const std::string& resourceName, const std::string& targetPath) {
  const size_t cut = sjis::LastDelimiter("\\:", targetPath);
  const size_t nameAt = cut == std::string::npos ? 0 : cut + 1;
  TWin32Files files;
  TModulePayloads source;
  TRegistryWitness witness;
  InstallPayloads(files, source, witness, targetPath.substr(0, nameAt), {{resourceName, targetPath.substr(nameAt)}});
}

void RecoverInterruptedUpdate(const std::string& folder, const std::vector<PayloadTarget>& payloads) {
  TModulePayloads source;
  TRegistryWitness witness;
  RecoverUpdate(GameFiles(), source, witness, folder, payloads);
}
