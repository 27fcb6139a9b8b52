// ExtractResource under Wine: byte-identical files, and every failure leaving the old target
// exactly as it was. Run by scripts/wine-run with the two replacement files copied to C:\app\.
#include "payload/win32/extract.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/failure.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Files in folder other than the ones named.
std::vector<std::string> Others(const std::string& folder, const std::vector<std::string>& known) {
  std::vector<std::string> found;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return found;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    bool isKnown = false;
    for (const auto& k : known) isKnown = isKnown || k == name;
    if (!isKnown) found.push_back(name);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return found;
}

// Runs f, expecting a failure of kind E with the message given.
template <typename E>
void ExpectFailure(const std::string& what, const std::function<void()>& f, const std::string& message) {
  try {
    f();
    EXPECT_TRUE(false) << what + ": no failure";
  } catch (const E& e) {
    EXPECT_TRUE(e.Message() == message) << what + ": message \"" + e.Message() + "\"";
  } catch (const Exception& e) {
    EXPECT_TRUE(false) << what + ": wrong kind, message \"" + e.Message() + "\"";
  }
}

const std::string kApp = "C:\\app\\";
const std::string kOld = "old content of the game's file";

std::string Folder(const std::string& name) {
  std::string f = kApp + name + "\\";
  CreateDirectoryA(f.c_str(), nullptr);
  return f;
}

void ExtractsByteIdenticalFiles() {
  const std::string dir = Folder("game");
  WriteAll(dir + "VELDRAN.EXE", kOld);
  ExtractResource("EXE", dir + "VELDRAN.EXE");
  ExtractResource("DAT2", dir + "mg_data2.mbl");
  const std::string exe = ReadAll(dir + "VELDRAN.EXE"), dat2 = ReadAll(dir + "mg_data2.mbl");
  EXPECT_TRUE(exe == ReadAll(kApp + "VELDRAN.EXE") && !exe.empty()) << "EXE decodes to the replacement file";
  EXPECT_TRUE(dat2 == ReadAll(kApp + "mg_data2.mbl") && !dat2.empty()) << "DAT2 decodes to the replacement file";
  EXPECT_TRUE(Others(dir, {"VELDRAN.EXE", "mg_data2.mbl"}).empty()) << "no temporary file left after success";
  // The file is closed: another opener without sharing gets in at once.
  HANDLE h = CreateFileA((dir + "VELDRAN.EXE").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(h != INVALID_HANDLE_VALUE) << "target closed after extraction";
  CloseHandle(h);
}

void MissingResourceTouchesNothing() {
  const std::string dir = Folder("nores");
  ExpectFailure<EResNotFound>("missing resource", [&] { ExtractResource("NOPE", dir + "VELDRAN.EXE"); },
                              "NOPE リソースが見つかりません");
  EXPECT_TRUE(Others(dir, {}).empty()) << "missing resource creates no file";
}

void MissingFolderFailsToCreate() {
  const std::string target = kApp + "nofolder\\VELDRAN.EXE";
  ExpectFailure<EFCreateError>("missing folder", [&] { ExtractResource("EXE", target); },
                               "ファイル " + target + " を作成できません");
  EXPECT_TRUE(!Exists(kApp + "nofolder")) << "missing folder is not created";
}

// A failure that must leave the old target as it was, with no temporary file beside it.
void KeepsOldContent(const std::string& what, const std::string& folder, const std::function<void(const std::string&)>& run) {
  const std::string dir = Folder(folder);
  const std::string target = dir + "VELDRAN.EXE";
  WriteAll(target, kOld);
  run(target);
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(ReadAll(target) == kOld) << what + ": old content intact";
  EXPECT_TRUE(Others(dir, {"VELDRAN.EXE"}).empty()) << what + ": no temporary file left";
  HANDLE h = CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(h != INVALID_HANDLE_VALUE) << what + ": target closed afterwards";
  CloseHandle(h);
}

void FailuresKeepTheOldTarget() {
  KeepsOldContent("read-only target", "readonly", [](const std::string& target) {
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    ExpectFailure<EFCreateError>("read-only target", [&] { ExtractResource("EXE", target); },
                                 "ファイル " + target + " を作成できません");
  });
  KeepsOldContent("target held open", "held", [](const std::string& target) {
    HANDLE h = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_TRUE(h != INVALID_HANDLE_VALUE) << "test holds the target open";
    ExpectFailure<EFCreateError>("target held open", [&] { ExtractResource("EXE", target); },
                                 "ファイル " + target + " を作成できません");
    CloseHandle(h);
  });
  KeepsOldContent("short resource", "short", [](const std::string& target) {
    ExpectFailure<EReadError>("short resource", [&] { ExtractResource("SHORT", target); },
                              "ストリームからの読み込みエラー");
  });
}

void EmptyPayloadLeavesAnEmptyFile() {
  const std::string dir = Folder("empty");
  WriteAll(dir + "VELDRAN.EXE", kOld);
  ExtractResource("EMPTY", dir + "VELDRAN.EXE");
  EXPECT_TRUE(Exists(dir + "VELDRAN.EXE") && ReadAll(dir + "VELDRAN.EXE").empty()) << "empty payload gives an empty file";
}

// Files left by a killed run, read-only ones included, do not stand in the way.
void LeftoversDoNotBlock() {
  const std::string dir = Folder("leftover");
  for (int i = 0; i < 16; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "vdn%X.tmp", i);
    WriteAll(dir + name, "partial");
    SetFileAttributesA((dir + name).c_str(), FILE_ATTRIBUTE_READONLY);
  }
  ExtractResource("DAT2", dir + "mg_data2.mbl");
  EXPECT_TRUE(ReadAll(dir + "mg_data2.mbl") == ReadAll(kApp + "mg_data2.mbl")) << "extraction beside leftovers";
}

// A folder whose name holds 0x5C as a trail byte ("ソ" is 83 5C).
void ShiftJisFolder() {
  const std::string dir = Folder("ソフト");
  ExtractResource("DAT2", dir + "mg_data2.mbl");
  EXPECT_TRUE(ReadAll(dir + "mg_data2.mbl") == ReadAll(kApp + "mg_data2.mbl")) << "extraction into a Shift-JIS folder";
  EXPECT_TRUE(Others(dir, {"mg_data2.mbl"}).empty()) << "no temporary file left in a Shift-JIS folder";
}

// Runs one case; a failure it did not expect is reported with its message.
void RunCase(void (*run)()) {
  try {
    run();
  } catch (const Exception& e) {
    ADD_FAILURE() << "unexpected failure \"" << e.Message() << "\"";
  }
}

}  // namespace

TEST(Extract, ExtractsByteIdenticalFiles) { RunCase(ExtractsByteIdenticalFiles); }
TEST(Extract, MissingResourceTouchesNothing) { RunCase(MissingResourceTouchesNothing); }
TEST(Extract, MissingFolderFailsToCreate) { RunCase(MissingFolderFailsToCreate); }
TEST(Extract, FailuresKeepTheOldTarget) { RunCase(FailuresKeepTheOldTarget); }
TEST(Extract, EmptyPayloadLeavesAnEmptyFile) { RunCase(EmptyPayloadLeavesAnEmptyFile); }
TEST(Extract, LeftoversDoNotBlock) { RunCase(LeftoversDoNotBlock); }
TEST(Extract, ShiftJisFolder) { RunCase(ShiftJisFolder); }
