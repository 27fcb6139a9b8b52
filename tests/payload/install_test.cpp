// The install sequence over the crash-modelling file system: its failures and their order, the
// digest check, and by exhaustion every crash point (of the update and of the recovery after
// it) and every operation failing once, each ending in exactly the previous or the new release.
#include "payload/install.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <type_traits>

#include "base/failure.h"
#include "base/sha256.h"
#include "payload/sums.h"
#include "payload/unpack.h"
#include "tests/payload/crash_fs.h"

using crash_model::TCrash;
using crash_model::TCrashFs;

namespace {

const std::string kDir = "G:\\Game\\";
const std::string kExe = kDir + "VELDRAN.EXE";
const std::string kDat2 = kDir + "mg_data2.mbl";
const std::string kMarker = kDir + "mg_data.mbl";
const std::string kUsersTmp = kDir + "vdn0000.tmp";  // the user's own file, in the update's naming

std::string Pattern(size_t size, char seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + (i * 7 + i / 13) % 61);
  return s;
}

const std::string kOldExe = Pattern(2500, 'a');
const std::string kOldDat2 = Pattern(1500, 'A');
const std::string kNewExe = Pattern(3000, '0');
const std::string kNewDat2 = Pattern(2000, '!');

// A container of single literals: eight tokens behind each flag byte 00.
std::vector<uint8_t> Container(const std::string& data) {
  std::vector<uint8_t> body;
  for (size_t i = 0; i < data.size(); ++i) {
    if (i % 8 == 0) body.push_back(0);
    body.push_back(static_cast<uint8_t>(data[i]));
  }
  std::vector<uint8_t> c(packed::kHeaderSize);
  packed::WriteHeader(c.data(), static_cast<int32_t>(body.size()), static_cast<int32_t>(data.size()));
  c.insert(c.end(), body.begin(), body.end());
  return c;
}

class TSource : public TPayloadSource {
 public:
  TSource() {
    containers["EXE"] = Container(kNewExe);
    containers["DAT2"] = Container(kNewDat2);
    sums = sums::Format({{"EXE", TSha256::Of(kNewExe.data(), kNewExe.size())},
                         {"DAT2", TSha256::Of(kNewDat2.data(), kNewDat2.size())}});
  }
  std::unique_ptr<TStream> Open(const std::string& name) override {
    if (!containers.count(name)) throw EResNotFound(name);
    return std::make_unique<TMemoryStream>(containers[name]);
  }
  std::vector<uint8_t> Sums() override {
    if (!sums) throw EResNotFound("SUMS");
    return *sums;
  }

  std::map<std::string, std::vector<uint8_t>> containers;
  std::optional<std::vector<uint8_t>> sums;
};

struct TScenario {
  bool dat2Existed = true;  // false: the archive is new to this folder
  bool links = true;        // false: a volume without hard links; previous files are copied
  bool unflushedSurvives = true;
};

TCrashFs OldFolder(const TScenario& s) {
  TCrashFs fs;
  fs.LinksSupported = s.links;
  fs.Put(kExe, kOldExe);
  if (s.dat2Existed) fs.Put(kDat2, kOldDat2);
  fs.Put(kMarker, "marker");
  fs.Put(kUsersTmp, "the user's own notes");
  return fs;
}

void Install(TFileOps& fs, TSource& source) { InstallPayloads(fs, source, {{"EXE", kExe}, {"DAT2", kDat2}}); }

void Install(TFileOps& fs) {
  TSource source;
  Install(fs, source);
}

// "old" or "new" when the folder holds exactly that release beside the user's files and nothing
// else; otherwise what is wrong.
std::string Release(const TCrashFs& fs, const TScenario& s) {
  std::vector<std::string> expected = {kDat2, kExe, kMarker, kUsersTmp};
  std::sort(expected.begin(), expected.end());
  const std::vector<std::string> paths = fs.Paths();
  const bool newNames = paths == expected;
  if (!s.dat2Existed) expected.erase(std::find(expected.begin(), expected.end(), kDat2));
  const bool oldNames = paths == expected;
  std::string listing;
  for (const std::string& p : paths) listing += " " + p.substr(kDir.size()) + "(" + std::to_string(fs.Content(p).size()) + ")";
  if (!oldNames && !newNames) return "files:" + listing;
  if (fs.Content(kMarker) != "marker" || fs.Content(kUsersTmp) != "the user's own notes") return "user's files changed";
  if (oldNames && fs.Content(kExe) == kOldExe && (!s.dat2Existed || fs.Content(kDat2) == kOldDat2)) return "old";
  if (newNames && fs.Content(kExe) == kNewExe && fs.Content(kDat2) == kNewDat2) return "new";
  return "mixed or damaged:" + listing;
}

