// The fixed-disk search over hostile trees, on the real listing calls under Wine:
//   SearchFaults.loop    L: holds a folder link that leads back up to the drive's root
//   SearchFaults.long    M: holds folders whose paths pass the 260-character limit
// Both walks must end, without a crash, and find only real marker files.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "location/search.h"
#include "location/win32/backends.h"

namespace {

struct Walk {
  long folders = 0;
  size_t longest = 0;
  double seconds = 0;
};

Walk WalkFrom(const std::string& root) {
  Walk w;
  SetSearchProgressHook([&w](const std::string& folder) {
    ++w.folders;
    w.longest = std::max(w.longest, folder.size());
  });
  StopSearch = false;
  FoundDir.clear();
  auto start = std::chrono::steady_clock::now();
  SearchFolder(root);
  w.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s: %ld folders walked, longest path %zu characters, %.2f s, FoundDir [%s]\n", root.c_str(), w.folders,
              w.longest, w.seconds, FoundDir.c_str());
  return w;
}

bool MarkerIn(const std::string& folder) {
  const DWORD a = GetFileAttributesA((folder + "\\MG_DATA.MBL").c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

TEST(SearchFaults, loop) {
  UseWin32LocationBackends();
  // L:\a\b\up leads back to L:\; the only marker is L:\z\MG_DATA.MBL. The walk goes round
  // the link until the platform refuses the path; z may be met at any round, so only the
  // folder's own name is checked.
  Walk w = WalkFrom("L:\\");
  EXPECT_TRUE(w.folders > 3) << "the tree was walked";
  EXPECT_TRUE(!FoundDir.empty()) << "the real marker was found";
  if (FoundDir.size() < MAX_PATH - 12) {
    EXPECT_TRUE(MarkerIn(FoundDir)) << "the folder found holds a marker";
  }
  EXPECT_TRUE(FoundDir.size() >= 4 && FoundDir.compare(FoundDir.size() - 2, 2, "\\z") == 0) << "found in the folder z";
}

TEST(SearchFaults, long) {
  UseWin32LocationBackends();
  // M:\near\<60>\<60>\MG_DATA.MBL lies within the limit; M:\deep\ goes on past it with a
  // marker at its end. The deep branch ends where the platform refuses the path.
  Walk w = WalkFrom("M:\\");
  EXPECT_TRUE(w.folders > 3) << "the tree was walked";
  EXPECT_TRUE(!FoundDir.empty()) << "a marker was found";
  if (!FoundDir.empty() && FoundDir.size() < MAX_PATH - 12) {
    EXPECT_TRUE(MarkerIn(FoundDir)) << "the folder found holds a marker";
  }
}
