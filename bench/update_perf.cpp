// The whole update under Wine, from the click on "アップデート開始" to the completion message
// (decoding, digests, flushes, moves), against a plain copy and sync of the same bytes, in one
// run; and the updater's peak memory.
//
//   perf_update.exe [ROUNDS [UPDATER EXE_FILE DAT2_FILE]]
//
// Without the last three: SETUP.exe, VELDRAN.EXE and mg_data2.mbl beside this program. The
// updater installs into C:\Game\; the copy goes to C:\Copy\: each file read and written in 1 MiB
// blocks, flushed to disk and closed, as the update flushes what it writes.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/win32/handles.h"
#include "tests/e2e/driver/driver.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

uint64_t SizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}

bool WriteSmall(const std::string& path, size_t size, char fill) {
  win32::FileHandle h(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  const std::string bytes(size, fill);
  DWORD written = 0;
  return h && WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(size), &written, nullptr) && written == size;
}

// Reads a and b in 1 MiB blocks: true when they hold the same bytes.
bool SameFiles(const std::string& a, const std::string& b) {
  win32::FileHandle x(CreateFileA(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  win32::FileHandle y(CreateFileA(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!x || !y) return false;
  std::vector<char> p(1 << 20), q(1 << 20);
  for (;;) {
    DWORD n = 0, m = 0;
    if (!ReadFile(x.Get(), p.data(), static_cast<DWORD>(p.size()), &n, nullptr) ||
        !ReadFile(y.Get(), q.data(), static_cast<DWORD>(q.size()), &m, nullptr) || n != m ||
        std::memcmp(p.data(), q.data(), n) != 0)
      return false;
    if (n == 0) return true;
  }
}

// The peer of the update: the same bytes read, written, flushed and closed.
bool CopyAndSync(const std::string& from, const std::string& to) {
  win32::FileHandle in(CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  win32::FileHandle out(CreateFileA(to.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in || !out) return false;
  std::vector<char> block(1 << 20);
  for (DWORD n = 0;;) {
    if (!ReadFile(in.Get(), block.data(), static_cast<DWORD>(block.size()), &n, nullptr)) return false;
    if (n == 0) break;
    DWORD written = 0;
    if (!WriteFile(out.Get(), block.data(), n, &written, nullptr) || written != n) return false;
  }
  return FlushFileBuffers(out.Get()) != 0;
}

void SetGameDir(const std::string& value) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\KORVA\\VELDRAN", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  RegSetValueExA(key, "GameDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string updater = argc > 4 ? argv[2] : "SETUP.exe";
  const std::string exe = argc > 4 ? argv[3] : AppDir() + "VELDRAN.EXE";
  const std::string dat2 = argc > 4 ? argv[4] : AppDir() + "mg_data2.mbl";
  const uint64_t bytes = SizeOf(exe) + SizeOf(dat2);
  if (SizeOf(exe) == 0 || SizeOf(dat2) == 0 || SizeOf(updater) == 0) {
    std::printf("missing: the updater and the two replacement files it carries\n");
    return 2;
  }
  CreateDirectoryA("C:\\Game", nullptr);
  CreateDirectoryA("C:\\Copy", nullptr);
  SetGameDir("C:\\Game\\");

  std::vector<double> update, copy, startup;
  PROCESS_MEMORY_COUNTERS memory{};
  for (int round = 0; round < rounds; ++round) {
    WriteSmall("C:\\Game\\VELDRAN.EXE", 19, 'o');
    WriteSmall("C:\\Game\\mg_data.mbl", 17, 'm');
    DeleteFileA("C:\\Game\\mg_data2.mbl");
    auto t = Clock::now();
    Process p = Process::Launch(updater);
    HWND main = WaitWindow(p.Id(), "TForm1", "アップデーター", 60000);
    if (!main) {
      std::printf("no main window\n");
      return 1;
    }
    startup.push_back(Since(t));
    t = Clock::now();
    ButtonClick(FindControl(main, "Button1"));
    HWND notice = nullptr, failure = nullptr;
    while (!notice && !failure && Since(t) < 900) {
      notice = FindTopWindow(p.Id(), "TMessageForm", "情報");
      failure = FindTopWindow(p.Id(), "#32770", nullptr);  // the error report's message box
      if (!notice && !failure) Sleep(1);
    }
    if (!notice) {
      std::string text;
      for (HWND child : failure ? Children(failure) : std::vector<HWND>{})
        if (ClassName(child) == "Static" && !Text(child).empty()) text = Text(child);
      std::printf("no completion message%s%s\n", failure ? " but the error report: " : "", ToUtf8(text).c_str());
      return 1;
    }
    update.push_back(Since(t));
    // The process still runs: its peaks so far are those of the update.
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(p.Handle(), &memory, sizeof memory);
    ButtonClick(FindControl(notice, "OK"));
    p.WaitExit(60000);
    if (!SameFiles("C:\\Game\\VELDRAN.EXE", exe) || !SameFiles("C:\\Game\\mg_data2.mbl", dat2)) {
      std::printf("the update wrote other bytes\n");
      return 1;
    }

    t = Clock::now();
    if (!CopyAndSync(exe, "C:\\Copy\\VELDRAN.EXE") || !CopyAndSync(dat2, "C:\\Copy\\mg_data2.mbl")) {
      std::printf("the copy failed\n");
      return 1;
    }
    copy.push_back(Since(t));
    DeleteFileA("C:\\Copy\\VELDRAN.EXE");
    DeleteFileA("C:\\Copy\\mg_data2.mbl");
  }
  std::printf("%s: %d rounds, %llu bytes installed per round (%.0f MiB)\n", updater.c_str(), rounds,
              static_cast<unsigned long long>(bytes), bytes / 1048576.0);
  std::printf("%-46s %10s %10s\n", "", "median s", "best s");
  std::printf("%-46s %10.3f %10.3f\n", "start to main window shown", Median(startup), Best(startup));
  std::printf("%-46s %10.3f %10.3f\n", "update: click to completion message", Median(update), Best(update));
  std::printf("%-46s %10.3f %10.3f\n", "plain copy and sync of the same bytes", Median(copy), Best(copy));
  std::printf("update / copy: %.2f (median), %.2f (best); update %.0f MB/s, copy %.0f MB/s\n", Median(update) / Median(copy),
              Best(update) / Best(copy), bytes / 1e6 / Median(update), bytes / 1e6 / Median(copy));
  std::printf("updater's peaks at the completion message: working set %.1f MiB, private (commit) %.1f MiB\n",
              memory.PeakWorkingSetSize / 1048576.0, memory.PeakPagefileUsage / 1048576.0);
  return 0;
}
