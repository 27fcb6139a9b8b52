// The install sequence over the crash-modelling file system: its failures and their order, the
// digest check, recovery confined to the game's own names whatever the folder holds, journals
// believed only where their witness vouches for them, and by exhaustion every crash point (of
// the update and of the recovery after it, with this release's digests, another release's and
// none), every operation failing once and every move of an adversary between two operations,
// each ending in exactly the previous or the new release.
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

using crash_model::ChangedOutside;
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
const std::string kOutside = "G:\\Outside\\secret.txt";  // what links planted in the folder lead to
const std::string kExeElsewhere = "G:\\Outside\\VELDRAN.EXE";  // the player's own second name of it
// Spellings of the game folder that Win32 takes for the same one, from the current folder G:\Saves.
const std::string kSpellings[] = {kDir,          "g:\\GAME",       "G:/Game/",         "G:\\\\Game\\",
                                  "G:\\Game\\.\\", "..\\Game\\",     "\\Game",           "\\\\?\\G:\\Game\\",
                                  "\\\\.\\G:\\Game\\", "G:\\Link\\"};

std::string Pattern(size_t size, char seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + (i * 7 + i / 13) % 61);
  return s;
}

// Sizes that together hold all ten digits, so that no digit of a recorded size goes unread.
const std::string kOldExe = Pattern(2469, 'a');
const std::string kOldDat2 = Pattern(1357, 'A');
const std::string kNewExe = Pattern(3080, '0');
const std::string kNewDat2 = Pattern(1998, '!');
const std::string kOldExeOfNewSize = Pattern(3080, 'a');  // a previous file no longer than the new one

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

std::vector<uint8_t> SumsOf(const std::string& exe, const std::string& dat2) {
  return sums::Format({{"EXE", TSha256::Of(exe.data(), exe.size())}, {"DAT2", TSha256::Of(dat2.data(), dat2.size())}});
}

