// The install sequence: plan, journal, stage and verify, set aside, commit, move in, clean up;
// and the recovery that finishes or undoes it after a crash.
#include "payload/install.h"

#include <cstdio>
#include <map>
#include <set>
#include <utility>

#include "base/failure.h"
#include "base/sha256.h"
#include "base/sjis.h"
#include "payload/sums.h"
#include "payload/unpack.h"

namespace {

using journal::TAction;
using journal::TEntry;
using journal::TJournal;
using journal::TPhase;
using TKind = TFileOps::TKind;

std::string Folded(const std::string& name) { return sjis::UpperAscii(name); }

// A handle of the folder's, closed when it goes.
class THeld {
 public:
  explicit THeld(TFileOps& files) : files_(&files) {}
  ~THeld() { Close(); }
  THeld(THeld&& other) noexcept : files_(other.files_), handle_(other.Release()) {}
  THeld& operator=(THeld&&) = delete;
  THeld(const THeld&) = delete;

  TFileOps::Handle* Out() {
    Close();
    return &handle_;
  }
  TFileOps::Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != TFileOps::kNoHandle; }
  // The handle, no longer closed here (Delete closes it).
  TFileOps::Handle Release() { return std::exchange(handle_, TFileOps::kNoHandle); }
  void Close() {
    if (handle_ != TFileOps::kNoHandle) files_->Close(Release());
  }

 private:
  TFileOps* files_;
  TFileOps::Handle handle_ = TFileOps::kNoHandle;
};

// The game folder and the one update that may happen in it.
struct TUpdate {
  TUpdate(TFileOps& files, TJournalWitness& witness, const std::vector<PayloadTarget>& payloads)
      : Files(files), Witness(witness), Payloads(payloads) {}

  std::string Path(const std::string& name) { return Files.Prefix() + name; }
  bool Delete(THeld& file) { return Files.Delete(file.Release()); }

  TFileOps& Files;
  TJournalWitness& Witness;
  const std::vector<PayloadTarget>& Payloads;
  // The digests this program carries, by target name folded as the platform folds it.
  std::map<std::string, TSha256::Digest> Carried;
};

void Must(bool ok, const std::string& path) {
  if (!ok) throw EFCreateError(path);
}

// ---- Judging the folder ------------------------------------------------------------------

// One name of the folder as recovery found it, held where it is a file of ours.
struct TSeen {
  explicit TSeen(TFileOps& files) : File(files) {}
  TKind Kind = TKind::Absent;
  THeld File;
  bool New = false;  // holds the new file that the journal records
};

// An entry as the folder has it now.
struct TState {
  explicit TState(TFileOps& files) : Target(files), Staged(files), Backup(files) {}
  TSeen Target, Staged, Backup;
  bool BackupIsTarget = false;  // the previous file is still in place: its second name is a link
};

// The content matches the recorded new file: the size decides before any byte is hashed.
bool HoldsNew(TUpdate& u, THeld& file, const TEntry& e, const std::string& name) {
  uint64_t size = 0;
  if (!e.Known || !u.Files.Size(file.Get(), &size) || size != e.NewSize) return false;
  TSha256::Digest digest;
  if (!u.Files.Hash(file.Get(), &digest)) throw EFCreateError(u.Path(name));
  return digest == e.NewDigest;
}

// Opens a work file of an entry: ours only where its one name is the one the journal gives it
// (or, for a set-aside file, two names, the other being the target's). Anything else is left
// as it is and counts as Foreign.
void OpenWork(TUpdate& u, const std::string& name, TSeen* seen, const std::string& targetIdentity) {
  seen->Kind = u.Files.Open(name, seen->File.Out());
  if (seen->Kind == TKind::Busy) throw EFCreateError(u.Path(name));
  if (seen->Kind != TKind::File) return;
  const int names = u.Files.Names(seen->File.Get());
  if (names == 1 || (names == 2 && !targetIdentity.empty() && u.Files.Identity(seen->File.Get()) == targetIdentity))
    return;
  seen->File.Close();
  seen->Kind = TKind::Foreign;
}

