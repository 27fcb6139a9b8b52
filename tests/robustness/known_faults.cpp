// Faults found by the fault injection and not yet mended in the program. Each scenario states
// the sound behaviour; it is registered as expected to fail until the program is mended, so
// that the day it passes the suite says so.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/setup/setup_fixture.h"

using namespace setup_test;

// A folder of 32 KiB: the window comes up, the update fails with that path in the message,
// and nothing hangs.
E2E_SCENARIO(registry_32k_string) {
  std::string folder = "C:\\";
  while (folder.size() < 32 * 1024 - 1) folder += "LongFolderName\\";
  folder.resize(32 * 1024 - 2);
  folder += "\\";
  SetGameDir(folder);
  Process p = Process::Launch("SETUP.exe");
  const std::string text = UpdateFailure(p), expected = "ファイル " + folder + "VELDRAN.EXE を作成できません.";
  if (!E2E_CHECK(text == expected))
    std::printf("  message of %zu bytes, expected %zu: %s...\n", text.size(), expected.size(), text.substr(0, 60).c_str());
}

int main(int argc, char** argv) { return RunScenarios(argc, argv); }
