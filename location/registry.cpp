// TRegistry / TRegIniFile over the registry interface.
#include "location/registry.h"

#include <cstring>
#include <stdexcept>
#include <vector>

#include "base/failure.h"

namespace {

RegistryApi* g_backend = nullptr;

// A leading backslash cannot be a trail byte, so the first byte decides.
bool IsRelative(const std::string& key) { return key.empty() || key[0] != '\\'; }

std::string StripRoot(const std::string& key) { return IsRelative(key) ? key : key.substr(1); }

}  // namespace

RegistryApi& RegistryBackend() {
  if (!g_backend) throw std::logic_error("no registry backend installed");
  return *g_backend;
}

void SetRegistryBackend(RegistryApi* api) { g_backend = api; }

TRegistry::TRegistry() : TRegistry(RegistryBackend()) {}

TRegistry::TRegistry(RegistryApi& api) : api_(api) {}

TRegistry::~TRegistry() { CloseKey(); }

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  bool relative = IsRelative(key);
  std::string path = StripRoot(key);
  RegKey opened = kNoKey;
  bool ok = (!canCreate || path.empty()) ? api_.OpenKey(GetBaseKey(relative), path, access_, &opened)
                                         : api_.CreateKey(GetBaseKey(relative), path, access_, &opened);
  if (!ok) return false;
  if (currentKey_ != kNoKey && relative) path = currentPath_ + "\\" + path;
  ChangeKey(opened, path);
  return true;
}

void TRegistry::CloseKey() {
  if (currentKey_ == kNoKey) return;
  api_.CloseKey(currentKey_);
  currentKey_ = kNoKey;
  currentPath_.clear();
}

bool TRegistry::ValueExists(const std::string& name) {
  return api_.QueryValue(currentKey_ != kNoKey ? currentKey_ : rootKey_, name, nullptr, nullptr, nullptr);
}

int64_t TRegistry::GetDataSize(const std::string& name) {
  uint32_t size = 0;
  if (!api_.QueryValue(currentKey_ != kNoKey ? currentKey_ : rootKey_, name, nullptr, nullptr, &size)) return -1;
  return size;
}

RegKey TRegistry::GetBaseKey(bool relative) const {
  return (relative && currentKey_ != kNoKey) ? currentKey_ : rootKey_;
}

RegKey TRegistry::GetKey(const std::string& key) {
  RegKey opened = kNoKey;
  if (!api_.OpenKey(GetBaseKey(IsRelative(key)), StripRoot(key), access_, &opened)) return kNoKey;
  return opened;
}

bool TRegistry::CreateKey(const std::string& key) {
  RegKey created = kNoKey;
  if (!api_.CreateKey(GetBaseKey(IsRelative(key)), StripRoot(key), access_, &created)) return false;
  api_.CloseKey(created);
  return true;
}

std::string TRegistry::ReadString(const std::string& name, uint32_t size) {
  std::vector<uint8_t> buffer(size);
  uint32_t type = kRegNone;
  uint32_t got = size;
  if (!api_.QueryValue(currentKey_ != kNoKey ? currentKey_ : rootKey_, name, &type, buffer.data(), &got))
    throw ERegistryException::ReadFailed(name);
  if (type != kRegSz && type != kRegExpandSz) throw ERegistryException::InvalidType(name);
  // A backend may report fewer bytes than asked for; never read past what it gave.
  if (got < buffer.size()) buffer.resize(got);
  const void* nul = std::memchr(buffer.data(), 0, buffer.size());
  size_t length = nul ? static_cast<const uint8_t*>(nul) - buffer.data() : buffer.size();
  return std::string(reinterpret_cast<const char*>(buffer.data()), length);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  // The bytes of value, then one NUL: c_str() provides exactly that.
  if (!api_.SetValue(currentKey_ != kNoKey ? currentKey_ : rootKey_, name, kRegSz,
                     reinterpret_cast<const uint8_t*>(value.c_str()), static_cast<uint32_t>(value.size() + 1)))
    throw ERegistryException::SetFailed(name);
}

void TRegistry::ChangeKey(RegKey key, const std::string& path) {
  CloseKey();
  currentKey_ = key;
  currentPath_ = path;
}

TRegistry::SectionScope::SectionScope(TRegistry& store, RegKey section)
    : store_(store), section_(section), previous_(store.currentKey_) {
  store_.currentKey_ = section_;
}

TRegistry::SectionScope::~SectionScope() {
  store_.currentKey_ = previous_;
  store_.api_.CloseKey(section_);
}

TRegIniFile::TRegIniFile(const std::string& fileName) : TRegIniFile(fileName, RegistryBackend()) {}

TRegIniFile::TRegIniFile(const std::string& fileName, RegistryApi& api) : TRegistry(api), fileName_(fileName) {
  // A key that can be neither created nor opened is not reported: sections are then looked up
  // directly below the root.
  OpenKey(fileName, true);
}

std::string TRegIniFile::ReadSetting(const std::string& section, const std::string& name,
                                     const std::string& def) {
  RegKey key = GetKey(section);
  if (key == kNoKey) return def;
  SectionScope scope(*this, key);
  if (!ValueExists(name)) return def;
  int64_t size = GetDataSize(name);
  if (size <= 0) return std::string();
  return ReadString(name, static_cast<uint32_t>(size));
}

void TRegIniFile::WriteSetting(const std::string& section, const std::string& name, const std::string& value) {
  if (!CreateKey(section)) throw ERegistryException::CreateKeyFailed(section);
  RegKey key = GetKey(section);
  // Created but not writable: report it rather than let the caller believe the value was stored.
  if (key == kNoKey) throw ERegistryException::SetFailed(name);
  SectionScope scope(*this, key);
  WriteString(name, value);
}
