/* Stand-in for the game executable in the sample payload: a small Win32 program that says what
   it is. tools/make-samples builds it and pads it with the sample's tables. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  MessageBoxA(NULL, "VELDRAN sample replacement file (not the game).", "VELDRAN", MB_OK | MB_ICONINFORMATION);
  return 0;
}
