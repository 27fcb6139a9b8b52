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
  Process p = LaunchWithGameDir(kGame, Variant(variant));
  EXPECT_EQ(UpdateFailure(p), message);
  EXPECT_TRUE(game.AllUnchanged());
  ExpectNoStrays(game);
}

}  // namespace

TEST(Damage, damaged_executable_payload) { ExpectRefused("SETUP_damaged_exe", "ストリームからの読み込みエラー."); }

// The executable decodes and verifies first; the archive's damage still installs nothing.
TEST(Damage, damaged_archive_payload) { ExpectRefused("SETUP_damaged_dat2", "ストリームからの読み込みエラー."); }

TEST(Damage, missing_digest_resource) { ExpectRefused("SETUP_no_sums", "SUMS リソースが見つかりません."); }

