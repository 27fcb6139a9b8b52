// Checks of the Windows test programs that run under Wine without the end-to-end driver: every
// failed check is printed and counted, and CheckResult() is the program's exit code.
#pragma once

#include <cstdio>
#include <string>

inline int failures = 0;

inline void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAILED: %s\n", what.c_str());
    ++failures;
  }
}

// Prints how many checks failed; 0 when none did, else 1.
inline int CheckResult() {
  std::printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
