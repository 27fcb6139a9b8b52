// Checks the test Wine prefix itself: Japanese code page, no z: drive, drives typed as asked.
//   prefix_check LETTER=TYPE ...   (TYPE as GetDriveTypeA numbers it)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  int failures = 0;
  if (GetACP() != 932) {
    std::printf("ANSI code page is %u, not 932\n", GetACP());
    ++failures;
  }
  if (GetDriveTypeA("Z:") != DRIVE_NO_ROOT_DIR) {
    std::printf("z: is mapped; a sweep would walk the host\n");
    ++failures;
  }
  for (int i = 1; i < argc; ++i) {
    char root[] = {argv[i][0], ':', '\\', 0};
    unsigned want = static_cast<unsigned>(std::atoi(argv[i] + 2));
    unsigned got = GetDriveTypeA(root);
    if (got != want) {
      std::printf("%s: type %u, expected %u\n", root, got, want);
      ++failures;
    }
  }
  std::printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
