// Runs one program and prints its time and the peak memory Windows reports for it: the peak
// working set and the peak of private (committed) memory, read through GetProcessMemoryInfo
// while it runs (under Wine an ended process has no figures left), every 20 ms.
//
//   peak_run.exe PROGRAM [ARGS...]      exit code: the program's
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  for (char c : arg) out += c == '"' ? std::string("\\\"") : std::string(1, c);
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: peak_run.exe PROGRAM [ARGS...]\n");
    return 2;
  }
  std::string command;
  for (int i = 1; i < argc; ++i) command += (i > 1 ? " " : "") + Quoted(argv[i]);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  const auto start = std::chrono::steady_clock::now();
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
    std::fprintf(stderr, "peak_run: cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 2;
  }
  CloseHandle(child.hThread);
  SIZE_T workingSet = 0, commit = 0;
  for (bool running = true; running;) {
    running = WaitForSingleObject(child.hProcess, 20) == WAIT_TIMEOUT;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(child.hProcess, &memory, sizeof memory)) {
      workingSet = std::max(workingSet, memory.PeakWorkingSetSize);
      commit = std::max(commit, memory.PeakPagefileUsage);
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  DWORD code = 1;
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hProcess);
  std::printf("peak_run: %s: %.1f s, exit code %lu; peak working set %.1f MiB, peak private %.1f MiB\n", argv[1], seconds, code,
              workingSet / 1048576.0, commit / 1048576.0);
  return static_cast<int>(code);
}
