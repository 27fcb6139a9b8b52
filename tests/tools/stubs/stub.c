/* A minimal program carrying the resources of an updater, for the tests of make-setup's
   reader and writer: built for both PE32 and PE32+ by make-stubs. */
#include <windows.h>

static char scratch[64];

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)previous;
  (void)commandLine;
  (void)show;
  /* An absolute address in data, so that the image has base relocations. */
  static char* const where = scratch;
  return FindResourceA(instance, "EXE", MAKEINTRESOURCEA(10)) != NULL && where[0] == 0;
}