class TSource : public TPayloadSource {
 public:
  TSource() {
    containers["EXE"] = Container(kNewExe);
    containers["DAT2"] = Container(kNewDat2);
    sums = SumsOf(kNewExe, kNewDat2);
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

// The program recovering: this release, one that carries no digests, another release.
enum class TRecoverer { This, None, Other };
TSource SourceOf(TRecoverer who) {
  TSource source;
  if (who == TRecoverer::None) source.sums.reset();
  if (who == TRecoverer::Other) source.sums = SumsOf(Pattern(3080, '1'), Pattern(1998, '"'));
  return source;
}

struct TScenario {
  bool dat2Existed = true;  // false: the archive is new to this folder
  bool links = true;        // false: a volume without hard links; previous files are copied
  bool unflushedSurvives = true;
  bool equalSizes = false;  // the previous executable is as long as the new one
  bool exeNamedElsewhere = false;  // it has a name outside the folder too: set aside as a copy
};

const std::string& OldExe(const TScenario& s) { return s.equalSizes ? kOldExeOfNewSize : kOldExe; }

TCrashFs OldFolder(const TScenario& s) {
  TCrashFs fs;
  fs.CurrentFolder = "G:\\Saves\\";
  fs.LinksSupported = s.links;
  fs.PutFolder(fs.CurrentFolder);
  fs.Put(kExe, OldExe(s));
  if (s.dat2Existed) fs.Put(kDat2, kOldDat2);
  if (s.exeNamedElsewhere) fs.HardLink(kExe, kExeElsewhere);
  fs.Put(kMarker, "marker");
  fs.Put(kUsersTmp, "the user's own notes");
  fs.PutFolder(kUsersFolder);
  fs.Put(kOutside, "someone else's file");
  fs.PutLink("G:\\Link", "G:\\Game");  // a mount point: the game moved with a junction
  return fs;
}

void Install(TCrashFs& fs, TSource& source, const std::string& folder = kDir) {
  InstallPayloads(fs, source, fs, folder, kUpdateFiles);
}

void Install(TCrashFs& fs) {
  TSource source;
  Install(fs, source);
}

void Recover(TCrashFs& fs, const std::string& folder = kDir, TRecoverer who = TRecoverer::This) {
  TSource source = SourceOf(who);
  RecoverUpdate(fs, source, fs, folder, kUpdateFiles);
}

// "old" or "new" when the folder holds exactly that release beside the user's files and nothing
// else, and nothing outside it changed; otherwise what is wrong. Names in spared (keys) may be
// there or not: the adversary's.
std::string Release(const TCrashFs& fs, const TScenario& s, const std::set<std::string>& spared = {}) {
  std::set<std::string> keys;
  std::string listing;
  for (const std::string& p : fs.Paths()) {
    if (spared.count(fs.Key(p))) continue;
    if (fs.Key(p).compare(0, fs.Key(kDir).size(), fs.Key(kDir)) != 0) continue;
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
  if (!fs.Has(kOutside) || fs.Content(kOutside) != "someone else's file") return "outside file changed";
  if (s.exeNamedElsewhere && (!fs.Has(kExeElsewhere) || fs.Content(kExeElsewhere) != OldExe(s))) return "outside file changed";
  if (oldNames && fs.Content(kExe) == OldExe(s) && (!s.dat2Existed || fs.Content(kDat2) == kOldDat2)) return "old";
  if (newNames && fs.Content(kExe) == kNewExe && fs.Content(kDat2) == kNewDat2) return "new";
  return "mixed or damaged:" + listing;
}

std::vector<TScenario> AllScenarios() {
  std::vector<TScenario> all;
  for (bool existed : {true, false})
    for (bool links : {true, false})
      for (bool survives : {true, false}) all.push_back({existed, links, survives, existed != links, links && existed == survives});
  return all;
}

std::string Name(const TScenario& s) {
  return std::string(s.dat2Existed ? "archive existed" : "archive new") + (s.links ? ", links" : ", copies") +
         (s.unflushedSurvives ? ", unflushed data survives" : ", unflushed data lost") +
         (s.equalSizes ? ", old and new executable of one size" : "") + (s.exeNamedElsewhere ? ", executable named elsewhere" : "");
}

std::string Key(const std::string& name) { return TCrashFs().Key(kDir + name); }

// Index in a clean run's log of the move that commits the update (the journal's second
// replacement); a crash after it must end in the new release, one before it in the old.
long CommitOp(const TCrashFs& clean) {
  const std::string journalMove = "Rename " + Key(journal::kTempName) + " " + Key(journal::kName);
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

// The move of a staged file over target in a clean run; after the last one every target is new.
long MoveOp(const TCrashFs& clean, const std::string& target) {
  for (long i = CommitOp(clean) + 1; i < static_cast<long>(clean.Log().size()); ++i)
    if (clean.Log()[i].rfind("Rename ", 0) == 0 && clean.Log()[i].size() > target.size() &&
        clean.Log()[i].compare(clean.Log()[i].size() - target.size(), target.size(), target) == 0)
      return i;
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

// A journal as this program writes it into the folder, and vouched for as it would vouch.
void PutJournal(TCrashFs& fs, const journal::TJournal& j, bool vouched = true) {
  const std::string text = journal::Format(j);
  fs.Put(kDir + journal::kName, text);
  if (vouched) fs.Witness = {journal::StateDigest(fs.Key(kDir), text)};
}

journal::TEntry Entry(const std::string& name, bool existed, const char* staged, const char* backup,
                      const std::string& newFile) {
  journal::TEntry e;
  e.Name = name;
  e.Existed = existed;
  e.Staged = staged;
  e.Backup = backup;
  e.Known = true;
  e.NewSize = newFile.size();
  e.NewDigest = TSha256::Of(newFile.data(), newFile.size());
  return e;
}

}  // namespace

TEST(Install, SucceedsWithTheNewReleaseAndNothingElse) {
  for (const TScenario& s : AllScenarios()) {
    TCrashFs fs = OldFolder(s);
    Install(fs);
    EXPECT_EQ(Release(fs, s), "new") << Name(s);
    EXPECT_EQ(TouchedOutside(fs, kDir), "") << Name(s);
    EXPECT_TRUE(fs.Witness.empty()) << Name(s);
    // Everything that makes it up is on disk: a power cut right after changes nothing.
    EXPECT_EQ(Release(fs.Survivor(false), s), "new") << Name(s);
  }
  // The folder by another spelling, through the junction it was moved with, or relative to the
  // current folder, is the same folder: the journal goes where the files go.
  for (const std::string& spelling : kSpellings) {
    TCrashFs fs = OldFolder(TScenario());
    TSource source;
    Install(fs, source, spelling);
    EXPECT_EQ(Release(fs, TScenario()), "new") << spelling;
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

// What is in the way is found before decoding and named: a held target, a link or a folder
// under a target's name, a journal name that is a link or a folder; no folder at all names the
// executable. A work name taken by a folder or a link is passed over.
TEST(Install, WhatIsInTheWayIsNamedAndLeftAsItIs) {
  const TScenario s;
  struct Case {
    std::string name;  // in the game folder
    std::function<void(TCrashFs&, const std::string&)> make;
    std::string named;
  };
  const auto lock = [](TCrashFs& fs, const std::string& p) { fs.Lock(p); };
  const auto link = [](TCrashFs& fs, const std::string& p) { fs.Remove(p), fs.PutLink(p, kOutside); };
  const auto folder = [](TCrashFs& fs, const std::string& p) { fs.Remove(p), fs.PutFolder(p); };
  const Case cases[] = {
      {kExe, lock, kExe},
      {kDat2, lock, kDat2},
      {kExe, link, kExe},
      {kDat2, folder, kDat2},
      {kDir + journal::kName, link, kDir + journal::kName},
      {kDir + journal::kName, folder, kDir + journal::kName},
      {kDir + journal::kTempName, folder, kDir + journal::kTempName},
      {kDir + journal::kTempName, [](TCrashFs& fs, const std::string& p) { fs.HardLink(kOutside, p); },
       kDir + journal::kTempName},
      {kDir + "vdn0001.tmp", link, "no failure"},
      {kDir + "vdn0003.tmp", folder, "no failure"},
  };
  for (const Case& c : cases) {
    TCrashFs fs = OldFolder(s);
    c.make(fs, c.name);
    const auto before = fs.Snapshot();
    EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(fs); }),
              c.named == "no failure" ? c.named : EFCreateError(c.named).Message())
        << c.name;
    EXPECT_EQ(fs.Snapshot().at(fs.Key(c.name)), before.at(fs.Key(c.name))) << c.name;
    EXPECT_EQ(ChangedOutside(before, fs.Snapshot(), fs.Key(kDir)), "") << c.name;
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
  const long moveArchive = MoveOp(clean, Key("mg_data2.mbl"));
  ASSERT_GE(moveArchive, 0);
  TCrashFs probe = OldFolder(s);
  probe.FailAt(moveArchive);
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(probe); }), EFCreateError(kDat2).Message());
  EXPECT_EQ(Release(probe, s), "old");
  long restoreExe = -1;
  for (size_t i = moveArchive + 1; i < probe.Log().size(); ++i)
    if (probe.Log()[i].rfind("Rename ", 0) == 0 && probe.Log()[i].find(Key("VELDRAN.EXE")) != std::string::npos)
      restoreExe = static_cast<long>(i);
  ASSERT_GT(restoreExe, moveArchive);
  TCrashFs fs = OldFolder(s);
  fs.FailAt(moveArchive);
  fs.FailAt(restoreExe);
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(fs); }), EFCreateError(kDat2).Message());
  int copiesOfOld = 0;
  for (const std::string& p : fs.Paths()) copiesOfOld += fs.Content(p) == kOldExe;
  EXPECT_EQ(copiesOfOld, 1) << "the previous executable survives under its second name";
  EXPECT_TRUE(fs.Has(kDir + journal::kName));
  Recover(fs);
  EXPECT_EQ(Release(fs, s), "old");
  // Its second name replaced by other bytes right after it is made: the update stops there, so
  // that the way back cannot install them.
  const long reopen = FirstOp(clean, "Open vdn0003.tmp", FirstOp(clean, "Link "));
  TCrashFs swapped = OldFolder(s);
  swapped.FailAt(moveArchive);
  swapped.Adversary = [&](TCrashFs& f, long op) { op == reopen && f.Put(kDir + "x", "y") && f.MoveOver(kDir + "x", kDir + "vdn0003.tmp"); };
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(swapped); }), EFCreateError(kExe).Message());
  EXPECT_EQ(Release(swapped, s), "old");
}