std::vector<TScenario> AllScenarios() {
  std::vector<TScenario> all;
  for (bool existed : {true, false})
    for (bool links : {true, false})
      for (bool survives : {true, false}) all.push_back({existed, links, survives});
  return all;
}

std::string Name(const TScenario& s) {
  return std::string(s.dat2Existed ? "archive existed" : "archive new") + (s.links ? ", links" : ", copies") +
         (s.unflushedSurvives ? ", unflushed data survives" : ", unflushed data lost");
}

// Index in a clean run's log of the move that commits the update (the journal's second
// replacement); a crash after it must end in the new release, one before it in the old.
long CommitOp(const TCrashFs& clean) {
  const std::string journalMove =
      "Replace " + kDir + install::kJournalTempName + " " + kDir + install::kJournalName;
  int seen = 0;
  for (size_t i = 0; i < clean.Log().size(); ++i)
    if (clean.Log()[i] == journalMove && ++seen == 2) return static_cast<long>(i);
  return -1;
}

template <typename E>
std::string FailureOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const Exception& e) {
    bool kind = true;
    if constexpr (!std::is_same_v<E, Exception>) kind = dynamic_cast<const E*>(&e) != nullptr;
    return kind ? e.Message() : "wrong kind: " + e.Message();
  }
  return "no failure";
}

}  // namespace

TEST(Install, SucceedsWithTheNewReleaseAndNothingElse) {
  for (const TScenario& s : AllScenarios()) {
    TCrashFs fs = OldFolder(s);
    Install(fs);
    EXPECT_EQ(Release(fs, s), "new") << Name(s);
    // Everything that makes it up is on disk: a power cut right after changes nothing.
    EXPECT_EQ(Release(fs.Survivor(false), s), "new") << Name(s);
  }
}

// A damaged byte in either container, or a record that does not match, installs nothing.
TEST(Install, DigestMismatchFailsWithReadErrorAndKeepsThePreviousFiles) {
  const TScenario s;
  for (const std::string name : {"EXE", "DAT2"}) {
    TSource source;
    source.containers[name][packed::kHeaderSize + 100] ^= 0x04;  // the 89th byte's literal
    TCrashFs fs = OldFolder(s);
    EXPECT_EQ(FailureOf<EReadError>([&] { Install(fs, source); }), EReadError().Message()) << name;
    EXPECT_EQ(Release(fs, s), "old") << name;
  }
  TSource swapped;
  std::swap(swapped.containers["EXE"], swapped.containers["DAT2"]);
  TCrashFs fs = OldFolder(s);
  EXPECT_EQ(FailureOf<EReadError>([&] { Install(fs, swapped); }), EReadError().Message());
  EXPECT_EQ(Release(fs, s), "old");
}

// The failures that were there before keep their messages and their order; the digest resource
// is looked for right after the first payload, and missing, fails like a missing payload.
TEST(Install, MissingResourcesFailInOrderAndTouchNothing) {
  const TScenario s;
  struct Case {
    const char* what;
    std::function<void(TSource&)> damage;
    std::string message;
  };
  const Case cases[] = {
      {"no EXE", [](TSource& src) { src.containers.erase("EXE"); }, EResNotFound("EXE").Message()},
      {"no EXE nor SUMS", [](TSource& src) { src.containers.erase("EXE"), src.sums.reset(); },
       EResNotFound("EXE").Message()},
      {"no SUMS", [](TSource& src) { src.sums.reset(); }, EResNotFound("SUMS").Message()},
      {"no DAT2", [](TSource& src) { src.containers.erase("DAT2"); }, EResNotFound("DAT2").Message()},
      {"no record for DAT2",
       [](TSource& src) { src.sums = sums::Format({{"EXE", TSha256::Of(kNewExe.data(), kNewExe.size())}}); },
       EResNotFound("SUMS").Message()},
      {"short DAT2", [](TSource& src) { src.containers["DAT2"].resize(500); }, EReadError().Message()},
  };
  for (const Case& c : cases) {
    TSource source;
    c.damage(source);
    TCrashFs fs = OldFolder(s);
    EXPECT_EQ(FailureOf<Exception>([&] { Install(fs, source); }), c.message) << c.what;
    EXPECT_EQ(Release(fs, s), "old") << c.what;
  }
}

TEST(Install, TargetsThatCannotBeReplacedAreFoundBeforeDecoding) {
  const TScenario s;
  for (const std::string& held : {kExe, kDat2}) {
    TCrashFs fs = OldFolder(s);
    fs.Held.insert(held);
    EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(fs); }), EFCreateError(held).Message());
    EXPECT_EQ(Release(fs, s), "old");
  }
  TCrashFs empty;  // no folder at all
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(empty); }), EFCreateError(kExe).Message());
  EXPECT_TRUE(empty.Paths().empty());
}

