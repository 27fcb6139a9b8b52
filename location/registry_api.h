// The registry calls the settings store makes, as an interface: the Win32 backend forwards them
// to ADVAPI32 below HKEY_CURRENT_USER; tests bring an in-memory one that decides every outcome.
#pragma once

#include <cstdint>
#include <string>

// An open key. Values mirror HKEY bit for bit so the Win32 backend can pass them straight on.
using RegKey = uintptr_t;

constexpr RegKey kNoKey = 0;
// HKEY_CURRENT_USER: 0x80000001 sign-extended to pointer width, as the platform defines it.
constexpr RegKey kHkeyCurrentUser = static_cast<RegKey>(static_cast<intptr_t>(static_cast<int32_t>(0x80000001u)));

constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyAllAccess = 0xF003F;

constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  // RegCreateKeyExA: no class, non-volatile, no security attributes. Opens the key when it exists.
  virtual bool CreateKey(RegKey parent, const std::string& subKey, uint32_t access, RegKey* result) = 0;
  // RegOpenKeyExA: never creates anything.
  virtual bool OpenKey(RegKey parent, const std::string& subKey, uint32_t access, RegKey* result) = 0;
  // RegQueryValueExA. With data null only the type and size are asked for; otherwise *size is the
  // buffer's size on entry and the data's size on return. type may be null.
  virtual bool QueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data,
                          uint32_t* size) = 0;
  // RegSetValueExA.
  virtual bool SetValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                        uint32_t size) = 0;
  // RegCloseKey.
  virtual void CloseKey(RegKey key) = 0;
};

// The backend every settings store uses unless one is given. The program installs it (SETUP.exe
// the Win32 registry, tests their own); a store made before that is a programming error and
// throws std::logic_error. SetRegistryBackend(nullptr) uninstalls it.
RegistryApi& RegistryBackend();
void SetRegistryBackend(RegistryApi* api);
