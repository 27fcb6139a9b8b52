// make-setup: a ready updater made from a built SETUP.exe and two replacement files, with no
// compiler: the stub's "EXE" and "DAT2" containers (and its "SUMS" digests, when it has them)
// are replaced; every other resource and all program bytes stay.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace make_setup {

// The largest file a container can hold: its sizes are signed 32-bit fields.
constexpr uint64_t kMaxFileSize = 0x7FFFFFFF;

struct Options {
  std::string stub, out, exe, dat2;
  std::string version;  // empty: keep the stub's
};

// Reads "STUB OUT --exe FILE --dat2 FILE [--version X.Y.Z]"; throws std::invalid_argument.
Options ParseArguments(const std::vector<std::string>& args);

// The updater's bytes. Failures throw std::runtime_error with a one-line reason.
std::vector<uint8_t> BuildUpdater(std::vector<uint8_t> stub, const std::vector<uint8_t>& exe,
                                  const std::vector<uint8_t>& dat2, const std::string& version);

// The command: reads the three files, writes OUT under a temporary name and renames it, so
// that OUT is never left half written; prints one line on success.
int MakeSetup(const std::vector<std::string>& args);

}  // namespace make_setup
