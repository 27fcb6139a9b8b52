// The game directory setting on the real registry of a fresh Wine prefix: what LoadGameDir and
// SaveGameDir make of each kind of stored value, with the exact failure messages.
#include <windows.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "base/failure.h"
#include "location/game_dir.h"
#include "location/win32/backends.h"

namespace {

bool KeyExists(const char* path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

DWORD SubKeyCount(const char* path) {
  HKEY key;
  DWORD count = 999;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return count;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(key);
  return count;
}

// Stores GameDir with the given type and raw bytes, through the platform directly.
void Put(DWORD type, const std::string& bytes) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\KORVA\\VELDRAN", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    EXPECT_TRUE(false) << "test setup: create section";
    return;
  }
  RegSetValueExA(key, "GameDir", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                 static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}

// Reads GameDir back through the platform: type and raw bytes.
std::string Stored(DWORD* type) {
  HKEY key;
  *type = REG_NONE;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\KORVA\\VELDRAN", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return "<no section>";
  BYTE data[512];
  DWORD size = sizeof data;
  LONG rc = RegQueryValueExA(key, "GameDir", nullptr, type, data, &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? std::string(reinterpret_cast<char*>(data), size) : "<none>";
}

std::string Load(std::string& gameDir) {
  try {
    LoadGameDir(gameDir);
  } catch (const ERegistryException& e) {
    return e.Message();
  }
  return "";
}

void ExpectLoad(DWORD type, const std::string& bytes, const std::string& want, const std::string& wantFailure,
                const char* what) {
  Put(type, bytes);
  std::string gameDir = "before\\";
  std::string failure = Load(gameDir);
  EXPECT_TRUE(failure == wantFailure) << what;
  EXPECT_TRUE(gameDir == (wantFailure.empty() ? want : "before\\")) << what;
  if (failure != wantFailure || gameDir != (wantFailure.empty() ? want : "before\\"))
    std::printf("  got GameDir [%s], failure [%s]\n", gameDir.c_str(), failure.c_str());
}

}  // namespace

TEST(SettingsWine, GameDirOnTheRealRegistry) {
  UseWin32LocationBackends();
  // A fresh prefix has no key: the first read creates the key, not the section.
  EXPECT_TRUE(!KeyExists("Software\\KORVA")) << "fresh prefix has no Software\\KORVA";
  std::string gameDir = "x";
  EXPECT_TRUE(Load(gameDir).empty() && gameDir.empty()) << "missing key reads as empty";
  EXPECT_TRUE(KeyExists("Software\\KORVA")) << "a read leaves the key behind";
  EXPECT_TRUE(!KeyExists("Software\\KORVA\\VELDRAN")) << "a read does not create the section";
  EXPECT_TRUE(SubKeyCount("Software\\KORVA") == 0) << "the key is left empty";

  ExpectLoad(REG_SZ, std::string("C:\\Games\\\0", 10), "C:\\Games\\", "", "plain string");
  ExpectLoad(REG_EXPAND_SZ, std::string("%WINDIR%\\Game\\\0", 15), "%WINDIR%\\Game\\", "",
             "expandable string taken literally");
  ExpectLoad(REG_SZ, std::string("C:\\A\0B\\\0", 8), "C:\\A", "", "string cut at the first NUL");
  ExpectLoad(REG_SZ, std::string(), "", "", "zero-length value");
  ExpectLoad(REG_SZ, std::string("\0", 1), "", "", "empty text");
  ExpectLoad(REG_SZ, std::string("C:\\ソフト\\\0", 10), "C:\\ソフト\\", "", "Shift-JIS folder");
  ExpectLoad(REG_DWORD, std::string("\x05\x00\x00\x00", 4), "", "'GameDir' のデータ型が不正です", "dword rejected");

  // Saving replaces the wrong type with a string carrying exactly one NUL.
  try {
    SaveGameDir("D:\\表\\Game\\");
  } catch (const Exception& e) {
    std::printf("  save failed: %s\n", e.Message().c_str());
    EXPECT_TRUE(false) << "save";
  }
  DWORD type = 0;
  std::string bytes = Stored(&type);
  EXPECT_TRUE(type == REG_SZ) << "saved as REG_SZ";
  EXPECT_TRUE(bytes == std::string("D:\\表\\Game\\\0", 12)) << "saved bytes plus one NUL";
  EXPECT_TRUE(Load(gameDir).empty() && gameDir == "D:\\表\\Game\\") << "saved folder reads back";
}
