// Linked only into SETUP_creation_fault, a test copy of SETUP.exe: makes the creation of one
// window fail during start-up, as the environment variable SETUP_CREATION_FAULT says:
//   refuse:CLASS   the platform refuses the window of that class (not enough memory, code 8)
//   memory:CLASS   the window is made, then the program's next allocation fails (std::bad_alloc)
// A thread hook of the platform sees each window before it is created; the shipped program has
// neither the hook nor the allocation fault.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

char g_class[64];
bool g_refuse = false;
bool g_failNextAllocation = false;

LRESULT CALLBACK BeforeCreation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    char name[64] = {};
    GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name);
    if (g_class[0] && std::strcmp(name, g_class) == 0) {
      g_class[0] = '\0';  // once
      if (g_refuse) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 1;
      }
      g_failNextAllocation = true;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Runs before WinMain, on the thread that creates the windows.
struct FaultInstaller {
  FaultInstaller() {
    char fault[80] = {};
    if (!GetEnvironmentVariableA("SETUP_CREATION_FAULT", fault, sizeof fault)) return;
    const char* colon = std::strchr(fault, ':');
    if (!colon) return;
    g_refuse = std::strncmp(fault, "refuse", static_cast<size_t>(colon - fault)) == 0;
    lstrcpynA(g_class, colon + 1, sizeof g_class);
    SetWindowsHookExA(WH_CBT, BeforeCreation, nullptr, GetCurrentThreadId());
  }
} g_installer;

}  // namespace

void* operator new(std::size_t size) {
  if (g_failNextAllocation) {
    g_failNextAllocation = false;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
