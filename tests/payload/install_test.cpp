// The install sequence over the crash-modelling file system: its failures and their order, the
// digest check, recovery confined to the game's own names whatever a journal says, and by
// exhaustion every crash point (of the update and of the recovery after it), every operation
// failing once and every move of an adversary between two operations, each ending in exactly the
// previous or the new release.
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
#include "tests/payload/update_names.h"
#include "windows/update_files.h"

using crash_model::TCrash;
using crash_model::TCrashFs;
using crash_model::TouchedOutside;

namespace {

const std::string kDir = "G:\\Game\\";
const std::string kExe = kDir + "VELDRAN.EXE";
const std::string kDat2 = kDir + "mg_data2.mbl";
const std::string kMarker = kDir + "mg_data.mbl";
const std::string kUsersTmp = kDir + "vdn0000.tmp";     // the user's own file, in the update's naming
const std::string kUsersFolder = kDir + "vdn0002.tmp";  // and a folder of theirs named so
// Spellings of the game folder that Win32 takes for the same one.
const std::string kSpellings[] = {kDir, "g:\\GAME", "G:/Game/", "G:\\\\Game\\", "G:\\Game\\.\\", "G:\\Saves\\..\\Game"};

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
  fs.PutFolder(kUsersFolder);
  return fs;
}

void Install(TFileOps& fs, TSource& source, const std::string& folder = kDir) {
  InstallPayloads(fs, source, folder, kUpdateFiles);
}

void Install(TFileOps& fs) {
  TSource source;
  Install(fs, source);
}

void Recover(TFileOps& fs, const std::string& folder = kDir) {
  TSource source;
  RecoverUpdate(fs, source, folder, kUpdateFiles);
}

// "old" or "new" when the folder holds exactly that release beside the user's files and nothing
// else; otherwise what is wrong. Names in spared (keys) may be there or not: the adversary's.
std::string Release(const TCrashFs& fs, const TScenario& s, const std::set<std::string>& spared = {}) {
  std::set<std::string> keys;
  std::string listing;
  for (const std::string& p : fs.Paths()) {
    if (spared.count(fs.Key(p))) continue;
    keys.insert(fs.Key(p));
    listing += " " + p.substr(kDir.size()) + "(" + std::to_string(fs.Content(p).size()) + ")";
  }
  std::set<std::string> expected = {fs.Key(kExe), fs.Key(kDat2), fs.Key(kMarker), fs.Key(kUsersTmp)};
  const bool newNames = keys == expected;
  if (!s.dat2Existed) expected.erase(fs.Key(kDat2));
  const bool oldNames = keys == expected;
  if (!oldNames && !newNames) return "files:" + listing;
  if (fs.Content(kMarker) != "marker" || fs.Content(kUsersTmp) != "the user's own notes" || !fs.HasFolder(kUsersFolder))
    return "user's files changed";
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

// Index in a log of the first operation that starts with what, after from.
long FirstOp(const TCrashFs& fs, const std::string& what, long from = 0) {
  for (size_t i = static_cast<size_t>(from); i < fs.Log().size(); ++i)
    if (fs.Log()[i].rfind(what, 0) == 0) return static_cast<long>(i);
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

std::string Signed(std::string text) {
  return text + "sum " + TSha256::Hex(TSha256::Of(text.data(), text.size())) + "\n";
}

std::string Hex(const std::string& data) { return TSha256::Hex(TSha256::Of(data.data(), data.size())); }

// A journal of this updater's form, digest line and all, with the given phase and file lines.
std::string Journal(const std::string& phase, const std::string& files) {
  return Signed("VELDRAN update journal 2\nphase " + phase + "\n" + files);
}

}  // namespace

TEST(Install, SucceedsWithTheNewReleaseAndNothingElse) {
  for (const TScenario& s : AllScenarios()) {
    TCrashFs fs = OldFolder(s);
    Install(fs);
    EXPECT_EQ(Release(fs, s), "new") << Name(s);
    EXPECT_EQ(TouchedOutside(fs, kDir), "") << Name(s);
    // Everything that makes it up is on disk: a power cut right after changes nothing.
    EXPECT_EQ(Release(fs.Survivor(false), s), "new") << Name(s);
  }
  // A folder recorded without its final "\" is the same folder.
  TCrashFs fs = OldFolder(TScenario());
  TSource source;
  Install(fs, source, "G:\\Game");
  EXPECT_EQ(Release(fs, TScenario()), "new");
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
    fs.Lock(held);
    EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(fs); }), EFCreateError(held).Message());
    EXPECT_EQ(Release(fs, s), "old");
  }
  TCrashFs empty;  // no folder at all
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(empty); }), EFCreateError(kExe).Message());
  EXPECT_TRUE(empty.Paths().empty());
}