// Judges every entry once, before anything is changed; a file that cannot be read now cannot be
// judged, and nothing is done (EFCreateError naming it). Targets are let go once judged: a file
// held under any of its names cannot be replaced.
std::vector<TState> Judge(TUpdate& u, const TJournal& journal) {
  std::vector<TState> states;
  for (const TEntry& e : journal.Entries) {
    TState st(u.Files);
    std::string identity;
    auto openTarget = [&] {
      st.Target.Kind = u.Files.Open(e.Name, st.Target.File.Out());
      if (st.Target.Kind == TKind::Busy) throw EFCreateError(u.Path(e.Name));
      if (st.Target.Kind == TKind::File) identity = u.Files.Identity(st.Target.File.Get());
    };
    if (journal.Phase == TPhase::Stage) {
      // Before the commit no target is changed: one is looked at only to tell a second name of
      // its file from a stranger's.
      OpenWork(u, e.Backup, &st.Backup, std::string());
      if (st.Backup.Kind == TKind::Foreign) {
        openTarget();
        st.Target.File.Close();
        if (!identity.empty()) OpenWork(u, e.Backup, &st.Backup, identity);
      }
    } else {
      openTarget();
      if (st.Target.Kind == TKind::File) {
        st.Target.New = HoldsNew(u, st.Target.File, e, e.Name);
        if (!st.Target.New || e.Existed) st.Target.File.Close();  // kept only to be deleted
      }
      OpenWork(u, e.Backup, &st.Backup, identity);
    }
    st.BackupIsTarget = st.Backup.Kind == TKind::File && !identity.empty() &&
                        u.Files.Identity(st.Backup.File.Get()) == identity;
    OpenWork(u, e.Staged, &st.Staged, std::string());
    // Only a staged file whose digest this program carries may be moved in.
    const auto carried = u.Carried.find(Folded(e.Name));
    if (journal.Phase != TPhase::Stage && st.Staged.Kind == TKind::File && carried != u.Carried.end() &&
        carried->second == e.NewDigest)
      st.Staged.New = HoldsNew(u, st.Staged.File, e, e.Staged);
    states.push_back(std::move(st));
  }
  return states;
}

// A target that nothing may replace: a link, a folder.
bool Untouchable(const TSeen& target) { return target.Kind == TKind::Foreign || target.Kind == TKind::Folder; }

// Forward needs every target to hold the new file already or its staged file to be it. Back
// needs, for every target that existed and holds its new file, the previous file's second name;
// a target whose previous file is to come back must be one that can be replaced. Each returns
// the file in the way, or an empty name.
std::string BlocksForward(const TJournal& journal, const std::vector<TState>& states) {
  for (size_t i = 0; i < states.size(); ++i) {
    const TState& st = states[i];
    if (!st.Target.New && (!st.Staged.New || Untouchable(st.Target))) return journal.Entries[i].Name;
  }
  return std::string();
}

std::string BlocksBack(const TJournal& journal, const std::vector<TState>& states) {
  for (size_t i = 0; i < states.size(); ++i) {
    const TEntry& e = journal.Entries[i];
    const TState& st = states[i];
    const bool backup = st.Backup.Kind == TKind::File;
    if (e.Existed && st.Target.New && !backup) return e.Name;
    if (e.Existed && backup && !st.BackupIsTarget && Untouchable(st.Target)) return e.Name;
  }
  return std::string();
}

// Removes a work file that is ours; one that is not stays.
void RemoveWork(TUpdate& u, TSeen& seen, const std::string& name) {
  if (seen.Kind == TKind::File) Must(u.Delete(seen.File), u.Path(name));
  seen.Kind = TKind::Absent;
}

