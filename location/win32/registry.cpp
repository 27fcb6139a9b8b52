// The registry interface over ADVAPI32.
#include <windows.h>

#include "location/win32/backends.h"

namespace {

HKEY ToHkey(RegKey key) { return key == kHkeyCurrentUser ? HKEY_CURRENT_USER : reinterpret_cast<HKEY>(key); }

RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

class AdvapiRegistry : public RegistryApi {
 public:
  bool CreateKey(RegKey parent, const std::string& subKey, uint32_t access, RegKey* result) override {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(ToHkey(parent), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
      return false;
    *result = FromHkey(key);
    return true;
  }

  bool OpenKey(RegKey parent, const std::string& subKey, uint32_t access, RegKey* result) override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(ToHkey(parent), subKey.c_str(), 0, access, &key) != ERROR_SUCCESS) return false;
    *result = FromHkey(key);
    return true;
  }

  bool QueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* size) override {
    DWORD t = 0;
    DWORD s = size ? *size : 0;
    LONG rc = RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, type ? &t : nullptr, data,
                               (size || data) ? &s : nullptr);
    if (type) *type = t;
    if (size) *size = s;
    return rc == ERROR_SUCCESS;
  }

  bool SetValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size) override {
    return RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data, size) == ERROR_SUCCESS;
  }

  void CloseKey(RegKey key) override { RegCloseKey(ToHkey(key)); }
};

}  // namespace

RegistryApi& Win32Registry() {
  static AdvapiRegistry registry;
  return registry;
}