// A journal is acted on only where the witness vouches for it: a forged one of any phase,
// with work files planted beside it, changes nothing (nor is a next state opened where nothing is
// vouched for), and neither does a journal of this folder copied to another folder or a vouched
// one that is not of the update's form.
TEST(Recover, OnlyAVouchedJournalIsActedOn) {
  const TScenario s;
  journal::TJournal forged;
  forged.Entries = {Entry("VELDRAN.EXE", true, "vdn0001.tmp", "vdn0003.tmp", "planted executable"),
                    Entry("mg_data2.mbl", true, "vdn0004.tmp", "vdn0005.tmp", "planted archive")};
  for (journal::TPhase phase : {journal::TPhase::Stage, journal::TPhase::Commit, journal::TPhase::RollBack})
    for (int vouch = 0; vouch < 4; ++vouch) {  // nothing; this text for another folder; another text; nothing
      forged.Phase = phase;
      TCrashFs fs = OldFolder(s);
      for (const char* name : {"vdn0001.tmp", "vdn0003.tmp", "vdn0004.tmp", "vdn0005.tmp"})
        fs.Put(kDir + name, std::string(name).find('1') != std::string::npos ? "planted executable" : "planted archive");
      PutJournal(fs, forged, false);
      if (vouch == 1) fs.Witness = {journal::StateDigest(fs.Key("G:\\Other"), journal::Format(forged))};
      if (vouch == 2) fs.Witness = {journal::StateDigest(fs.Key(kDir), journal::Format(forged) + "\n")};
      if (vouch == 3) fs.MoveOver(kDir + journal::kName, kDir + journal::kTempName);  // as the next state
      const auto before = fs.Snapshot();
      Recover(fs);
      EXPECT_EQ(fs.Snapshot(), before) << "phase " << static_cast<int>(phase) << ", witness " << vouch;
    }
  // Vouched, but naming what is not the update's, a work name that is none, a name twice, no new
  // file after the stage: not a journal of ours, nothing is done. Vouched, but under a second name
  // elsewhere: ours, never moved or deleted, so nothing is done and the journal is named.
  std::vector<journal::TEntry> hostile;
  for (const std::string name : {"..\\outside.txt", "G:\\outside.txt", "Saves\\VELDRAN.EXE", "mg_data.mbl", "NUL", "VELDRAN.EXE "})
    hostile.push_back(Entry(name, false, "vdn0001.tmp", "vdn0003.tmp", kNewExe));
  for (const char* staged : {"vdn000g.tmp", "vdn0003.tmp", "vdn0001.tmp", "vdn0001.tmp"})
    hostile.push_back(Entry("VELDRAN.EXE", false, staged, "vdn0003.tmp", kNewExe));
  hostile[hostile.size() - 2].Known = false;
  for (const journal::TEntry& e : hostile) {
    journal::TJournal j;
    j.Phase = journal::TPhase::RollBack;
    j.Entries = {e};
    TCrashFs fs = OldFolder(s);
    fs.Put(kDir + "Saves\\VELDRAN.EXE", "a copy kept by the player");
    fs.Put(kDir + "vdn0001.tmp", "what the way back would remove");
    PutJournal(fs, j);
    const bool linked = &e == &hostile.back();
    if (linked) fs.HardLink(kDir + journal::kName, "G:\\Outside\\vdnsetup.jnl");
    const auto before = fs.Snapshot();
    EXPECT_EQ(FailureOf<EFCreateError>([&] { Recover(fs); }),
              linked ? EFCreateError(kDir + journal::kName).Message() : "no failure");
    EXPECT_EQ(fs.Snapshot(), before) << e.Name << " " << e.Staged;
  }
}