// The archive cannot be moved in, and the executable's previous file cannot be moved back: the
// previous file keeps its second name, the journal stays, and the next start restores it.
TEST(Install, RestoreNeverDeletesTheOnlyCopy) {
  const TScenario s;
  TCrashFs clean = OldFolder(s);
  Install(clean);
  long moveArchive = -1, restoreExe = -1;
  TCrashFs fs = OldFolder(s);
  for (size_t i = 0; i < clean.Log().size(); ++i)
    if (clean.Log()[i].find("Replace ") == 0 && clean.Log()[i].size() > kDat2.size() &&
        clean.Log()[i].compare(clean.Log()[i].size() - kDat2.size(), kDat2.size(), kDat2) == 0)
      moveArchive = static_cast<long>(i);
  ASSERT_GE(moveArchive, 0);
  fs.FailAt(moveArchive);
  TCrashFs probe = OldFolder(s);
  probe.FailAt(moveArchive);
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(probe); }), EFCreateError(kDat2).Message());
  EXPECT_EQ(Release(probe, s), "old");
  for (size_t i = moveArchive + 1; i < probe.Log().size(); ++i)
    if (probe.Log()[i].find("Replace ") == 0 && probe.Log()[i].compare(probe.Log()[i].size() - kExe.size(), kExe.size(), kExe) == 0)
      restoreExe = static_cast<long>(i);
  ASSERT_GT(restoreExe, moveArchive);
  fs.FailAt(restoreExe);
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(fs); }), EFCreateError(kDat2).Message());
  int copiesOfOld = 0;
  for (const std::string& p : fs.Paths()) copiesOfOld += fs.Content(p) == kOldExe;
  EXPECT_EQ(copiesOfOld, 1) << "the previous executable survives under its second name";
  EXPECT_TRUE(fs.Has(kDir + install::kJournalName));
  RecoverUpdate(fs, kDir);
  EXPECT_EQ(Release(fs, s), "old");
}

// A journal that is not one is removed and nothing else: one without its own digest, and one
// that would have the recovery delete a file outside its folder.
TEST(Recover, IgnoresWhatIsNotAJournal) {
  const TScenario s;
  const std::string outside = "G:\\Saves\\slot1.sav";
  for (const bool signed_ : {false, true}) {
    TCrashFs fs = OldFolder(s);
    fs.Put(outside, "saved game");
    std::string text = "VELDRAN update journal 1\nphase rollback\nfile\t0\t" + (signed_ ? outside : kMarker) +
                       "\tvdn0001.tmp\tvdn0002.tmp\n";
    text += "sum " + (signed_ ? TSha256::Hex(TSha256::Of(text.data(), text.size())) : std::string("00")) + "\n";
    fs.Put(kDir + install::kJournalName, text);
    RecoverUpdate(fs, kDir);
    EXPECT_TRUE(fs.Has(outside)) << signed_;
    fs.Delete(outside);
    EXPECT_EQ(Release(fs, s), "old") << signed_;
  }
}

TEST(Recover, WorkFileNames) {
  EXPECT_TRUE(install::IsWorkFileName("vdn0000.tmp"));
  EXPECT_TRUE(install::IsWorkFileName("vdnFFFF.tmp"));
  for (const char* name : {"vdnffff.tmp", "vdn000.tmp", "VDN0000.TMP", "vdn0000.tmpx", "mg_data.mbl", "vdn00G0.tmp"})
    EXPECT_FALSE(install::IsWorkFileName(name)) << name;
}

// Every crash point of the update; after each, every crash point of the recovery that the next
// start runs, and then a recovery that completes.
TEST(Exhaustion, EveryCrashPointEndsInOneWholeRelease) {
  long updatePoints = 0, recoveryPoints = 0;
  for (const TScenario& s : AllScenarios()) {
    TCrashFs clean = OldFolder(s);
    Install(clean);
    const long commit = CommitOp(clean);
    ASSERT_GT(commit, 0) << Name(s);
    for (long k = 0; k <= clean.Ops(); ++k) {
      TCrashFs fs = OldFolder(s);
      fs.CrashAt(k);
      try {
        Install(fs);
      } catch (const TCrash&) {
      }
      const TCrashFs disk = fs.Survivor(s.unflushedSurvives);
      ++updatePoints;
      TCrashFs probe = disk.Survivor(true);
      ASSERT_NO_THROW(RecoverUpdate(probe, kDir)) << Name(s) << ", crash at " << k;
      const std::string expected = k > commit ? "new" : "old";
      ASSERT_EQ(Release(probe, s), expected) << Name(s) << ", crash at " << k;
      for (long r = 0; r < probe.Ops(); ++r) {
        TCrashFs again = disk.Survivor(true);
        again.CrashAt(r);
        try {
          RecoverUpdate(again, kDir);
        } catch (const TCrash&) {
        }
        TCrashFs next = again.Survivor(s.unflushedSurvives);
        ++recoveryPoints;
        ASSERT_NO_THROW(RecoverUpdate(next, kDir)) << Name(s) << ", crash at " << k << " then " << r;
        ASSERT_EQ(Release(next, s), expected) << Name(s) << ", crash at " << k << " then " << r;
      }
    }
  }
  std::printf("crash points: %ld in the update, %ld more in the recovery after them\n", updatePoints, recoveryPoints);
}

