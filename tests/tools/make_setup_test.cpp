// packres make-setup on the command line: the payloads, digests and version of the updater it
// writes (the same bytes for the same inputs), its own output replaced, digests added to a stub
// without them, and bad input (a file it did not make under the output's name too) refused in
// one line with the output left as it was.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "payload/unpack.h"
#include "tests/tools/packres_fixture.h"
#include "tools/pe_image.h"

namespace {

using testing_payload::Bytes;

Bytes Sample(size_t size, uint32_t seed) {
  Bytes b;
  for (uint32_t i = 0; i < size; ++i) b.push_back(static_cast<uint8_t>((i * seed) >> 5 ^ (i & 0x70)));
  return b;
}

class MakeSetup : public testing_payload::Packres {
 protected:
  void SetUp() override {
    Packres::SetUp();
    std::filesystem::copy_file(std::string(STUBS_DIR) + "/stub32.exe", Path("stub.exe"));
    // A Windows program, as --exe must be, whose sections end past the 64 KiB read of its headers.
    pe::Image exe = pe::Image::Parse(Read("stub.exe"));
    exe.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name("OTHER"))[0]->data = Sample(70000, 3);
    Write("exe.bin", exe.Build());
    Write("dat2.bin", Sample(9000, 11));
  }

  static Bytes Resource(const pe::Image& image, const char* name, uint16_t type = pe::kRtRcdata) {
    for (const pe::Resource& r : image.Resources())
      if (r.type.Matches(pe::ResourceId::Number(type)) &&
          (name ? r.name.Matches(pe::ResourceId::Name(name)) : r.name.Matches(pe::ResourceId::Number(1))))
        return r.data;
    return {};
  }

  long FileCount() const {
    return std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator());
  }

  static Bytes Decoded(const Bytes& container) {
    TMemoryStream source(container), out;
    UnpackResource(source, out);
    return out.Bytes();
  }
};

TEST_F(MakeSetup, PayloadsDigestsAndVersion) {
  ASSERT_EQ(Run(InDir("make-setup $D/stub.exe $D/first.exe --exe $D/exe.bin --dat2 $D/dat2.bin")), 0) << Text("stderr");
  ASSERT_EQ(Run(InDir("make-setup $D/stub.exe $D/out.exe --exe $D/exe.bin --dat2 $D/dat2.bin")), 0) << Text("stderr");
  EXPECT_EQ(Read("out.exe"), Read("first.exe")) << "not a function of the inputs alone";
  const pe::Image stub = pe::Image::Parse(Read("stub.exe"));
  pe::Image out = pe::Image::Parse(Read("out.exe"));
  EXPECT_EQ(Decoded(Resource(out, "EXE")), Read("exe.bin"));
  EXPECT_EQ(Decoded(Resource(out, "DAT2")), Read("dat2.bin"));
  Bytes sums;
  for (const char* name : {"EXE", "DAT2"}) {
    char field[8] = {};
    std::memcpy(field, name, std::strlen(name));
    sums.insert(sums.end(), field, field + 8);
    const Bytes file = Read(std::string(name) == "EXE" ? "exe.bin" : "dat2.bin");
    const TSha256::Digest d = TSha256::Of(file.data(), file.size());
    sums.insert(sums.end(), d.begin(), d.end());
  }
  EXPECT_EQ(Resource(out, "SUMS"), sums);
  EXPECT_EQ(Resource(out, "OTHER"), Resource(stub, "OTHER"));
  EXPECT_EQ(Resource(out, nullptr, pe::kRtVersion), Resource(stub, nullptr, pe::kRtVersion));
  EXPECT_EQ(out.Resources().size(), stub.Resources().size());

  // Again over its own output, with a version: replaced whole, no temporary left behind.
  ASSERT_EQ(Run(InDir("make-setup $D/stub.exe $D/out.exe --version 2.5.1 --exe $D/stub.exe --dat2 $D/exe.bin")), 0);
  out = pe::Image::Parse(Read("out.exe"));
  EXPECT_EQ(Decoded(Resource(out, "EXE")), Read("stub.exe"));
  const Bytes version = Resource(out, nullptr, pe::kRtVersion);
  EXPECT_EQ(version[48] | version[49] << 8 | version[50] << 16 | version[51] << 24, 2 << 16 | 5);
  EXPECT_EQ(FileCount(), 7);  // stub, two inputs, two outputs, stdout, stderr
}