// Recovery serves the folder the update wrote to, however it is spelled now (relative to the
// current folder, through the junction the game was moved with, as a device path); an empty
// folder means no recovery, whatever the current folder holds.
TEST(Recover, TheFolderTheUpdateWroteToWhateverItsSpelling) {
  const TScenario s;
  TCrashFs clean = OldFolder(s);
  Install(clean);
  const long afterFirstMove = MoveOp(clean, Key("VELDRAN.EXE")) + 1;
  for (const std::string& spelling : kSpellings) {
    TCrashFs fs = OldFolder(s);
    fs.CrashAt(afterFirstMove);
    EXPECT_THROW(Install(fs), TCrash);
    TCrashFs next = fs.Survivor(true);
    Recover(next, spelling);
    EXPECT_EQ(Release(next, s), "new") << spelling;
  }
  TCrashFs fs = OldFolder(s);
  fs.CrashAt(afterFirstMove);
  EXPECT_THROW(Install(fs), TCrash);
  TCrashFs next = fs.Survivor(true);
  next.CurrentFolder = kDir;
  const auto before = next.Snapshot();
  Recover(next, "");
  EXPECT_EQ(next.Snapshot(), before);
}

// Only bytes with the digest this program carries are moved in: a staged file taken away,
// replaced by other bytes of the right length or of another (never hashed), or recorded in
// another release's journal sends a committed update back to the previous release.
TEST(Recover, CommittedUpdateMovesInOnlyWhatItCarries) {
  const TScenario s;
  TCrashFs clean = OldFolder(s);
  Install(clean);
  const long firstMove = MoveOp(clean, Key("VELDRAN.EXE"));
  const std::string from = clean.Log()[firstMove].substr(7, clean.Log()[firstMove].find(' ', 7) - 7);
  const std::string stagedExe = kDir + from.substr(from.rfind('\\') + 1);
  const std::function<void(TCrashFs&)> damages[] = {
      [&](TCrashFs&) {},
      [&](TCrashFs& fs) { fs.Remove(stagedExe); },
      [&](TCrashFs& fs) { fs.Rewrite(stagedExe, std::string(kNewExe.size(), 'x')); },
      [&](TCrashFs& fs) { fs.Put(kDir + "planted", std::string(kNewExe.size(), 'y')), fs.MoveOver(kDir + "planted", stagedExe); },
      [&](TCrashFs& fs) { fs.Rewrite(stagedExe, kNewExe + "!"); },
  };
  for (const auto& damage : damages)
    for (TRecoverer who : {TRecoverer::This, TRecoverer::None, TRecoverer::Other}) {
      TCrashFs fs = OldFolder(s);
      fs.CrashAt(firstMove);
      EXPECT_THROW(Install(fs), TCrash);
      TCrashFs next = fs.Survivor(true);
      EXPECT_EQ(next.Witness.size(), 1u) << "a state before the commit is still believed";
      damage(next);
      Recover(next, kDir, who);
      const bool forward = &damage == &damages[0] && who == TRecoverer::This;
      EXPECT_EQ(Release(next, s), forward ? "new" : "old");
      EXPECT_TRUE(&damage != &damages[4] || FirstOp(next, "Hash " + from) < 0) << "a file of another size hashed";
    }
}

