// The settings store: TRegistry keeps one open key below HKEY_CURRENT_USER, TRegIniFile reads and
// writes named values of its subkeys ("sections"). Every key is opened with full access.
#pragma once

#include <string>

#include "location/registry_api.h"

class TRegistry {
 public:
  TRegistry();
  explicit TRegistry(RegistryApi& api);
  virtual ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  RegKey RootKey() const { return rootKey_; }
  RegKey CurrentKey() const { return currentKey_; }
  const std::string& CurrentPath() const { return currentPath_; }
  uint32_t Access() const { return access_; }

  // Makes key the current key, creating it first when canCreate. A text starting with "\" is
  // taken below the root; any other below the current key, or the root when none is open.
  bool OpenKey(const std::string& key, bool canCreate);
  // Closes the current key. The store writes lazily, so this never forces a flush.
  void CloseKey();

  bool ValueExists(const std::string& name);
  // Size in bytes of the value's data, or -1 when it cannot be had.
  int64_t GetDataSize(const std::string& name);

 protected:
  // Key below which key text is resolved; relative texts go below the current key if any.
  RegKey GetBaseKey(bool relative) const;
  // Opens key with the store's access without making it current; kNoKey when that fails.
  RegKey GetKey(const std::string& key);
  // Creates key (opening it if present) and closes it at once; false when that fails.
  bool CreateKey(const std::string& key);
  // Reads a string value: everything up to the first NUL. Raises ERegistryException when the
  // data cannot be read or is not a string type.
  std::string ReadString(const std::string& name, uint32_t size);
  // Writes value as REG_SZ with its terminating NUL; raises ERegistryException on failure.
  void WriteString(const std::string& name, const std::string& value);

  // Swaps in another current key for the length of one section access.
  class SectionScope {
   public:
    SectionScope(TRegistry& store, RegKey section);
    ~SectionScope();
    SectionScope(const SectionScope&) = delete;
    SectionScope& operator=(const SectionScope&) = delete;

   private:
    TRegistry& store_;
    RegKey section_;
    RegKey previous_;
  };

  RegistryApi& api_;

 private:
  void ChangeKey(RegKey key, const std::string& path);

  RegKey rootKey_ = kHkeyCurrentUser;
  RegKey currentKey_ = kNoKey;
  std::string currentPath_;
  uint32_t access_ = kKeyAllAccess;
};

class TRegIniFile : public TRegistry {
 public:
  // Opens fileName (a key path), creating it when missing; a failure leaves no current key.
  explicit TRegIniFile(const std::string& fileName);
  TRegIniFile(const std::string& fileName, RegistryApi& api);

  const std::string& FileName() const { return fileName_; }

  // Value name of subkey section, or def when the section or value is missing.
  std::string ReadSetting(const std::string& section, const std::string& name, const std::string& def);
  // Stores value as a REG_SZ value name of subkey section, creating the section when missing.
  void WriteSetting(const std::string& section, const std::string& name, const std::string& value);

 private:
  std::string fileName_;
};
