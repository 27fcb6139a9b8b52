// A program linked without the loader's protections and with its link time, importing an
// unprotected DLL and naming its own source file: the header check must reject it.
#include <windows.h>

#include <cstdio>

int main(int argc, char**) {
  // Referenced, so that MSIMG32 stays in the import table and the path in the file; never run.
  if (argc > 99) std::puts(__FILE__);
  return argc > 99 ? TransparentBlt(nullptr, 0, 0, 1, 1, nullptr, 0, 0, 1, 1, 0) : 0;
}
