// Checks that Windows programs are built as shipped programs must be (see hardening.h) and prints
// each shortfall; or lists the DLL names a DLL planted beside a program could take.
//   pecheck [--not-holding TEXT]... PROGRAM.exe...
//                                   exit code: 0 when every program passed, 1 otherwise, 2 usage;
//                                   TEXT: a build folder no program may name
//   pecheck --plantable PROGRAM.exe one name a line; exit code 1 when the file cannot be read
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/security/hardening.h"

namespace {

std::vector<uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--plantable") {
    try {
      const std::vector<uint8_t> file = ReadFile(argv[2]);
      for (const std::string& name : hardening::PlantableDlls(hardening::ReadImage(file), file)) std::printf("%s\n", name.c_str());
      return 0;
    } catch (const std::runtime_error& e) {
      std::fprintf(stderr, "%s: unreadable: %s\n", argv[2], e.what());
      return 1;
    }
  }
  std::vector<std::string> paths;
  int first = 1;
  for (; first + 1 < argc && std::string(argv[first]) == "--not-holding"; first += 2) paths.push_back(argv[first + 1]);
  if (first >= argc || argv[first][0] == '-') {
    std::fprintf(stderr, "usage: pecheck [--not-holding TEXT]... PROGRAM.exe... | pecheck --plantable PROGRAM.exe\n");
    return 2;
  }
  int faulty = 0;
  for (int i = first; i < argc; ++i) {
    std::vector<std::string> faults;
    try {
      const std::vector<uint8_t> file = ReadFile(argv[i]);
      faults = hardening::HardeningFaults(hardening::ReadImage(file));
      for (const std::string& fault : hardening::BuildPathFaults(file, paths)) faults.push_back(fault);
    } catch (const std::runtime_error& e) {
      faults.push_back(std::string("unreadable: ") + e.what());
    }
    for (const std::string& fault : faults) std::printf("%s: %s\n", argv[i], fault.c_str());
    if (faults.empty()) std::printf("%s: hardened\n", argv[i]);
    faulty += !faults.empty();
  }
  return faulty == 0 ? 0 : 1;
}