// A recovery that turned back (the program carries no digests to move in by) keeps going back
// after a crash, even when the next start could have gone forward.
TEST(Recover, TurningBackIsRecordedBeforeTheFirstStep) {
  const TScenario s;
  TCrashFs clean = OldFolder(s);
  Install(clean);
  TCrashFs fs = OldFolder(s);
  fs.CrashAt(MoveOp(clean, Key("VELDRAN.EXE")));
  EXPECT_THROW(Install(fs), TCrash);
  const TCrashFs disk = fs.Survivor(true);
  TCrashFs probe = disk.Survivor(true);
  Recover(probe, kDir, TRecoverer::None);
  ASSERT_EQ(Release(probe, s), "old");
  const long turned = FirstOp(probe, "Rename " + Key(journal::kTempName));
  ASSERT_GT(turned, 0);
  for (long r = 0; r < probe.Ops(); ++r) {
    TCrashFs again = disk.Survivor(true);
    again.CrashAt(r);
    EXPECT_THROW(Recover(again, kDir, TRecoverer::None), TCrash);
    TCrashFs next = again.Survivor(true);
    Recover(next);
    const std::string result = Release(next, s);
    EXPECT_TRUE(r > turned ? result == "old" : result == "old" || result == "new") << "crash at " << probe.Log()[r];
  }
}

