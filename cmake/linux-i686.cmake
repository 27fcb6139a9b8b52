# 32-bit x86 Linux with the build machine's multilib compiler: the portable code and its unit
# tests as 32-bit programs, where size_t and the address space are as small as the shipped
# program's. Tests run through scripts/run-i386 (directly where i386 programs run, else qemu-i386).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
find_program(CMAKE_C_COMPILER NAMES gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES g++ REQUIRED)
# 64-bit file offsets and inode numbers: without them readdir() and stat() fail with EOVERFLOW on
# file systems whose inode numbers do not fit 32 bits, and files stop at 2 GiB.
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/run-i386)