// A new file taken away between its check and its move (a virus scanner quarantining a new
// executable) is a failure, never a step done; the whole previous release comes back.
TEST(Install, StagedFileGoneBeforeItsMoveFailsAndRollsBack) {
  const TScenario s;
  TCrashFs clean = OldFolder(s);
  Install(clean);
  const long commit = CommitOp(clean);
  for (const std::string& target : {kExe, kDat2}) {
    const long move = FirstOp(clean, "Replace ", commit + 1) + (target == kDat2 ? 2 : 0);
    const std::string staged = clean.Log()[move].substr(8, kDir.size() + 11);
    TCrashFs fs = OldFolder(s);
    fs.Adversary = [&](TCrashFs& f, long op) {
      if (op == move - 1) f.Remove(staged);
    };
    EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(fs); }), EFCreateError(target).Message()) << target;
    EXPECT_EQ(Release(fs, s), "old") << target;
  }
}

// The archive cannot be moved in, and the executable's previous file cannot be moved back: the
// previous file keeps its second name, the journal stays, and the next start restores it.
TEST(Install, RestoreNeverDeletesTheOnlyCopy) {
  const TScenario s;
  TCrashFs clean = OldFolder(s);
  Install(clean);
  long moveArchive = -1, restoreExe = -1;
  for (size_t i = 0; i < clean.Log().size(); ++i)
    if (clean.Log()[i].find("Replace ") == 0 && clean.Log()[i].size() > kDat2.size() &&
        clean.Log()[i].compare(clean.Log()[i].size() - kDat2.size(), kDat2.size(), kDat2) == 0)
      moveArchive = static_cast<long>(i);
  ASSERT_GE(moveArchive, 0);
  TCrashFs probe = OldFolder(s);
  probe.FailAt(moveArchive);
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(probe); }), EFCreateError(kDat2).Message());
  EXPECT_EQ(Release(probe, s), "old");
  for (size_t i = moveArchive + 1; i < probe.Log().size(); ++i)
    if (probe.Log()[i].find("Replace ") == 0 && probe.Log()[i].compare(probe.Log()[i].size() - kExe.size(), kExe.size(), kExe) == 0)
      restoreExe = static_cast<long>(i);
  ASSERT_GT(restoreExe, moveArchive);
  TCrashFs fs = OldFolder(s);
  fs.FailAt(moveArchive);
  fs.FailAt(restoreExe);
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(fs); }), EFCreateError(kDat2).Message());
  int copiesOfOld = 0;
  for (const std::string& p : fs.Paths()) copiesOfOld += fs.Content(p) == kOldExe;
  EXPECT_EQ(copiesOfOld, 1) << "the previous executable survives under its second name";
  EXPECT_TRUE(fs.Has(kDir + install::kJournalName));
  Recover(fs);
  EXPECT_EQ(Release(fs, s), "old");
}

// Recovery acts in an absolute game folder only: never in the current folder (a first run from
// the download folder, where anyone may have left a journal), nor one relative to it.
TEST(Recover, NothingWithoutAnAbsoluteGameFolder) {
  const std::string hostile[] = {
      // Today's form and the earlier one, which named paths.
      Journal("rollback", "file\tVELDRAN.EXE\t0\t0\tvdn0001.tmp\tvdn0002.tmp\t3000\t" + Hex(kNewExe) + "\n"),
      Signed("VELDRAN update journal 1\nphase rollback\nfile\t0\tnotes.txt\tvdn0001.tmp\tvdn0002.tmp\n"),
  };
  for (const char* folder : {"", ".", "Downloads\\", "C:Downloads\\", "\\Downloads\\", "\\\\?\\C:\\Downloads\\"})
    for (const std::string& journal : hostile) {
      TCrashFs fs;
      fs.CurrentFolder = "C:\\Downloads\\";
      fs.Put("C:\\Downloads\\notes.txt", "notes");
      fs.Put("C:\\Downloads\\VELDRAN.EXE", "someone's program");
      fs.Put("C:\\Downloads\\Downloads\\vdnsetup.jnl", journal);
      fs.Put("C:\\Downloads\\vdnsetup.jnl", journal);
      Recover(fs, folder);
      EXPECT_EQ(fs.Ops(), 0) << "folder \"" << folder << "\"";
    }
}

