// SETUP.exe with one damaged byte in a packed payload, and without its digest resource, under
// Wine: the update fails with its message under "Setup", the previous files stay byte-identical
// and no file of the update is left in the game folder.
#include <windows.h>

#include <string>

#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

const char kGame[] = "C:\\Game\\";

void ExpectRefused(const char* variant, const std::string& message) {
  OldGame game(kGame);
  SetGameDir(kGame);
  Process p = Process::Launch(Variant(variant));
  E2E_CHECK_EQ(UpdateFailure(p), message);
  E2E_CHECK(game.AllUnchanged());
  ExpectNoStrays(game);
}

}  // namespace

E2E_SCENARIO(damaged_executable_payload) { ExpectRefused("SETUP_damaged_exe", "ストリームからの読み込みエラー."); }

// The executable decodes and verifies first; the archive's damage still installs nothing.
E2E_SCENARIO(damaged_archive_payload) { ExpectRefused("SETUP_damaged_dat2", "ストリームからの読み込みエラー."); }

E2E_SCENARIO(missing_digest_resource) { ExpectRefused("SETUP_no_sums", "SUMS リソースが見つかりません."); }

int main(int argc, char** argv) { return RunScenarios(argc, argv); }
