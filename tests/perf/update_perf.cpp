// The whole update under Wine, from the click on "アップデート開始" to the completion message,
// against writing the same decoded bytes with plain CreateFileA/WriteFile calls, in one run.
//
//   perf_update.exe [ROUNDS]     (SETUP.exe, VELDRAN.EXE and mg_data2.mbl beside it)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/e2e/driver/driver.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWhole(const std::string& path, const std::vector<char>& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  CloseHandle(h);
  return ok;
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

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::vector<char> exe = ReadAll(AppDir() + "VELDRAN.EXE"), dat2 = ReadAll(AppDir() + "mg_data2.mbl");
  if (exe.empty() || dat2.empty()) {
    std::printf("the replacement files must be beside this program\n");
    return 2;
  }
  CreateDirectoryA("C:\\Game", nullptr);
  CreateDirectoryA("C:\\Copy", nullptr);
  SetGameDir("C:\\Game\\");

  std::vector<double> update, plain, startup;
  for (int round = 0; round < rounds; ++round) {
    WriteWhole("C:\\Game\\VELDRAN.EXE", std::vector<char>(19, 'o'));
    WriteWhole("C:\\Game\\mg_data.mbl", std::vector<char>(17, 'm'));
    auto t = Clock::now();
    Process p = Process::Launch("SETUP.exe");
    HWND main = WaitWindow(p.Id(), "TForm1", "アップデーター", 30000);
    if (!main) {
      std::printf("no main window\n");
      return 1;
    }
    startup.push_back(Since(t));
    HWND button = FindControl(main, "Button1");
    t = Clock::now();
    ButtonClick(button);
    HWND notice = nullptr;
    while (!notice && Since(t) < 60) {
      notice = FindTopWindow(p.Id(), "TMessageForm", "情報");
      if (!notice) Sleep(1);
    }
    if (!notice) {
      std::printf("no completion message\n");
      return 1;
    }
    update.push_back(Since(t));
    ButtonClick(FindControl(notice, "OK"));
    p.WaitExit(30000);
    if (ReadAll("C:\\Game\\VELDRAN.EXE") != exe || ReadAll("C:\\Game\\mg_data2.mbl") != dat2) {
      std::printf("the update wrote other bytes\n");
      return 1;
    }

    t = Clock::now();
    if (!WriteWhole("C:\\Copy\\VELDRAN.EXE", exe) || !WriteWhole("C:\\Copy\\mg_data2.mbl", dat2)) return 1;
    plain.push_back(Since(t));
  }
  const double bytes = static_cast<double>(exe.size() + dat2.size());
  std::printf("%d rounds, %.0f bytes written per round\n", rounds, bytes);
  std::printf("%-44s %10s %10s\n", "", "median ms", "best ms");
  std::printf("%-44s %10.1f %10.1f\n", "start to main window shown", 1000 * Median(startup),
              1000 * *std::min_element(startup.begin(), startup.end()));
  std::printf("%-44s %10.1f %10.1f\n", "update: click to completion message", 1000 * Median(update),
              1000 * *std::min_element(update.begin(), update.end()));
  std::printf("%-44s %10.1f %10.1f\n", "plain CreateFileA/WriteFile of the same bytes", 1000 * Median(plain),
              1000 * *std::min_element(plain.begin(), plain.end()));
  std::printf("update / plain write: %.1f; update throughput %.1f MB/s\n", Median(update) / Median(plain),
              bytes / 1e6 / Median(update));
  return 0;
}
