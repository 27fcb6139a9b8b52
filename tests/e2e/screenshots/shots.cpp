// Pictures of the program's windows for the documentation: each scenario brings one window up,
// saves it as NAME.bmp into the folder named by E2E_SHOTS (default: beside this program) and
// closes it again. scripts/screenshots runs them and converts the pictures to PNG.
#include <cstdlib>

#include "tests/e2e/driver/driver.h"

using namespace e2e;

namespace {

std::string ShotsDir() {
  const char* dir = std::getenv("E2E_SHOTS");
  std::string s = dir && *dir ? dir : AppDir();
  if (s.back() != '\\' && s.back() != '/') s += '\\';
  return s;
}

// Saves the window as it is on the screen.
void Shoot(HWND hwnd, const char* name) {
  // Without a window manager Wine can leave the active window's caption drawn inactive.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(hwnd, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, 3000, &ignored);
  Bitmap picture = Capture(hwnd);
  E2E_REQUIRE(!picture.Empty());
  const std::string path = ShotsDir() + name + ".bmp";
  E2E_CHECK(picture.SaveBmp(path));
  std::printf("saved %s (%dx%d)\n", path.c_str(), picture.width, picture.height);
}

// Launches `exe` with `args`, waits for a window of `className` (and `caption`), saves it,
// then closes it with its close box and waits for the program to end.
void ShootWindow(const char* name, const char* exe, const std::vector<std::string>& args,
                 const char* className, const char* caption) {
  Process p = Process::Launch(exe, args);
  E2E_REQUIRE(p.Started());
  HWND hwnd = WaitWindow(p.Id(), className, caption);
  E2E_REQUIRE(hwnd != nullptr);
  Activate(hwnd);
  Shoot(hwnd, name);
  CloseBox(hwnd);
  if (!p.WaitExit(5000)) p.Kill();
}

}  // namespace

E2E_SCENARIO(fixture) {
  ShootWindow("fixture", "fixture.exe", {}, "E2EFixture", nullptr);
}

int main(int argc, char** argv) { return RunScenarios(argc, argv); }