// Before the commit no target was moved to: files placed there by someone else stay (none is
// deleted, though the archive was not there before), and only the update's own files go. After
// the last move the new archive is ours: with the new executable taken away, it goes back too.
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
  TCrashFs after = OldFolder(s);
  after.CrashAt(MoveOp(clean, Key("mg_data2.mbl")) + 1);
  EXPECT_THROW(Install(after), TCrash);
  TCrashFs taken = after.Survivor(true);
  taken.Remove(kExe);
  Recover(taken);
  EXPECT_EQ(Release(taken, s), "old");
}

// Release A's update cut short after its commit, and release B started next, which carries
// other files: B undoes A's update by the phase and by what A's journal records, never by
// sizes, whether the previous executable is as long as A's and whether the archive is new.
TEST(Recover, AnotherReleaseUndoesAHalfDoneUpdate) {
  for (const TScenario& s : AllScenarios()) {
    if (!s.unflushedSurvives) continue;
    TCrashFs clean = OldFolder(s);
    Install(clean);
    for (long k = CommitOp(clean) + 1; k <= MoveOp(clean, Key("mg_data2.mbl")); ++k) {
      TCrashFs fs = OldFolder(s);
      fs.CrashAt(k);
      EXPECT_THROW(Install(fs), TCrash);
      TCrashFs next = fs.Survivor(true);
      Recover(next, kDir, TRecoverer::Other);
      EXPECT_EQ(Release(next, s), "old") << Name(s) << ", crash at " << clean.Log()[k];
      EXPECT_FALSE(next.Has(kDir + journal::kName)) << Name(s);
    }
  }
}

// Where neither way leads to a whole release, every file and the journal stay and the file in
// the way is named; the update then fails the same way, touching nothing, while the cause
// lasts. A target held by the running game is such a cause until it is let go.
TEST(Recover, StuckRecoveryKeepsEverythingAndSaysSo) {
  const TScenario s;
  TCrashFs clean = OldFolder(s);
  Install(clean);
  TCrashFs fs = OldFolder(s);
  fs.CrashAt(MoveOp(clean, Key("mg_data2.mbl")));
  EXPECT_THROW(Install(fs), TCrash);
  TCrashFs next = fs.Survivor(true);
  // The executable is new; the archive's staged file and the executable's second name are gone.
  for (const std::string& p : next.Paths())
    if (p != kUsersTmp && next.Content(p) != kOldDat2 && journal::IsWorkFileName(p.substr(kDir.size())))
      next.Remove(p);
  const auto before = next.Snapshot();
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Recover(next); }), EFCreateError(kDat2).Message());
  EXPECT_EQ(next.Snapshot(), before);
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(next); }), EFCreateError(kDat2).Message());
  EXPECT_EQ(next.Snapshot(), before);
  // A link in place of the new executable: nothing goes back over it either.
  TCrashFs linked = fs.Survivor(true);
  linked.Remove(kExe), linked.PutLink(kExe, kOutside);
  const auto was = linked.Snapshot();
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Recover(linked); }), EFCreateError(kExe).Message());
  EXPECT_EQ(linked.Snapshot(), was);
  // A rollback that can no longer bring the previous executable back goes forward, the staged
  // archive under a work name of any hexadecimal digits.
  TCrashFs ahead = fs.Survivor(true);
  journal::TJournal j;
  ASSERT_TRUE(journal::Parse(ahead.Content(kDir + journal::kName), kUpdateFiles, &j));
  ahead.Remove(kDir + j.Entries[0].Backup);
  ahead.MoveOver(kDir + j.Entries[1].Staged, kDir + "vdnBEEF.tmp");
  j.Phase = journal::TPhase::RollBack;
  j.Entries[1].Staged = "vdnBEEF.tmp";
  PutJournal(ahead, j);
  Recover(ahead);
  EXPECT_EQ(Release(ahead, s), "new");

  TCrashFs held = fs.Survivor(true);
  held.Lock(kExe);
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Recover(held); }), EFCreateError(kExe).Message());
  EXPECT_EQ(FailureOf<EFCreateError>([&] { Install(held); }), EFCreateError(kExe).Message());
  EXPECT_TRUE(held.Has(kDir + journal::kName));
  held.UnlockAll();
  Recover(held);
  EXPECT_EQ(Release(held, s), "new");
}

