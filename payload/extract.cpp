// ExtractResource over a resource stream read in place and a staged file stream.
#include "payload/extract.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/failure.h"
#include "base/sjis.h"
#include "base/stream.h"
#include "payload/unpack.h"

namespace {

// A read-only view over one RT_RCDATA resource of the running module.
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

 private:
  HGLOBAL loaded_ = nullptr;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t position_ = 0;
};

// An open handle to a file, written from its start; closed on release.
class TFileStream : public TStream {
 public:
  explicit TFileStream(HANDLE handle) : handle_(handle) {}
  ~TFileStream() override { Close(); }
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    DWORD written = 0;
    if (!WriteFile(handle_, buffer, static_cast<DWORD>(count), &written, nullptr)) return 0;
    return static_cast<int32_t>(written);
  }
  void Close() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// The target's folder, as a prefix to which a file name can be appended ("." when the path
// names no folder). Trail bytes of double-byte characters may be 0x5C, hence the sjis scan.
std::string FolderOf(const std::string& path) {
  size_t cut = sjis::LastDelimiter("\\:", path);
  return cut == std::string::npos ? std::string(".") : path.substr(0, cut + 1);
}

// A target that exists but cannot be opened for writing (read-only, held open without sharing,
// access denied) would only fail at the final replace; find out before decoding.
// The read-only attribute is tested as well, since a privileged process may open such a file.
bool TargetWritable(const std::string& target) {
  const DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
  HANDLE h = CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

// A unique, empty file in the target's folder, so a file left by a killed run never blocks this
// one and putting it in place stays a rename within one volume.
std::string NewFileBeside(const std::string& targetPath) {
  char temp[MAX_PATH + 1] = {};
  const std::string folder = FolderOf(targetPath);
  if (folder.size() >= MAX_PATH - 14 || GetTempFileNameA(folder.c_str(), "vdn", 0, temp) == 0)
    throw EFCreateError(targetPath);
  return temp;
}

bool Replace(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

TStagedPayload::TStagedPayload(const std::string& resourceName, const std::string& targetPath)
    : target_(targetPath) {
  TResourceStream resource(resourceName);
  if (!TargetWritable(targetPath)) throw EFCreateError(targetPath);
  staged_ = NewFileBeside(targetPath);
  HANDLE handle = CreateFileA(staged_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Discard();
    throw EFCreateError(targetPath);
  }
  TFileStream file(handle);
  try {
    UnpackResource(resource, file);
  } catch (...) {
    file.Close();
    Discard();
    throw;
  }
}

TStagedPayload::~TStagedPayload() {
  Discard();
  if (!backup_.empty()) DeleteFileA(backup_.c_str());
}

void TStagedPayload::Discard() {
  if (!staged_.empty()) DeleteFileA(staged_.c_str());
  staged_.clear();
}

void TStagedPayload::Install() {
  // The previous file steps aside first, so that it can come back if a later step fails.
  if (GetFileAttributesA(target_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    backup_ = NewFileBeside(target_);
    if (!Replace(target_, backup_)) {
      DeleteFileA(backup_.c_str());
      backup_.clear();
      throw EFCreateError(target_);
    }
  }
  if (!Replace(staged_, target_)) {
    Restore();
    throw EFCreateError(target_);
  }
  staged_.clear();
  installed_ = true;
}

void TStagedPayload::Restore() {
  if (installed_) DeleteFileA(target_.c_str());
  if (!backup_.empty() && Replace(backup_, target_)) backup_.clear();
  installed_ = false;
}

void InstallPayloads(const std::vector<PayloadTarget>& payloads) {
  std::vector<std::unique_ptr<TStagedPayload>> staged;
  for (const PayloadTarget& payload : payloads)
    staged.push_back(std::make_unique<TStagedPayload>(payload.ResourceName, payload.TargetPath));
  for (size_t i = 0; i < staged.size(); ++i) {
    try {
      staged[i]->Install();
    } catch (...) {
      for (size_t j = 0; j < i; ++j) staged[j]->Restore();
      throw;
    }
  }
  // Every file is in place: the previous ones go with the staged payloads' release.
}

void ExtractResource(const std::string& resourceName, const std::string& targetPath) {
  InstallPayloads({{resourceName, targetPath}});
}
