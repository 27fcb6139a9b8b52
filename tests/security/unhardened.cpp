// A program linked without the loader's protections and importing an unprotected DLL: the
// header check must reject it.
#include <windows.h>

int main(int argc, char**) {
  // Referenced, so that MSIMG32 stays in the import table; never called.
  return argc > 99 ? TransparentBlt(nullptr, 0, 0, 1, 1, nullptr, 0, 0, 1, 1, 0) : 0;
}