// A journal names bare names, each one of the update's: one that names anything else is not a
// journal of ours, whatever its digest line says; it is removed and nothing else is touched.
TEST(Recover, HostileJournalsTouchNothingOutside) {
  const std::string digest = "\t3000\t" + Hex(kNewExe) + "\n";
  const std::string lines[] = {
      "file\t..\\outside.txt\t0\t0\tvdn0001.tmp\tvdn0003.tmp" + digest,
      "file\tG:\\outside.txt\t0\t0\tvdn0001.tmp\tvdn0003.tmp" + digest,
      "file\tSaves\\VELDRAN.EXE\t0\t0\tvdn0001.tmp\tvdn0003.tmp" + digest,
      "file\tmg_data.mbl\t0\t0\tvdn0001.tmp\tvdn0003.tmp" + digest,
      "file\tNUL\t0\t0\tvdn0001.tmp\tvdn0003.tmp" + digest,
      "file\tVELDRAN.EXE \t0\t0\tvdn0001.tmp\tvdn0003.tmp" + digest,
      "file\tVELDRAN.EXE\t0\t0\t..\\vdn0001.tmp\tvdn0003.tmp" + digest,
      "file\tVELDRAN.EXE\t0\t0\tvdn0001.tmp\tvdn0003.tmp" + digest + "file\tveldran.exe\t0\t0\tvdn0004.tmp\tvdn0005.tmp" + digest,
      "file\tVELDRAN.EXE\t0\t0\tvdn0001.tmp\tvdn0003.tmp\t-\t-\n",  // no digest after the commit
  };
  const TScenario s;
  for (const std::string& line : lines)
    for (const std::string& journal : {Journal("rollback", line), Journal("commit", line)}) {
      TCrashFs fs = OldFolder(s);
      fs.Put("G:\\outside.txt", "someone's file");
      fs.Put(kDir + "Saves\\VELDRAN.EXE", "a copy kept by the player");
      fs.Put(kDir + install::kJournalName, journal);
      Recover(fs);
      EXPECT_EQ(TouchedOutside(fs, kDir), "") << line;
      EXPECT_FALSE(fs.Has(kDir + install::kJournalName)) << line;
      EXPECT_TRUE(fs.Has("G:\\outside.txt") && fs.Has(kDir + "Saves\\VELDRAN.EXE")) << line;
      fs.Remove("G:\\outside.txt");
      fs.Remove(kDir + "Saves\\VELDRAN.EXE");
      EXPECT_EQ(Release(fs, s), "old") << line;
    }
  // The earlier form, which named paths: "..\" counted as inside the folder by its text.
  TCrashFs fs = OldFolder(s);
  fs.Put("G:\\outside.txt", "someone's file");
  fs.Put(kDir + install::kJournalName,
         Signed("VELDRAN update journal 1\nphase rollback\nfile\t0\t" + kDir + "..\\outside.txt\tvdn0001.tmp\tvdn0003.tmp\n"));
  Recover(fs);
  EXPECT_TRUE(fs.Has("G:\\outside.txt"));
  fs.Remove("G:\\outside.txt");
  EXPECT_EQ(Release(fs, s), "old");
}

// A journal found in the game folder belongs to it, however the folder is spelled now: an update
// cut short after its commit is finished from every spelling.
TEST(Recover, AnySpellingOfTheFolderFindsItsJournal) {
  const TScenario s;
  TCrashFs clean = OldFolder(s);
  Install(clean);
  const long afterFirstMove = FirstOp(clean, "Replace ", CommitOp(clean) + 1) + 1;
  for (const std::string& spelling : kSpellings) {
    TCrashFs fs = OldFolder(s);
    fs.CrashAt(afterFirstMove);
    EXPECT_THROW(Install(fs), TCrash);
    TCrashFs next = fs.Survivor(true);
    Recover(next, spelling);
    EXPECT_EQ(Release(next, s), "new") << spelling;
  }
}