// The work files are gone where they are ours: before the commit no target was touched, and
// none is now. A set-aside file that is a second name of its target loses only that name.
void Discard(TUpdate& u, const TJournal& journal, std::vector<TState>& states) {
  for (size_t i = states.size(); i-- > 0;) {
    RemoveWork(u, states[i].Backup, journal.Entries[i].Backup);
    RemoveWork(u, states[i].Staged, journal.Entries[i].Staged);
  }
  Must(journal::Forget(u.Files, u.Witness), u.Path(journal::kName));
}

// Brings the previous release back: each set-aside file present goes back over its target
// where the target is not it (or only loses its second name where it is); a target new to the
// folder that holds its new file goes. The staged files go last, then the journal. Each step
// can be repeated after a crash: the next start judges the folder afresh.
void Back(TUpdate& u, const TJournal& journal, std::vector<TState>& states) {
  for (size_t i = states.size(); i-- > 0;) {
    const TEntry& e = journal.Entries[i];
    TState& st = states[i];
    if (e.Existed && st.Backup.Kind == TKind::File) {
      if (st.BackupIsTarget) {
        RemoveWork(u, st.Backup, e.Backup);
      } else {
        Must(!Untouchable(st.Target), u.Path(e.Name));
        Must(u.Files.Rename(st.Backup.File.Get(), e.Name), u.Path(e.Name));
        st.Backup.File.Close();
      }
    } else if (!e.Existed && st.Target.New) {
      Must(u.Delete(st.Target.File), u.Path(e.Name));
    }
    RemoveWork(u, st.Staged, e.Staged);
  }
  Must(journal::Forget(u.Files, u.Witness), u.Path(journal::kName));
}

// Every target that is not yet new gets its staged file, through the handle it was hashed
// through; then the previous files' second names and the journal go.
void MoveForward(TUpdate& u, const TJournal& journal, std::vector<TState>& states) {
  for (TState& st : states) {
    st.Target.File.Close();
    st.Backup.File.Close();  // a second name of a target: held, the target could not be replaced
  }
  for (size_t i = 0; i < states.size(); ++i) {
    const TEntry& e = journal.Entries[i];
    if (!states[i].Target.New) Must(u.Files.Rename(states[i].Staged.File.Get(), e.Name), u.Path(e.Name));
    states[i].Staged.File.Close();
  }
  for (const TEntry& e : journal.Entries) {
    TSeen backup(u.Files), staged(u.Files);
    OpenWork(u, e.Backup, &backup, std::string());
    RemoveWork(u, backup, e.Backup);
    OpenWork(u, e.Staged, &staged, std::string());
    RemoveWork(u, staged, e.Staged);
  }
  Must(journal::Forget(u.Files, u.Witness), u.Path(journal::kName));
}

void Recover(TUpdate& u, TJournal journal) {
  std::vector<TState> states = Judge(u, journal);
  const std::string forward = BlocksForward(journal, states);
  const std::string back = BlocksBack(journal, states);
  switch (journal::Decide(journal.Phase, forward.empty(), back.empty())) {
    case TAction::Discard:
      Discard(u, journal, states);
      return;
    case TAction::Forward:
      MoveForward(u, journal, states);
      return;
    case TAction::TurnBack:
      // A committed update turns back only after the journal says so: a crash on the way must
      // not let the next start (perhaps of a program that carries the digests) go forward over
      // files already brought back.
      journal.Phase = TPhase::RollBack;
      Must(journal::Write(u.Files, u.Witness, journal), u.Path(journal::kName));
      Back(u, journal, states);
      return;
    case TAction::Back:
      Back(u, journal, states);
      return;
    case TAction::Stuck:
      // Neither way leads to a whole release: every file and the journal stay as they are.
      throw EFCreateError(u.Path(journal.Phase == TPhase::Commit ? forward : back));
  }
}

// After a failed update: what the next start would do, from a fresh look at the folder; where
// that cannot be done now, the journal stays for the next start.
void TryUndo(TUpdate& u, const TJournal& journal) {
  try {
    Recover(u, journal);
  } catch (const Exception&) {
  }
}

