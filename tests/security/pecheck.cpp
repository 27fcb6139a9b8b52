// Checks that Windows programs are built as shipped programs must be (see hardening.h) and prints
// each shortfall; or that they carry every resource SETUP.exe loads (resource_check.h); or lists
// the DLL names a DLL planted beside a program could take.
//   pecheck [--not-holding TEXT]... PROGRAM.exe...
//                                   exit code: 0 when every program passed, 1 otherwise, 2 usage;
//                                   TEXT: a build folder no program may name
//   pecheck --resources PROGRAM.exe...  each resource lacking; exit code as above
//   pecheck --plantable PROGRAM.exe one name a line; exit code 1 when the file cannot be read
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/security/hardening.h"
#include "tests/security/resource_check.h"

namespace {

std::vector<uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Each program's lacks, one a line, or one line saying it carries them all.
int CheckResources(int count, char** paths) {
  const std::vector<resource_names::Resource> needed = resource_names::Needed();
  int faulty = 0;
  for (int i = 0; i < count; ++i) {
    std::vector<std::string> lacks;
    try {
      lacks = resource_check::Missing(pe::Image::Parse(ReadFile(paths[i])).Resources(), needed);
    } catch (const std::runtime_error& e) {
      lacks.push_back(std::string("unreadable: ") + e.what());
    }
    for (const std::string& lack : lacks) std::printf("%s: %s\n", paths[i], lack.c_str());
    if (lacks.empty()) std::printf("%s: carries the %zu resources it loads\n", paths[i], needed.size());
    faulty += !lacks.empty();
  }
  return faulty == 0 ? 0 : 1;
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
  if (argc >= 3 && std::string(argv[1]) == "--resources") return CheckResources(argc - 2, argv + 2);
  std::vector<std::string> paths;
  int first = 1;
  for (; first + 1 < argc && std::string(argv[first]) == "--not-holding"; first += 2) paths.push_back(argv[first + 1]);
  if (first >= argc || argv[first][0] == '-') {
    std::fprintf(stderr, "usage: pecheck [--not-holding TEXT]... PROGRAM.exe... | pecheck --resources PROGRAM.exe... | pecheck --plantable PROGRAM.exe\n");
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