// Only bytes with the digest this program carries are moved in: a staged file taken away,
// replaced by other bytes of the right length, or recorded by another build's journal sends a
// committed update back to the previous release.
TEST(Recover, CommittedUpdateMovesInOnlyWhatItCarries) {
  const TScenario s;
  TCrashFs clean = OldFolder(s);
  Install(clean);
  const long firstMove = FirstOp(clean, "Replace ", CommitOp(clean) + 1);
  const std::string stagedExe = clean.Log()[firstMove].substr(8, kDir.size() + 11);
  const std::function<void(TCrashFs&, TSource&)> damages[] = {
      [&](TCrashFs& fs, TSource&) { fs.Remove(stagedExe); },
      [&](TCrashFs& fs, TSource&) { fs.Put(stagedExe, std::string(kNewExe.size(), 'x')); },
      [&](TCrashFs&, TSource& src) { src.sums = sums::Format({{"EXE", TSha256::Of("other", 5)}, {"DAT2", {}}}); },
      [&](TCrashFs&, TSource& src) { src.sums.reset(); },
  };
  for (const auto& damage : damages) {
    TCrashFs fs = OldFolder(s);
    fs.CrashAt(firstMove);
    EXPECT_THROW(Install(fs), TCrash);
    TCrashFs next = fs.Survivor(true);
    TSource source;
    damage(next, source);
    RecoverUpdate(next, source, kDir, kUpdateFiles);
    EXPECT_EQ(Release(next, s), "old");
  }
}

// A recovery that turned back (the program carries no digests to move in by) keeps going back
// after a crash, even when the next start could have gone forward.
TEST(Recover, TurningBackIsRecordedBeforeTheFirstStep) {
  const TScenario s;
  TCrashFs clean = OldFolder(s);
  Install(clean);
  TCrashFs fs = OldFolder(s);
  fs.CrashAt(FirstOp(clean, "Replace ", CommitOp(clean) + 1));
  EXPECT_THROW(Install(fs), TCrash);
  const TCrashFs disk = fs.Survivor(true);
  TSource noSums;
  noSums.sums.reset();
  TCrashFs probe = disk.Survivor(true);
  RecoverUpdate(probe, noSums, kDir, kUpdateFiles);
  ASSERT_EQ(Release(probe, s), "old");
  const long turned = FirstOp(probe, "Replace " + kDir + install::kJournalTempName);
  ASSERT_GT(turned, 0);
  for (long r = 0; r < probe.Ops(); ++r) {
    TCrashFs again = disk.Survivor(true);
    again.CrashAt(r);
    EXPECT_THROW(RecoverUpdate(again, noSums, kDir, kUpdateFiles), TCrash);
    TCrashFs next = again.Survivor(true);
    Recover(next);
    const std::string result = Release(next, s);
    EXPECT_TRUE(r > turned ? result == "old" : result == "old" || result == "new") << "crash at " << probe.Log()[r];
  }
}

// Before the commit no target was moved to: files placed there by someone else stay (none is
// deleted, though the archive was not there before), and only the update's own files go.
TEST(Recover, BeforeTheCommitTheTargetsAreNotOurs) {
  TScenario s;
  s.dat2Existed = false;
  TCrashFs clean = OldFolder(s);
  Install(clean);
  TCrashFs fs = OldFolder(s);
  fs.CrashAt(FirstOp(clean, "Link "));
  EXPECT_THROW(Install(fs), TCrash);
  TCrashFs next = fs.Survivor(true);
  next.Put(kExe, kNewExe);
  next.Put(kDat2, kNewDat2);
  Recover(next);
  EXPECT_EQ(Release(next, s), "new");
}

// Where neither way leads to a whole release, every file and the journal stay and the file in
// the way is named; the update then fails the same way, touching nothing, while the cause
// lasts. A target held by the running game is such a cause until it is let go.
TEST(Recover, StuckRecoveryKeepsEverythingAndSaysSo) {
  const TScenario s;
  TCrashFs clean = OldFolder(s);
  Install(clean);
  const long secondMove = FirstOp(clean, "Replace ", FirstOp(clean, "Replace ", CommitOp(clean) + 1) + 1);
  TCrashFs fs = OldFolder(s);
  fs.CrashAt(secondMove);
  EXPECT_THROW(Install(fs), TCrash);
  TCrashFs next = fs.Survivor(true);
  // The executable is new; the archive's staged file and the executable's second name are gone.
  for (const std::string& p : next.Paths())
    if (p != kUsersTmp && next.Content(p) != kOldDat2 && install::IsWorkFileName(p.substr(kDir.size())))
      next.Remove(p);
  const std::vector<std::string> before = next.Paths();
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Recover(next); }), EFCreateError(kDat2).Message());
  EXPECT_EQ(next.Paths(), before);
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(next); }), EFCreateError(kDat2).Message());
  EXPECT_EQ(next.Paths(), before);

  TCrashFs held = fs.Survivor(true);
  held.Lock(kExe);
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Recover(held); }), EFCreateError(kExe).Message());
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(held); }), EFCreateError(kExe).Message());
  EXPECT_TRUE(held.Has(kDir + install::kJournalName));
  held.UnlockAll();
  Recover(held);
  EXPECT_EQ(Release(held, s), "new");
}