void LoadCarried(TUpdate& u, TPayloadSource& source) {
  std::vector<uint8_t> digests;
  try {
    digests = source.Sums();
  } catch (const EResNotFound&) {
    return;  // nothing can be moved in, but the way back needs no digest
  }
  for (const PayloadTarget& p : u.Payloads) {
    TSha256::Digest d;
    if (sums::Find(digests.data(), digests.size(), p.ResourceName, &d)) u.Carried[Folded(p.FileName)] = d;
  }
}

void RecoverIn(TUpdate& u, TPayloadSource& source) {
  TJournal journal;
  if (!journal::Load(u.Files, u.Witness, u.Payloads, &journal)) return;
  LoadCarried(u, source);
  Recover(u, journal);
}

// ---- The update --------------------------------------------------------------------------

// Staged and set-aside names for every target: work file names that nothing in the folder has
// yet, file or folder (compared without case, as the platform does), all distinct.
std::vector<TEntry> Plan(TUpdate& u) {
  std::set<std::string> taken;
  for (const std::string& name : u.Files.List()) taken.insert(Folded(name));
  unsigned n = 0;
  auto next = [&](const std::string& target) {
    for (; n <= 0xFFFF; ++n) {
      char name[16];
      std::snprintf(name, sizeof name, "vdn%04X.tmp", n);
      if (taken.insert(Folded(name)).second) return std::string(name);
    }
    throw EFCreateError(u.Path(target));
  };
  std::vector<TEntry> entries;
  for (const PayloadTarget& p : u.Payloads) {
    TEntry e;
    e.Name = p.FileName;
    e.Staged = next(p.FileName);
    e.Backup = next(p.FileName);
    entries.push_back(e);
  }
  return entries;
}

// A target the update may replace: nothing there, or a file of the folder's that can be held
// (not a link, a folder, read-only or held elsewhere). Found out before decoding, not at the move.
void MustBeReplaceable(TUpdate& u, const std::string& name) {
  THeld file(u.Files);
  const TKind kind = u.Files.Open(name, file.Out());
  if (kind != TKind::Absent && kind != TKind::File) throw EFCreateError(u.Path(name));
}

// The destination of the decoder: the staged file, hashed and counted as it is written.
class THashedFile : public TStream {
 public:
  THashedFile(TFileOps& files, TFileOps::Handle handle) : files_(files), handle_(handle) {}

  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    const size_t taken = files_.Write(handle_, buffer, static_cast<size_t>(count));
    hash_.Update(buffer, taken);
    size_ += taken;
    return static_cast<int32_t>(taken);
  }
  TSha256::Digest Digest() { return hash_.Final(); }
  uint64_t Size() const { return size_; }

 private:
  TFileOps& files_;
  TFileOps::Handle handle_;
  TSha256 hash_;
  uint64_t size_ = 0;
};

// Decodes one payload into its staged file, held from here to its move, on disk; checks what
// was written and records its size and digest.
void Stage(TUpdate& u, TEntry& entry, THeld& staged, TStream& resource, const TSha256::Digest& expected) {
  *staged.Out() = u.Files.Create(entry.Staged);
  if (!staged) throw EFCreateError(u.Path(entry.Name));
  THashedFile out(u.Files, staged.Get());
  UnpackResource(resource, out);
  if (!u.Files.Flush(staged.Get())) throw EWriteError();
  if (out.Digest() != expected) throw EReadError();
  entry.Known = true;
  entry.NewSize = out.Size();
  entry.NewDigest = expected;
}

// The previous file keeps a second name while the new one is moved over the first: a hard link
// made while the target is held, so that it is of the file checked, or else a copy. A target
// with names of its own besides is copied, so that a set-aside file has only the names the
// update gives it.
void SetAside(TUpdate& u, TEntry& entry) {
  THeld target(u.Files);
  const TKind kind = u.Files.Open(entry.Name, target.Out());
  entry.Existed = kind == TKind::File;
  if (kind == TKind::Absent) return;
  Must(entry.Existed, u.Path(entry.Name));
  const std::string identity = u.Files.Identity(target.Get());
  if (u.Files.Names(target.Get()) == 1 && u.Files.Link(target.Get(), entry.Backup)) {
    target.Close();
    THeld backup(u.Files);
    Must(u.Files.Open(entry.Backup, backup.Out()) == TKind::File && u.Files.Identity(backup.Get()) == identity,
         u.Path(entry.Name));
    return;
  }
  THeld backup(u.Files);
  *backup.Out() = u.Files.Create(entry.Backup);
  Must(backup && u.Files.CopyTo(target.Get(), backup.Get()), u.Path(entry.Name));
}

}  // namespace

