// The Win32 side of the update: resources read in place from the running module, and the file
// operations of the install sequence (flushed writes, write-through moves, hard links).
#include "payload/win32/extract.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "base/failure.h"
#include "base/sha256.h"
#include "base/sjis.h"
#include "base/stream.h"
#include "base/win32/handles.h"
#include "payload/sums.h"

namespace {

// A read-only view over one RT_RCDATA resource of the running module, read in place.
class TResourceStream : public TStream {
 public:
  explicit TResourceStream(const std::string& name) {
    HRSRC found = FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (found) loaded_ = LoadResource(nullptr, found);
    if (!loaded_) throw EResNotFound(name);
    data_ = static_cast<const uint8_t*>(LockResource(loaded_));
    size_ = data_ ? SizeofResource(nullptr, found) : 0;
  }
  ~TResourceStream() override { FreeResource(loaded_); }
  TResourceStream(const TResourceStream&) = delete;
  TResourceStream& operator=(const TResourceStream&) = delete;

  int32_t Read(void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    size_t n = std::min<size_t>(static_cast<size_t>(count), size_ - position_);
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return static_cast<int32_t>(n);
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  // The decoder takes the body where the loader mapped it, with the image: no second copy.
  bool Borrow(int32_t count, const uint8_t** bytes) override {
    if (count < 0 || size_ - position_ < static_cast<size_t>(count)) throw EReadError();
    *bytes = data_ + position_;
    position_ += static_cast<size_t>(count);
    return true;
  }

  std::vector<uint8_t> All() const { return std::vector<uint8_t>(data_, data_ + size_); }

 private:
  HGLOBAL loaded_ = nullptr;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t position_ = 0;
};

class TModulePayloads : public TPayloadSource {
 public:
  std::unique_ptr<TStream> Open(const std::string& name) override { return std::make_unique<TResourceStream>(name); }
  std::vector<uint8_t> Sums() override { return TResourceStream(sums::kResourceName).All(); }
};

class TWin32Files : public TFileOps {
 public:
  std::vector<std::string> List(const std::string& folder) override {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    win32::FindHandle find(FindFirstFileA((folder + "*").c_str(), &entry));
    if (!find) return names;
    do {
      const std::string name = entry.cFileName;
      if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find.Get(), &entry));
    return names;
  }

  bool Exists(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  // Read-only, held open without sharing, access denied: found out before decoding, not at the
  // move. The attribute is tested as well, since a privileged process may open such a file.
  bool CanReplace(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
    win32::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
  }

  Handle Create(const std::string& path) override {
    win32::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return kNoHandle;
    handles_.push_back(std::move(file));
    return static_cast<Handle>(handles_.size() - 1);
  }

  size_t Write(Handle file, const void* data, size_t count) override {
    DWORD written = 0;
    if (!WriteFile(handles_[file].Get(), data, static_cast<DWORD>(count), &written, nullptr)) return 0;
    return written;
  }

  bool Flush(Handle file) override { return FlushFileBuffers(handles_[file].Get()) != 0; }

  void Close(Handle file) override {
    handles_[file].Reset();
  }

  bool Read(const std::string& path, size_t limit, std::string* content) override {
    uint64_t size = 0;
    if (!Size(path, &size) || size > limit) return false;
    win32::FileHandle file(OpenToRead(path));
    if (!file) return false;
    content->clear();
    char buffer[4096];
    DWORD got = 0;
    bool ok;
    while ((ok = ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) != 0) && got > 0 && content->size() <= limit)
      content->append(buffer, got);
    return ok && content->size() <= limit;
  }

  bool Size(const std::string& path, uint64_t* size) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return false;
    *size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return true;
  }

  bool Hash(const std::string& path, TSha256::Digest* digest) override {
    win32::FileHandle file(OpenToRead(path));
    if (!file) return false;
    std::vector<uint8_t> buffer(1 << 20);
    TSha256 hash;
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      if (got == 0) {
        *digest = hash.Final();
        return true;
      }
      hash.Update(buffer.data(), got);
    }
    return false;
  }

  bool Replace(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  bool Link(const std::string& existing, const std::string& newName) override {
    return CreateHardLinkA(newName.c_str(), existing.c_str(), nullptr) != 0;
  }

  // FAT32 has no hard links: a copy, flushed before it counts.
  bool Copy(const std::string& from, const std::string& to) override {
    if (!CopyFileA(from.c_str(), to.c_str(), TRUE)) return false;
    win32::FileHandle file(CreateFileA(to.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return file && FlushFileBuffers(file.Get()) != 0;
  }

  bool Delete(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }

 private:
  static HANDLE OpenToRead(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                       nullptr);
  }

  std::vector<win32::FileHandle> handles_;
};

}  // namespace

void InstallPayloads(const std::string& folder, const std::vector<PayloadTarget>& payloads) {
  TWin32Files files;
  TModulePayloads source;
  InstallPayloads(files, source, folder, payloads);
}

void ExtractResource(const std::string& resourceName, const std::string& targetPath) {
  const size_t cut = sjis::LastDelimiter("\\:", targetPath);
  const size_t nameAt = cut == std::string::npos ? 0 : cut + 1;
  InstallPayloads(targetPath.substr(0, nameAt), {{resourceName, targetPath.substr(nameAt)}});
}

void RecoverInterruptedUpdate(const std::string& folder, const std::vector<PayloadTarget>& payloads) {
  TWin32Files files;
  TModulePayloads source;
  RecoverUpdate(files, source, folder, payloads);
}