TEST(Recover, WorkFileNamesAndFolders) {
  EXPECT_TRUE(install::IsWorkFileName("vdn0000.tmp"));
  EXPECT_TRUE(install::IsWorkFileName("vdnFFFF.tmp"));
  for (const char* name : {"vdnffff.tmp", "vdn000.tmp", "VDN0000.TMP", "vdn0000.tmpx", "mg_data.mbl", "vdn00G0.tmp"})
    EXPECT_FALSE(install::IsWorkFileName(name)) << name;
  for (const char* folder : {"C:\\", "c:/Games", "\\\\server\\share", "//server/share/Game\\"})
    EXPECT_TRUE(install::IsAbsoluteFolder(folder)) << folder;
  for (const char* folder : {"", "C:", "C:Games", "\\Games", "Games\\", "\\\\server", "\\\\server\\", "\\\\.\\C:\\",
                             "\\\\?\\C:\\"})
    EXPECT_FALSE(install::IsAbsoluteFolder(folder)) << folder;
  EXPECT_EQ(install::FolderPrefix("D:\\Game"), "D:\\Game\\");
  EXPECT_EQ(install::FolderPrefix("D:\\Game\\"), "D:\\Game\\");
  EXPECT_EQ(install::FolderPrefix("D:/Game/"), "D:/Game/");
  EXPECT_EQ(install::FolderPrefix("D:\\\x83\x5C"), "D:\\\x83\x5C\\");  // "ソ" ends in 0x5C
  EXPECT_EQ(install::FolderPrefix(""), "");
  EXPECT_EQ(install::FolderPrefix("D:"), "D:");
}

// Every crash point of the update; after each, every crash point of the recovery that the next
// start runs, and then a recovery that completes, from another spelling of the folder each time.
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
      const std::string& folder = kSpellings[k % std::size(kSpellings)];
      TCrashFs probe = disk.Survivor(true);
      ASSERT_NO_THROW(Recover(probe, folder)) << Name(s) << ", crash at " << k;
      const std::string expected = k > commit ? "new" : "old";
      ASSERT_EQ(Release(probe, s), expected) << Name(s) << ", crash at " << k;
      ASSERT_EQ(TouchedOutside(probe, kDir), "") << Name(s) << ", crash at " << k;
      for (long r = 0; r < probe.Ops(); ++r) {
        TCrashFs again = disk.Survivor(true);
        again.CrashAt(r);
        try {
          Recover(again, folder);
        } catch (const TCrash&) {
        }
        TCrashFs next = again.Survivor(s.unflushedSurvives);
        ++recoveryPoints;
        ASSERT_NO_THROW(Recover(next)) << Name(s) << ", crash at " << k << " then " << r;
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
      if (fs.FallibleOps() == 0 || FirstOp(clean, "Exists", f) == f || FirstOp(clean, "List", f) == f ||
          FirstOp(clean, "Size", f) == f)
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
        ASSERT_NO_THROW(Recover(next)) << Name(s) << ", " << clean.Log()[f] << " failing, crash at " << k;
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
      ASSERT_NO_THROW(Recover(next)) << Name(s) << ", " << clean.Log()[f] << " failing";
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
      Recover(probe);
      const std::string expected = Release(probe, s);
      for (long g = 0; g < probe.Ops(); ++g) {
        if (FirstOp(probe, "Exists", g) == g || FirstOp(probe, "Size", g) == g) continue;
        TCrashFs fs = disk.Survivor(true);
        fs.FailAt(g);
        bool reported = false;
        try {
          Recover(fs);
        } catch (const Exception&) {
          reported = true;
        }
        // The failure is reported, and nothing is changed after the step that failed.
        EXPECT_TRUE(reported) << probe.Log()[g];
        for (size_t i = static_cast<size_t>(g) + 1; i < fs.Log().size(); ++i)
          for (const char* change : {"Create", "Write", "Flush", "Replace", "Link", "Copy", "Delete"})
            EXPECT_NE(fs.Log()[i].rfind(change, 0), 0u) << probe.Log()[g] << " failing, then " << fs.Log()[i];
        ++recoveryFailures;
        Recover(fs);
        ASSERT_EQ(Release(fs, s), expected) << Name(s) << ", crash at " << k << ", " << probe.Log()[g] << " failing";
      }
    }
  }
  std::printf("failure points: %ld in the update (then %ld crash points after them), %ld in the recovery\n",
              updateFailures, failureCrashPoints, recoveryFailures);
}