// A stub without digests would make an updater that can never install: they are added.
TEST_F(MakeSetup, DigestsAddedToAStubWithout) {
  pe::Image noSums = pe::Image::Parse(Read("stub.exe"));
  noSums.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name("SUMS"))[0]->name = pe::ResourceId::Name("OLDSUMS");
  Write("nosums.exe", noSums.Build());
  ASSERT_EQ(Run(InDir("make-setup $D/nosums.exe $D/out.exe --exe $D/exe.bin --dat2 $D/dat2.bin")), 0) << Text("stderr");
  ASSERT_EQ(Run(InDir("make-setup $D/stub.exe $D/with.exe --exe $D/exe.bin --dat2 $D/dat2.bin")), 0) << Text("stderr");
  const pe::Image out = pe::Image::Parse(Read("out.exe"));
  EXPECT_EQ(Resource(out, "SUMS"), Resource(pe::Image::Parse(Read("with.exe")), "SUMS"));
  const std::string old = "old sums";
  EXPECT_EQ(Resource(out, "OLDSUMS"), Bytes(old.begin(), old.end()));
}

// Interrupted while it packs, make-setup removes the temporary files beside the output, says so
// in one line and ends as the signal would have ended it.
TEST_F(MakeSetup, InterruptedItRemovesItsTemporaryFiles) {
  // A program with 64 MiB of random bytes after it, so that packing takes seconds.
  ASSERT_EQ(std::system(InDir("cat $D/exe.bin >$D/big.exe && head -c 64M /dev/urandom >>$D/big.exe").c_str()), 0);
  const std::string command =
      InDir("exec " + std::string(PACKRES) + " make-setup $D/stub.exe $D/out.exe --exe $D/big.exe --dat2 $D/dat2.bin 2>$D/stderr");
  for (int signal : {SIGTERM, SIGINT}) {
    const pid_t pid = fork();
    if (pid == 0) {
      ::signal(SIGINT, SIG_DFL);  // as at a terminal, even where the tests run in the background
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 3000 && Names("out.exe.").size() < 2; ++i) usleep(10000);  // both containers begun
    kill(pid, signal);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    ExpectOneLineError("packres: interrupted; removed the temporary files of " + Path("out.exe") + "\n");
    EXPECT_EQ(Names("out.exe"), std::vector<std::string>{});
  }
}

struct BadInput {
  const char* name;
  std::string args;  // $D is the test's folder; $D/out.exe exists; nothing there may change
  const char* message;
};

class MakeSetupRefuses : public MakeSetup, public ::testing::WithParamInterface<BadInput> {};

TEST_P(MakeSetupRefuses, InOneLineLeavingTheOutput) {
  Write("text.exe", Bytes(300, 'x'));
  pe::Image noDat2 = pe::Image::Parse(Read("stub.exe"));
  noDat2.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name("DAT2"))[0]->name = pe::ResourceId::Name("DAT3");
  Write("nodat2.exe", noDat2.Build());
  Write("huge.bin", {});
  std::filesystem::resize_file(Path("huge.bin"), uint64_t{1} << 31);  // sparse: 2 GiB
  Write("half.bin", {});
  std::filesystem::resize_file(Path("half.bin"), (uint64_t{1} << 30) - 8999);  // with dat2.bin one byte too many
  std::filesystem::create_hard_link(Path("exe.bin"), Path("exe.link"));
  std::filesystem::create_symlink(Path("stub.exe"), Path("stub.sym"));
  Write("out.exe", Bytes{'k', 'e', 'e', 'p'});
  Write("empty.bin", {});
  const Bytes stub = Read("stub.exe"), exe = Read("exe.bin");

  EXPECT_NE(Run(InDir(GetParam().args)), 0);
  ExpectOneLineError(GetParam().message);
  EXPECT_EQ(Text("out.exe"), "keep");
  EXPECT_EQ(Read("stub.exe"), stub);
  EXPECT_EQ(Read("exe.bin"), exe);
  EXPECT_EQ(FileCount(), 13) << "a file was left behind";
}