void RecoverUpdate(TFileOps& files, TPayloadSource& source, TJournalWitness& witness, const std::string& folder,
                   const std::vector<PayloadTarget>& payloads) {
  if (folder.empty() || !files.OpenFolder(folder)) return;
  TUpdate u(files, witness, payloads);
  RecoverIn(u, source);
}

void InstallPayloads(TFileOps& files, TPayloadSource& source, TJournalWitness& witness, const std::string& folder,
                     const std::vector<PayloadTarget>& payloads) {
  if (payloads.empty()) return;
  TUpdate u(files, witness, payloads);
  if (!files.OpenFolder(folder)) throw EFCreateError(u.Path(payloads.front().FileName));
  RecoverIn(u, source);

  TJournal journal;
  std::vector<THeld> staged;
  bool journalled = false;
  try {
    std::vector<uint8_t> digests;
    for (size_t i = 0; i < payloads.size(); ++i) {
      const PayloadTarget& p = payloads[i];
      std::unique_ptr<TStream> resource = source.Open(p.ResourceName);
      if (i == 0) digests = source.Sums();
      TSha256::Digest expected;
      if (!sums::Find(digests.data(), digests.size(), p.ResourceName, &expected))
        throw EResNotFound(sums::kResourceName);
      u.Carried[Folded(p.FileName)] = expected;
      MustBeReplaceable(u, p.FileName);
      if (!journalled) {
        journal.Entries = Plan(u);
        std::string inTheWay;
        journalled = journal::Write(files, witness, journal, &inTheWay);
        if (!journalled) {
          try {
            journal::Forget(files, witness);
          } catch (const Exception&) {
          }
          throw EFCreateError(u.Path(inTheWay.empty() ? p.FileName : inTheWay));
        }
      }
      staged.emplace_back(files);
      Stage(u, journal.Entries[i], staged.back(), *resource, expected);
    }
    for (TEntry& e : journal.Entries) SetAside(u, e);
    journal.Phase = TPhase::Commit;
    if (!journal::Write(files, witness, journal)) {
      journal.Phase = TPhase::Stage;
      throw EFCreateError(u.Path(payloads.front().FileName));
    }
  } catch (...) {
    staged.clear();
    if (journalled) TryUndo(u, journal);
    throw;
  }

  // Each staged file, held since its creation, is moved in through its
  // handle: nothing else can have written, moved or replaced it.
  try {
    for (size_t i = 0; i < journal.Entries.size(); ++i) {
      const TEntry& e = journal.Entries[i];
      uint64_t size = 0;
      Must(files.Size(staged[i].Get(), &size) && size == e.NewSize, u.Path(e.Name));
      Must(files.Rename(staged[i].Get(), e.Name), u.Path(e.Name));
    }
  } catch (...) {
    staged.clear();
    // Back to the previous release, but only once the journal says so: a crash on the way
    // must not let the next start move forward over files already brought back.
    journal.Phase = TPhase::RollBack;
    if (journal::Write(files, witness, journal)) TryUndo(u, journal);
    throw;
  }
  staged.clear();
  // The new release is whole and on disk; what is left of the update's own files the next
  // start removes if it cannot be removed now.
  try {
    for (const TEntry& e : journal.Entries) {
      TSeen backup(files);
      OpenWork(u, e.Backup, &backup, std::string());
      RemoveWork(u, backup, e.Backup);
    }
    journal::Forget(files, witness);
  } catch (const Exception&) {
  }
}