// Between any two operations of the update, one move of an adversary: a file of the folder
// taken away or locked (a virus scanner, the running game), or a file or folder made under a
// name the update may pick. Nothing outside the update's names is touched; a success leaves the
// new release; after the locks are let go the next start leaves one whole release, less what
// the adversary took.
TEST(Exhaustion, AdversaryBetweenAnyTwoOperations) {
  const std::string made[] = {"vdn0001.tmp", "vdn0003.tmp", "vdn0004.tmp", "vdn0005.tmp", "vdn0006.tmp",
                              install::kJournalName, install::kJournalTempName};
  long moves = 0, updateFailures = 0;
  for (const TScenario& s : AllScenarios()) {
    if (!s.unflushedSurvives) continue;  // no crash here
    TCrashFs clean = OldFolder(s);
    Install(clean);
    for (long k = 0; k <= clean.Ops(); ++k)
      for (int kind = 0; kind < 4; ++kind)
        for (size_t m = 0;; ++m) {
          std::string name;  // the one the move acts on, relative to the folder
          std::set<std::string> spared;
          bool applied = false;
          TCrashFs fs = OldFolder(s);
          fs.Adversary = [&](TCrashFs& f, long op) {
            if (op != k) return;
            if (kind < 2) {
              std::vector<std::string> files;
              for (const std::string& p : f.Paths())
                if (p != kMarker && p != kUsersTmp) files.push_back(p);
              if (m >= files.size()) return;
              name = files[m];
              kind == 0 ? f.Remove(name) : f.Lock(name);
            } else {
              if (m >= std::size(made) || f.Has(kDir + made[m]) || f.HasFolder(kDir + made[m])) return;
              name = kDir + made[m];
              kind == 2 ? f.PutFolder(name) : f.Put(name, "the adversary's");
              spared.insert(f.Key(name));
            }
            applied = true;
          };
          bool failed = false;
          try {
            Install(fs);
          } catch (const Exception&) {
            failed = true;
          }
          if (!applied && m >= (kind < 2 ? 8 : std::size(made))) break;
          if (!applied) continue;
          ++moves;
          updateFailures += failed;
          const std::string what = Name(s) + ", move " + std::to_string(kind) + " on " + name + " before " +
                                   (k < static_cast<long>(clean.Log().size()) ? clean.Log()[k] : "the end");
          ASSERT_EQ(TouchedOutside(fs, kDir), "") << what;
          const bool removedTarget = kind == 0 && (fs.Key(name) == fs.Key(kExe) || fs.Key(name) == fs.Key(kDat2));
          // A success has both new files in place; a cleanup the adversary blocked is the next
          // start's to finish.
          if (!failed && !removedTarget) {
            ASSERT_TRUE(fs.Has(kExe) && fs.Content(kExe) == kNewExe && fs.Has(kDat2) && fs.Content(kDat2) == kNewDat2)
                << what;
          }
          fs.UnlockAll();
          fs.Adversary = nullptr;
          ASSERT_NO_THROW(Recover(fs)) << what;
          std::string result = Release(fs, s, spared);
          if (removedTarget && !fs.Has(name)) {
            // What the adversary took stays taken; the rest must be one release.
            const bool exe = fs.Key(name) == fs.Key(kExe);
            TCrashFs asOld = fs, asNew = fs;
            asOld.Put(name, exe ? kOldExe : kOldDat2);
            asNew.Put(name, exe ? kNewExe : kNewDat2);
            result = Release(asOld, s) == "old" ? "old" : Release(asNew, s) == "new" ? "new" : Release(asOld, s);
          }
          ASSERT_TRUE(result == "old" || result == "new") << what << ": " << result;
          if (failed && !removedTarget) {
            ASSERT_EQ(result, "old") << what;
          }
          ASSERT_EQ(TouchedOutside(fs, kDir), "") << what;
        }
  }
  std::printf("adversary moves: %ld, of which %ld made the update fail\n", moves, updateFailures);
}
