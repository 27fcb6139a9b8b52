// make-setup: a ready updater made from a built SETUP.exe and two replacement files, with no
// compiler: the stub's "EXE" and "DAT2" containers and its "SUMS" digests (added where the stub
// has none) are replaced; every other resource and all program bytes stay.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace make_setup {

// The most the two replacement files may hold together. SETUP.exe is a 32-bit program that is not
// large-address-aware: Windows maps the whole updater, containers included, into its 2 GiB of
// address space, and a container of incompressible data is 3 % larger than its file; 1 GiB of
// files leaves room for the program, its libraries and the decoder.
constexpr uint64_t kMaxPayloads = uint64_t{1} << 30;

struct Options {
  std::string stub, out, exe, dat2;
  std::string version;  // empty: keep the stub's
};

// Reads "STUB OUT --exe FILE --dat2 FILE [--version X.Y.Z]"; throws std::invalid_argument.
Options ParseArguments(const std::vector<std::string>& args);

// The command: checks the inputs, packs and verifies each file into a temporary container beside
// OUT, writes OUT under a temporary name, streaming the containers into it, and renames it, so
// that OUT is never left half written; an existing OUT only when make-setup made it (its mark is
// in the DOS header). Memory: the stub and about 25 MiB, whatever the files' size.
// Failures throw cli::Failure (or std::runtime_error) with a one-line reason; prints one line on
// success.
int MakeSetup(const std::vector<std::string>& args);

}  // namespace make_setup