// Every crash point of the update; after each, every crash point of the recovery that the next
// start runs, and then a recovery that completes, from another spelling of the folder each time;
// and, after each, a recovery by a release that carries no digests or other ones.
TEST(Exhaustion, EveryCrashPointEndsInOneWholeRelease) {
  long updatePoints = 0, recoveryPoints = 0;
  for (const TScenario& s : AllScenarios()) {
    TCrashFs clean = OldFolder(s);
    Install(clean);
    const long commit = CommitOp(clean), lastMove = MoveOp(clean, Key("mg_data2.mbl"));
    ASSERT_GT(commit, 0) << Name(s);
    ASSERT_GT(lastMove, commit) << Name(s);
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
      for (TRecoverer who : {TRecoverer::None, TRecoverer::Other}) {
        TCrashFs other = disk.Survivor(true);
        ASSERT_NO_THROW(Recover(other, folder, who)) << Name(s) << ", crash at " << k;
        ASSERT_EQ(Release(other, s), k > lastMove ? "new" : "old") << Name(s) << ", crash at " << k;
      }
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
      if (fs.FallibleOps() == 0 || FirstOp(clean, "List", f) == f || FirstOp(clean, "Size", f) == f ||
          FirstOp(clean, "WitnessLoad", f) == f)
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
      const bool journalLeft = fs.Has(kDir + journal::kName);
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
        // A folder that cannot be opened now has no recovery now, and reports nothing; nor does
        // a witness that keeps a digest of a state dealt with.
        if (FirstOp(probe, "Size", g) == g || FirstOp(probe, "WitnessLoad", g) == g ||
            FirstOp(probe, "OpenFolder", g) == g || (g + 1 == probe.Ops() && FirstOp(probe, "WitnessStore", g) == g))
          continue;
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
          for (const char* change : {"Create", "Write", "Flush", "Rename", "Link", "CopyTo", "Delete", "WitnessStore"})
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

// Between any two operations of the update, one move of an adversary who can write the folder:
// a file taken away or locked (a virus scanner, the running game); a folder, a file, a symbolic
// link out of the folder or a second name of a file outside it made under a name the update may
// pick; a file rewritten, or another of the same size renamed over it. The sharing of what the
// update holds refuses some of them. Nothing outside the folder changes; a success leaves the
// new release in place of what the update held; after the locks are let go the next start leaves
// one whole release, less what the adversary took or rewrote.
TEST(Exhaustion, AdversaryBetweenAnyTwoOperations) {
  const std::string made[] = {"vdn0001.tmp", "vdn0003.tmp", "vdn0004.tmp", "vdn0005.tmp", "vdn0006.tmp",
                              journal::kName, journal::kTempName};
  enum { kRemove, kLock, kFolder, kFile, kLink, kOutsideName, kRewrite, kRenameOver, kKinds };
  long moves = 0, refused = 0, updateFailures = 0;
  for (const TScenario& s : AllScenarios()) {
    if (!s.unflushedSurvives) continue;  // no crash here
    TCrashFs clean = OldFolder(s);
    Install(clean);
    for (long k = 0; k <= clean.Ops(); ++k)
      for (int kind = 0; kind < kKinds; ++kind)
        for (size_t m = 0;; ++m) {
          std::string name;      // the one the move acts on
          std::string affected;  // the target whose file it changed
          std::set<std::string> spared;
          bool tried = false, applied = false;
          TCrashFs fs = OldFolder(s);
          fs.Adversary = [&](TCrashFs& f, long op) {
            if (op != k) return;
            const bool onExisting = kind == kRemove || kind == kLock || kind == kRewrite || kind == kRenameOver;
            if (onExisting) {
              std::vector<std::string> files;
              for (const std::string& p : f.Paths())
                if (p != kMarker && p != kUsersTmp && p.compare(0, kDir.size(), kDir) == 0) files.push_back(p);
              if (m >= files.size()) return;
              name = files[m];
              if (kind == kRewrite && f.SameFile(name, kExeElsewhere)) return;  // it would change outside
            } else {
              if (m >= std::size(made) || f.Has(kDir + made[m]) || f.HasFolder(kDir + made[m]) ||
                  !f.LinkAt(kDir + made[m]).empty())
                return;
              name = kDir + made[m];
            }
            tried = true;
            // A file that is a name of a target's file changes the target with it.
            for (const std::string& target : {kExe, kDat2})
              if (f.Key(name) == f.Key(target) || f.SameFile(name, target)) affected = target;
            auto sameSize = [&] { return std::string(f.Content(name).size(), 'z'); };
            switch (kind) {
              case kRemove: applied = f.Remove(name); break;
              case kLock: applied = f.Lock(name); break;
              case kFolder: f.PutFolder(name), applied = true; break;
              case kFile: applied = f.Put(name, "the adversary's"); break;
              case kLink: applied = f.PutLink(name, kOutside); break;
              case kOutsideName: applied = f.HardLink(kOutside, name); break;
              case kRewrite: applied = f.Rewrite(name, sameSize()); break;
              case kRenameOver:
                applied = f.Put(kDir + "planted", sameSize()) && f.MoveOver(kDir + "planted", name);
                if (!applied) f.Remove(kDir + "planted");
                affected = f.Key(name) == f.Key(kExe) || f.Key(name) == f.Key(kDat2) ? name : std::string();
                break;
            }
            if (!applied || kind == kLock) affected.clear();
            if (applied && f.Key(name) != f.Key(kExe) && f.Key(name) != f.Key(kDat2)) spared.insert(f.Key(name));
          };
          const auto before = fs.Snapshot();
          bool failed = false;
          try {
            Install(fs);
          } catch (const Exception&) {
            failed = true;
          }
          if (!tried && m >= 8) break;
          if (!tried) continue;
          ++moves;
          refused += !applied;
          updateFailures += failed;
          const std::string what = Name(s) + ", move " + std::to_string(kind) + " on " + name + " before " +
                                   (k < static_cast<long>(clean.Log().size()) ? clean.Log()[k] : "the end");
          ASSERT_EQ(TouchedOutside(fs, kDir), "") << what;
          ASSERT_EQ(ChangedOutside(before, fs.Snapshot(), fs.Key(kDir)), "") << what;
          const bool onTarget = !affected.empty() || (kind == kRemove && applied && !fs.Has(name) &&
                                                      (fs.Key(name) == fs.Key(kExe) || fs.Key(name) == fs.Key(kDat2)));
          if (onTarget && affected.empty()) affected = name;
          // A success has both new files in place: no staged file can have been swapped.
          if (!failed && !onTarget) {
            ASSERT_TRUE(fs.Has(kExe) && fs.Content(kExe) == kNewExe && fs.Has(kDat2) && fs.Content(kDat2) == kNewDat2)
                << what;
          }
          fs.UnlockAll();
          fs.Adversary = nullptr;
          ASSERT_NO_THROW(Recover(fs)) << what;
          std::string result = Release(fs, s, spared);
          if (onTarget) {
            // What the adversary took or rewrote stays so; the rest must be one release.
            const bool exe = fs.Key(affected) == fs.Key(kExe);
            TCrashFs asOld = fs, asNew = fs;
            asOld.Remove(affected), asOld.Put(affected, exe ? OldExe(s) : kOldDat2);
            asNew.Remove(affected), asNew.Put(affected, exe ? kNewExe : kNewDat2);
            result = Release(asOld, s, spared) == "old" ? "old" : Release(asNew, s, spared) == "new" ? "new" : Release(asOld, s, spared);
          }
          ASSERT_TRUE(result == "old" || result == "new") << what << ": " << result;
          if (failed && !onTarget) {
            ASSERT_EQ(result, "old") << what;
          }
          ASSERT_EQ(ChangedOutside(before, fs.Snapshot(), fs.Key(kDir)), "") << what;
          // A link or a second name the adversary made under a work name stays: nothing is moved
          // over a work name, and one that is not ours is never deleted.
          if (applied && (kind == kLink || kind == kOutsideName) && name != kDir + journal::kName) {
            ASSERT_TRUE(kind == kLink ? fs.LinkAt(name) == kOutside : fs.Has(name)) << what;
          }
        }
  }
  std::printf("adversary moves: %ld, of which %ld refused by the sharing and %ld made the update fail\n", moves,
              refused, updateFailures);
}
