// Prints how fast the walk goes over a large in-memory tree: the search's own cost per folder
// and per entry, apart from the platform's listing and the dialog's repaint.
//   location_bench [depth] [fanout] [files-per-folder]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/location/memory_file_system.h"
#include "location/search.h"

namespace {

void AddTree(MemoryFileSystem& fs, const std::string& folder, int depth, int fanout, int files, long& folders) {
  ++folders;
  for (int i = 0; i < files; ++i) fs.AddFile(folder + "\\file" + std::to_string(i) + ".dat");
  if (depth == 0) return;
  for (int i = 0; i < fanout; ++i) AddTree(fs, folder + "\\dir" + std::to_string(i), depth - 1, fanout, files, folders);
}

}  // namespace

int main(int argc, char** argv) {
  int depth = argc > 1 ? std::atoi(argv[1]) : 5;
  int fanout = argc > 2 ? std::atoi(argv[2]) : 8;
  int files = argc > 3 ? std::atoi(argv[3]) : 10;

  MemoryFileSystem fs;
  fs.AddDrive('C', kDriveFixed);
  long folders = 0;
  AddTree(fs, "C:", depth, fanout, files, folders);
  // The marker sits in the last folder walked, so the sweep visits everything.
  std::string last = "C:";
  for (int i = 0; i < depth; ++i) last += "\\dir" + std::to_string(fanout - 1);
  fs.AddFile(last + "\\MG_DATA.MBL");

  long calls = 0;
  SetSearchBackends(&fs, &fs);
  SetSearchProgressHook([&calls](const std::string&) { ++calls; });
  auto start = std::chrono::steady_clock::now();
  SearchFixedDisks();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  long entries = folders * (files + fanout);
  std::printf("tree: %ld folders, %ld entries; found %s\n", folders, entries, FoundDir.c_str());
  std::printf("sweep: %ld progress calls in %.3f s: %.0f folders/s, %.0f entries/s, %.2f us/entry\n", calls,
              seconds, calls / seconds, entries / seconds, seconds * 1e6 / entries);
  return FoundDir.empty() ? 1 : 0;
}