// Every operation of the update failing once, and every operation of each recovery failing
// once: the failure is reported, and the folder holds the previous release (or, where the
// journal had to stay, the next start completes one whole release).
TEST(Exhaustion, EachOperationFailingOnce) {
  long updateFailures = 0, recoveryFailures = 0, failureCrashPoints = 0;
  for (const TScenario& s : AllScenarios()) {
    if (!s.unflushedSurvives) continue;  // no crash here: what is unflushed does not matter
    TCrashFs clean = OldFolder(s);
    Install(clean);
    for (long f = 0; f < clean.Ops(); ++f) {
      TCrashFs fs = OldFolder(s);
      fs.FailAt(f);
      bool failed = false;
      try {
        Install(fs);
      } catch (const Exception&) {
        failed = true;
      }
      if (fs.FallibleOps() == 0 || clean.Log()[f].rfind("Exists", 0) == 0 || clean.Log()[f].rfind("List", 0) == 0)
        continue;
      ++updateFailures;
      // A crash at any point of what follows the failure (the undoing, above all).
      for (long k = f + 1; k <= fs.Ops(); ++k) {
        TCrashFs crashed = OldFolder(s);
        crashed.FailAt(f);
        crashed.CrashAt(k);
        try {
          Install(crashed);
        } catch (const Exception&) {
        } catch (const TCrash&) {
        }
        TCrashFs next = crashed.Survivor(false);
        ++failureCrashPoints;
        ASSERT_NO_THROW(RecoverUpdate(next, kDir)) << Name(s) << ", " << clean.Log()[f] << " failing, crash at " << k;
        const std::string result = Release(next, s);
        ASSERT_TRUE(result == "old" || result == "new")
            << Name(s) << ", " << clean.Log()[f] << " failing, crash at " << k << ": " << result;
      }
      const bool journalLeft = fs.Has(kDir + install::kJournalName);
      if (!journalLeft) {
        ASSERT_EQ(Release(fs, s), failed ? "old" : "new") << Name(s) << ", " << clean.Log()[f] << " failing";
        continue;
      }
      // A cleanup step failed: the journal makes the next start finish it.
      TCrashFs next = fs.Survivor(true);
      ASSERT_NO_THROW(RecoverUpdate(next, kDir)) << Name(s) << ", " << clean.Log()[f] << " failing";
      const std::string result = Release(next, s);
      ASSERT_TRUE(result == "old" || result == "new") << Name(s) << ", " << clean.Log()[f] << ": " << result;
      if (failed) {
        EXPECT_EQ(result, "old") << Name(s) << ", " << clean.Log()[f];
      }
    }
    // Recovery failing once, after a crash at every point of the update.
    for (long k = 0; k <= clean.Ops(); ++k) {
      TCrashFs crashed = OldFolder(s);
      crashed.CrashAt(k);
      try {
        Install(crashed);
      } catch (const TCrash&) {
      }
      const TCrashFs disk = crashed.Survivor(true);
      TCrashFs probe = disk.Survivor(true);
      RecoverUpdate(probe, kDir);
      const std::string expected = Release(probe, s);
      for (long g = 0; g < probe.Ops(); ++g) {
        if (probe.Log()[g].rfind("Exists", 0) == 0) continue;
        TCrashFs fs = disk.Survivor(true);
        fs.FailAt(g);
        bool reported = false;
        try {
          RecoverUpdate(fs, kDir);
        } catch (const Exception&) {
          reported = true;
        }
        // The failure is reported, and nothing is done after the step that failed.
        EXPECT_TRUE(reported) << probe.Log()[g];
        EXPECT_EQ(fs.Ops(), g + 1) << probe.Log()[g];
        ++recoveryFailures;
        RecoverUpdate(fs, kDir);
        ASSERT_EQ(Release(fs, s), expected) << Name(s) << ", crash at " << k << ", " << probe.Log()[g] << " failing";
      }
    }
  }
  std::printf("failure points: %ld in the update (then %ld crash points after them), %ld in the recovery\n",
              updateFailures, failureCrashPoints, recoveryFailures);
}
