// The update into a game folder on a nearly full small file system, drive G: (a tmpfs of a few
// MiB mapped by the runner). Each scenario fills the drive to a chosen free space first.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

const char kGame[] = "G:\\Game\\";
const char kFiller[] = "G:\\filler.bin";

ULONGLONG FreeBytes() {
  ULARGE_INTEGER available{}, total{}, free{};
  E2E_ASSERT(GetDiskFreeSpaceExA("G:\\", &available, &total, &free));
  return available.QuadPart;
}

// Leaves about `left` bytes free on G:.
void FillLeaving(ULONGLONG left) {
  const ULONGLONG freeNow = FreeBytes();
  ASSERT_TRUE(freeNow > left);
  std::vector<char> chunk(64 * 1024, 'F');
  HANDLE h = CreateFileA(kFiller, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_TRUE(h != INVALID_HANDLE_VALUE);
  ULONGLONG toWrite = freeNow - left;
  while (toWrite > 0) {
    const DWORD n = static_cast<DWORD>(std::min<ULONGLONG>(toWrite, chunk.size()));
    DWORD written = 0;
    if (!WriteFile(h, chunk.data(), n, &written, nullptr) || written == 0) break;
    toWrite -= written;
  }
  CloseHandle(h);
  std::printf("  G: has %llu bytes free before the update\n", static_cast<unsigned long long>(FreeBytes()));
}

std::vector<std::string> StraysWithoutFiller(const OldGame& game) { return game.Strays(); }

}  // namespace

// Not even the executable fits: the write fails, the staged file goes, nothing changes.
TEST(SmallFs, executable_does_not_fit) {
  OldGame game(kGame);
  FillLeaving(600 * 1024);
  const ULONGLONG before = FreeBytes();
  Process p = LaunchWithGameDir(kGame);
  EXPECT_EQ(UpdateFailure(p), std::string("ストリームへの書き込みエラー."));
  EXPECT_TRUE(game.AllUnchanged());
  for (const std::string& stray : StraysWithoutFiller(game)) Fail(__FILE__, __LINE__, "left behind: " + stray);
  EXPECT_EQ(FreeBytes(), before);
}

// The executable fits, the data archive does not: neither is replaced.
TEST(SmallFs, data_archive_does_not_fit) {
  OldGame game(kGame);
  FillLeaving(1351168 + 120 * 1024);
  Process p = LaunchWithGameDir(kGame);
  EXPECT_EQ(UpdateFailure(p), std::string("ストリームへの書き込みエラー."));
  EXPECT_TRUE(game.AllUnchanged());
  for (const std::string& stray : StraysWithoutFiller(game)) Fail(__FILE__, __LINE__, "left behind: " + stray);
}

