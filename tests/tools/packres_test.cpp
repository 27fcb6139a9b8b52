// packres on the command line: round trips, and one-line failures with a non-zero exit that
// leave every input as it was.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "payload/sums.h"
#include "payload/unpack.h"
#include "tests/tools/packres_fixture.h"

namespace {

using testing_payload::Bytes;
using testing_payload::Packres;

Bytes Sample() {
  Bytes b;
  for (uint32_t i = 0; i < 50000; ++i) b.push_back(static_cast<uint8_t>((i * i) >> 7 ^ (i & 0x30)));
  return b;
}

TEST_F(Packres, PackUnpackInfoRoundTrip) {
  Write("in.bin", Sample());
  ASSERT_EQ(Run(Path("in.bin") + " " + Path("x")), 2);  // no command word
  ASSERT_EQ(Run("pack " + Path("in.bin") + " " + Path("c.pack")), 0) << Text("stderr");
  ASSERT_EQ(Run("unpack " + Path("c.pack") + " " + Path("out.bin")), 0) << Text("stderr");
  EXPECT_EQ(Read("out.bin"), Sample());
  ASSERT_EQ(Run("info " + Path("c.pack")), 0);
  const Bytes c = Read("c.pack");
  EXPECT_NE(Text("stdout").find("decoded 50000 bytes"), std::string::npos) << Text("stdout");
  EXPECT_NE(Text("stdout").find("packed body " + std::to_string(c.size() - 16) + " bytes"), std::string::npos);
}

// The digest resource holds one record per file, in the order given, of the file's SHA-256.
TEST_F(Packres, SumsRecordsEachFileUnderItsName) {
  Write("a.bin", Sample());
  Write("empty.bin", Bytes());
  ASSERT_EQ(Run("sums " + Path("SUMS.bin") + " EXE=" + Path("a.bin") + " DAT2=" + Path("empty.bin")), 0)
      << Text("stderr");
  const Bytes a = Sample();
  EXPECT_EQ(Read("SUMS.bin"), sums::Format({{"EXE", TSha256::Of(a.data(), a.size())}, {"DAT2", TSha256::Of("", 0)}}));
}

// A failed unpack leaves an existing output file as it was; a good one replaces it whole, with
// the permissions a plain create gives.
TEST_F(Packres, OutputAppearsOnlyWhenComplete) {
  const Bytes old = {'o', 'l', 'd'};
  Write("out.bin", old);
  Bytes corrupt(16 + 2);
  packed::WriteHeader(corrupt.data(), 2, 5);
  corrupt[16] = 0x80;  // a copy before the first byte
  Write("corrupt", corrupt);
  EXPECT_EQ(Run("unpack " + Path("corrupt") + " " + Path("out.bin")), 1);
  EXPECT_EQ(Read("out.bin"), old);
  Write("in.bin", Sample());
  ASSERT_EQ(Run("pack " + Path("in.bin") + " " + Path("c.pack")), 0) << Text("stderr");
  ASSERT_EQ(Run("unpack " + Path("c.pack") + " " + Path("out.bin")), 0) << Text("stderr");
  EXPECT_EQ(Read("out.bin"), Sample());
  EXPECT_EQ(Names("out.bin"), std::vector<std::string>{"out.bin"});
  struct stat st {};
  ASSERT_EQ(stat(Path("out.bin").c_str(), &st), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

// A full disk is told as such, naming the output, and nothing is left on it: 1 MiB of random
// bytes packed into a file system of 256 KiB of a mount namespace of the test's own.
TEST_F(Packres, FullDiskToldAsSuch) {
  if (std::system("unshare -rm true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespace of its own here (unshare -rm)";
  const std::string run = "mkdir $D/small && head -c 1M /dev/urandom >$D/in.bin && unshare -rm sh -c 'mount -t tmpfs -o "
                          "size=256k small $D/small && " + std::string(PACKRES) + " pack $D/in.bin $D/small/x 2>$D/stderr; ls -A $D/small >$D/left'";
  ASSERT_EQ(std::system(InDir(run).c_str()), 0);
  ExpectOneLineError(Path("small/x") + ": cannot write, the disk is full");
  EXPECT_EQ(Text("left"), "");
}

TEST_F(Packres, HelpGoesToStandardOutput) {
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_NE(Text("stdout").find("packres pack [--limit BYTES] IN OUT"), std::string::npos);
  EXPECT_TRUE(Text("stderr").empty());
}

struct CliCase {
  const char* name;
  std::string args;  // $D is replaced by the test's folder
  int exitCode;
  const char* message;
};

class PackresFailures : public Packres, public ::testing::WithParamInterface<CliCase> {};

TEST_P(PackresFailures, ReportOneLineAndFail) {
  Write("short", Bytes(10, 1));
  Bytes badSig(40, 0);
  Write("badsig", badSig);
  Bytes truncated(16 + 5, 0);
  packed::WriteHeader(truncated.data(), 100, 10);
  Write("truncated", truncated);
  Bytes corrupt = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x00};
  packed::WriteHeader(corrupt.data(), 2, 5);
  Write("corrupt", corrupt);
  Bytes negative(20, 0);
  packed::WriteHeader(negative.data(), -4, 5);
  Write("negative", negative);
  Write("huge", {});
  ASSERT_EQ(truncate(Path("huge").c_str(), off_t{1} << 31), 0);  // sparse: one byte more than a container holds
  ASSERT_EQ(link(Path("short").c_str(), Path("short.link").c_str()), 0);
  ASSERT_EQ(symlink(Path("corrupt").c_str(), Path("corrupt.sym").c_str()), 0);

  EXPECT_EQ(Run(InDir(GetParam().args)), GetParam().exitCode);
  ExpectOneLineError(GetParam().message);
  // Nothing under the output's name, no temporary file left beside it, no input changed.
  EXPECT_EQ(Names("x"), std::vector<std::string>{});
  EXPECT_EQ(Names("short"), (std::vector<std::string>{"short", "short.link"}));
  EXPECT_EQ(Read("short"), Bytes(10, 1));
  EXPECT_EQ(Read("corrupt"), corrupt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PackresFailures,
    ::testing::Values(CliCase{"NoArguments", "", 2, "bad arguments"},
                      CliCase{"UnknownCommand", "squash $D/short $D/x", 2, "bad arguments"},
                      CliCase{"MissingOperand", "pack $D/short", 2, "bad arguments"},
                      CliCase{"MissingInput", "pack $D/none $D/x", 1, "cannot open"},
                      CliCase{"InputIsAFolder", "pack $D $D/x", 1, "read error"},
                      CliCase{"InfoOnAFolder", "info $D", 1, "read error"},
                      CliCase{"SumsOfAFolderUnderALimit", "sums --limit 10 $D/x EXE=$D", 1, "read error"},
                      CliCase{"UnwritableOutput", "pack $D/short $D/no/such/dir/x", 1, "cannot create"},
                      CliCase{"InfoOnTenBytes", "info $D/short", 1, "not a container"},
                      CliCase{"InfoOnBadSignature", "info $D/badsig", 1, "bad signature"},
                      CliCase{"UnpackTruncated", "unpack $D/truncated $D/x", 1, "truncated"},
                      CliCase{"UnpackCorruptBody", "unpack $D/corrupt $D/x", 1, "corrupt"},
                      CliCase{"UnpackNegativeSize", "unpack $D/negative $D/x", 1, "negative size"},
                      CliCase{"SumsWithoutName", "sums $D/x $D/short", 1, "expected NAME=FILE"},
                      CliCase{"SumsNameTooLong", "sums $D/x NINECHARS=$D/short", 1, "1 to 8"},
                      CliCase{"SumsMissingFile", "sums $D/x EXE=$D/none", 1, "cannot open"},
                      CliCase{"PackOver2GiB", "pack $D/huge $D/x", 1, "more than the 2,147,483,647 a container can hold"},
                      CliCase{"PackOverTheLimit", "pack --limit 9 $D/short $D/x", 1, "10 bytes, over the limit of 9"},
                      CliCase{"SumsOverTheLimit", "sums --limit 19 $D/x EXE=$D/short DAT2=$D/short.link", 1,
                              "20 bytes together, over the limit of 19"},
                      CliCase{"SumsOverAThreeDigitLimit", "sums --limit 999 $D/x EXE=$D/huge", 1, "over the limit of 999"},
                      CliCase{"LimitNotANumber", "pack --limit 1k $D/short $D/x", 1, "not a number"},
                      CliCase{"PackOntoItsInput", "pack $D/short $D/./short", 1, "is the input"},
                      CliCase{"PackOntoAHardLinkOfItsInput", "pack $D/short $D/short.link", 1, "is the input"},
                      CliCase{"UnpackOntoItsInput", "unpack $D/corrupt $D/corrupt", 1, "is the input"},
                      CliCase{"UnpackOntoALinkToItsInput", "unpack $D/corrupt $D/corrupt.sym", 1, "is the input"},
                      CliCase{"SumsOntoAFileItDigests", "sums $D/short.link EXE=$D/short", 1, "is the input"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