const std::string kInputs = " --exe $D/exe.bin --dat2 $D/dat2.bin";

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeSetupRefuses,
    ::testing::Values(BadInput{"StubIsText", "make-setup $D/text.exe $D/out.exe" + kInputs, "no MZ header"},
                      BadInput{"StubWithoutDat2", "make-setup $D/nodat2.exe $D/out.exe" + kInputs, "no \"DAT2\""},
                      BadInput{"StubMissing", "make-setup $D/none.exe $D/out.exe" + kInputs, "none.exe: no such file"},
                      BadInput{"ExeMissing", "make-setup $D/stub.exe $D/out.exe --exe $D/no.bin --dat2 $D/dat2.bin",
                               "no.bin: no such file"},
                      BadInput{"Dat2IsAFolder", "make-setup $D/stub.exe $D/out.exe --exe $D/exe.bin --dat2 $D",
                               "not a file"},
                      BadInput{"ExeOver2GiB", "make-setup $D/stub.exe $D/out.exe --exe $D/huge.bin --dat2 $D/dat2.bin",
                               "over the 1,073,741,824 bytes (1 GiB)"},
                      BadInput{"TogetherOver1GiB", "make-setup $D/stub.exe $D/out.exe --exe $D/half.bin --dat2 $D/dat2.bin",
                               "1,073,741,825 bytes together"},
                      BadInput{"OutIsStub", "make-setup $D/stub.exe $D/stub.exe" + kInputs, "is the stub"},
                      BadInput{"OutIsStubSpeltOtherwise", "make-setup $D/stub.exe $D/./stub.exe" + kInputs, "is the stub"},
                      BadInput{"OutIsALinkToTheStub", "make-setup $D/stub.exe $D/stub.sym" + kInputs, "is the stub"},
                      BadInput{"OutIsTheNewExe", "make-setup $D/stub.exe $D/exe.bin" + kInputs, "is an input file"},
                      BadInput{"OutIsAHardLinkToTheNewExe", "make-setup $D/stub.exe $D/exe.link" + kInputs, "is an input file"},
                      BadInput{"ExeEmpty", "make-setup $D/stub.exe $D/new.exe --exe $D/empty.bin --dat2 $D/dat2.bin",
                               "empty.bin: is empty; --exe expects"},
                      BadInput{"Dat2Empty", "make-setup $D/stub.exe $D/new.exe --exe $D/exe.bin --dat2 $D/empty.bin",
                               "empty.bin: is empty; --dat2 expects"},
                      BadInput{"OneFileTwice", "make-setup $D/stub.exe $D/new.exe --exe $D/exe.bin --dat2 $D/exe.link",
                               "exe.link: is the --exe file too"},
                      BadInput{"OptionsSwapped", "make-setup $D/stub.exe $D/new.exe --exe $D/dat2.bin --dat2 $D/exe.bin",
                               "dat2.bin: not an executable (no MZ header); --exe expects"},
                      BadInput{"OutNotMadeByMakeSetup", "make-setup $D/stub.exe $D/out.exe" + kInputs, "out.exe: exists and was not made"},
                      BadInput{"OverAStub", "make-setup " STUBS_DIR "/stub64.exe $D/stub.sym" + kInputs, "stub.sym: exists and was not made"},
                      BadInput{"OutInMissingFolder", "make-setup $D/stub.exe $D/no/out.exe" + kInputs, "cannot create"},
                      BadInput{"BadVersion", "make-setup $D/stub.exe $D/out.exe --version 1.x" + kInputs, "bad version"},
                      BadInput{"NoDat2Option", "make-setup $D/stub.exe $D/out.exe --exe $D/exe.bin", "usage"},
                      BadInput{"UnknownOption", "make-setup $D/stub.exe $D/out.exe --fast" + kInputs, "unknown option"},
                      BadInput{"ValueMissing", "make-setup $D/stub.exe $D/out.exe" + kInputs + " --version", "needs one value"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
