// The install sequence: plan, journal, stage and verify, set aside, commit, move in, clean up;
// and the recovery that finishes or undoes it after a crash.
#include "payload/install.h"

#include <cstdio>
#include <map>
#include <set>

#include "base/failure.h"
#include "base/sha256.h"
#include "base/sjis.h"
#include "payload/sums.h"
#include "payload/unpack.h"

namespace install {

const char kJournalName[] = "vdnsetup.jnl";
const char kJournalTempName[] = "vdnsetup.jn~";

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool IsWorkFileName(const std::string& name) {
  if (name.size() != 11 || name.compare(0, 3, "vdn") != 0 || name.compare(7, 4, ".tmp") != 0) return false;
  for (size_t i = 3; i < 7; ++i)
    if (!IsHexDigit(name[i])) return false;
  return true;
}

bool IsAbsoluteFolder(const std::string& folder) {
  if (folder.size() >= 3 && IsAsciiLetter(folder[0]) && folder[1] == ':' && IsSeparator(folder[2])) return true;
  if (folder.size() < 2 || !IsSeparator(folder[0]) || !IsSeparator(folder[1])) return false;
  // "\\server\share": a server and a share, neither empty. "\\.\" and "\\?\" lead to devices
  // and raw paths, which no game folder is.
  const std::string rest = folder.substr(2);
  const std::vector<size_t> cuts = sjis::DelimiterPositions("\\/", rest);
  if (cuts.empty()) return false;
  const std::string server = rest.substr(0, cuts[0]);
  const size_t shareEnd = cuts.size() > 1 ? cuts[1] : rest.size();
  return !server.empty() && server != "." && server != "?" && shareEnd > cuts[0] + 1;
}

std::string FolderPrefix(const std::string& folder) {
  const std::string_view last = sjis::LastChar(folder);
  if (last.empty() || last == "\\" || last == "/" || last == ":") return folder;
  return folder + "\\";
}

}  // namespace install

namespace {

using install::IsWorkFileName;

const char kJournalMagic[] = "VELDRAN update journal 2";
// A journal is a few lines; a larger file of that name was not written here.
constexpr size_t kJournalLimit = 64 * 1024;

// Stage: staged files are being written, no target is touched. Commit: every staged file is
// whole and on disk, every previous file has its second name; forward is the way out.
// RollBack: a move failed; the previous files are being brought back.
enum class TPhase { Stage, Commit, RollBack };
const char* const kPhaseNames[] = {"stage", "commit", "rollback"};

// One target and the update's two work files for it, by bare name in the game folder.
struct TEntry {
  std::string Name;    // the target's file name, one of the update's
  std::string Staged;  // a work file name: the new file until it is moved in
  std::string Backup;  // a work file name: the previous file's second name
  bool Existed = false;
  uint64_t OldSize = 0;
  bool Known = false;  // the new file's size and digest are recorded (from the commit on)
  uint64_t NewSize = 0;
  TSha256::Digest NewDigest{};
};

struct TJournal {
  TPhase Phase = TPhase::Stage;
  std::vector<TEntry> Entries;
};

// The game folder and the one update that may happen in it.
struct TUpdate {
  TUpdate(TFileOps& files, const std::string& folder, const std::vector<PayloadTarget>& payloads)
      : Files(files), Prefix(install::FolderPrefix(folder)), Payloads(payloads) {}

  std::string Path(const std::string& name) const { return Prefix + name; }

  TFileOps& Files;
  const std::string Prefix;
  const std::vector<PayloadTarget>& Payloads;
  // The digests this program carries, by target name folded as the platform folds it.
  std::map<std::string, TSha256::Digest> Carried;
};

std::string Folded(const std::string& name) { return sjis::UpperAscii(name); }

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
    parts.push_back(text.substr(from, at - from));
  parts.push_back(text.substr(from));
  return parts;
}

bool ParseSize(const std::string& text, uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  *value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    *value = *value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

bool ParseDigest(const std::string& text, TSha256::Digest* digest) {
  if (text.size() != 64) return false;
  for (size_t i = 0; i < 32; ++i) {
    int byte = 0;
    for (char c : {text[2 * i], text[2 * i + 1]}) {
      if (c >= '0' && c <= '9') byte = byte * 16 + (c - '0');
      else if (c >= 'a' && c <= 'f') byte = byte * 16 + (c - 'a' + 10);
      else return false;
    }
    (*digest)[i] = static_cast<uint8_t>(byte);
  }
  return true;
}

std::string FormatJournal(const TJournal& journal) {
  std::string text = std::string(kJournalMagic) + "\nphase " + kPhaseNames[static_cast<int>(journal.Phase)] + "\n";
  for (const TEntry& e : journal.Entries)
    text += "file\t" + e.Name + "\t" + (e.Existed ? "1" : "0") + "\t" + std::to_string(e.OldSize) + "\t" + e.Staged +
            "\t" + e.Backup + "\t" + (e.Known ? std::to_string(e.NewSize) : "-") + "\t" +
            (e.Known ? TSha256::Hex(e.NewDigest) : "-") + "\n";
  return text + "sum " + TSha256::Hex(TSha256::Of(text.data(), text.size())) + "\n";
}

// A journal whose digest line matches the text before it, naming each of the update's targets
// at most once and distinct work names for them; anything else is not one of ours. Only bare
// names are taken, so nothing in a journal can lead outside the game folder.
bool ParseJournal(const std::string& text, const std::vector<PayloadTarget>& payloads, TJournal* journal) {
  const size_t sumAt = text.rfind("sum ");
  if (sumAt == std::string::npos || (sumAt > 0 && text[sumAt - 1] != '\n')) return false;
  const std::string body = text.substr(0, sumAt);
  if (text.substr(sumAt) != "sum " + TSha256::Hex(TSha256::Of(body.data(), body.size())) + "\n") return false;
  std::vector<std::string> lines = Split(body, '\n');
  lines.pop_back();  // after the last newline
  if (lines.size() < 3 || lines[0] != kJournalMagic) return false;
  bool phaseKnown = false;
  for (int p = 0; p < 3; ++p)
    if (lines[1] == std::string("phase ") + kPhaseNames[p]) {
      journal->Phase = static_cast<TPhase>(p);
      phaseKnown = true;
    }
  if (!phaseKnown) return false;
  std::set<std::string> targets;
  for (size_t i = 2; i < lines.size(); ++i) {
    const std::vector<std::string> f = Split(lines[i], '\t');
    if (f.size() != 8 || f[0] != "file" || (f[2] != "0" && f[2] != "1")) return false;
    TEntry e;
    for (const PayloadTarget& p : payloads)
      if (Folded(p.FileName) == Folded(f[1])) e.Name = p.FileName;
    if (e.Name.empty() || !targets.insert(Folded(e.Name)).second) return false;
    e.Existed = f[2] == "1";
    if (!ParseSize(f[3], &e.OldSize) || !IsWorkFileName(f[4]) || !IsWorkFileName(f[5])) return false;
    e.Staged = f[4];
    e.Backup = f[5];
    e.Known = f[6] != "-" || f[7] != "-";
    if (e.Known && (!ParseSize(f[6], &e.NewSize) || !ParseDigest(f[7], &e.NewDigest))) return false;
    if (!e.Known && journal->Phase != TPhase::Stage) return false;
    journal->Entries.push_back(e);
  }
  return true;
}

void Must(bool ok, const std::string& path) {
  if (!ok) throw EFCreateError(path);
}

void DeleteIfThere(TUpdate& u, const std::string& name) {
  const std::string path = u.Path(name);
  if (u.Files.Exists(path)) Must(u.Files.Delete(path), path);
}

// The journal replaces its previous state in one move, from a flushed file, so that a crash
// leaves either state whole.
bool WriteJournal(TUpdate& u, const TJournal& journal) {
  const std::string temp = u.Path(install::kJournalTempName);
  if (u.Files.Exists(temp) && !u.Files.Delete(temp)) return false;
  const TFileOps::Handle h = u.Files.Create(temp);
  if (h == TFileOps::kNoHandle) return false;
  const std::string text = FormatJournal(journal);
  const bool written = u.Files.Write(h, text.data(), text.size()) == text.size() && u.Files.Flush(h);
  u.Files.Close(h);
  return written && u.Files.Replace(temp, u.Path(install::kJournalName));
}

void ForgetJournal(TUpdate& u) {
  DeleteIfThere(u, install::kJournalTempName);
  DeleteIfThere(u, install::kJournalName);
}

// What a name of the folder holds, judged against the new file an entry records: only a file
// with the size recorded and the digest this program carries is the new file.
enum class TKind { Absent, New, Other, Unreadable };
struct TContent {
  TKind Kind = TKind::Absent;
  uint64_t Size = 0;
};

TContent ContentOf(TUpdate& u, const std::string& name, const TEntry& e) {
  const std::string path = u.Path(name);
  TContent c;
  if (!u.Files.Size(path, &c.Size)) {
    c.Kind = u.Files.Exists(path) ? TKind::Unreadable : TKind::Absent;
    return c;
  }
  c.Kind = TKind::Other;
  const auto carried = u.Carried.find(Folded(e.Name));
  if (!e.Known || carried == u.Carried.end() || carried->second != e.NewDigest || c.Size != e.NewSize) return c;
  TSha256::Digest digest;
  if (!u.Files.Hash(path, &digest)) c.Kind = TKind::Unreadable;
  else if (digest == carried->second) c.Kind = TKind::New;
  return c;
}

// An entry as the folder has it now: its target, its staged file where the target is not yet
// the new file, and whether the previous file still has its second name.
struct TState {
  TContent Target, Staged;
  bool Backup = false;
};

// Judges every entry once, before anything is changed; a file that cannot be read now cannot be
// judged, and nothing is done (EFCreateError naming it).
std::vector<TState> Judge(TUpdate& u, const TJournal& journal) {
  std::vector<TState> states;
  for (const TEntry& e : journal.Entries) {
    TState st;
    st.Target = ContentOf(u, e.Name, e);
    if (st.Target.Kind == TKind::Unreadable) throw EFCreateError(u.Path(e.Name));
    if (st.Target.Kind != TKind::New) {
      st.Staged = ContentOf(u, e.Staged, e);
      if (st.Staged.Kind == TKind::Unreadable) throw EFCreateError(u.Path(e.Staged));
    }
    st.Backup = u.Files.Exists(u.Path(e.Backup));
    states.push_back(st);
  }
  return states;
}

// Forward needs every target to hold the new file already or its staged file to be it. Back
// needs the previous file of every target that holds the new one: its second name, or none
// where there was none before. Each returns the target in the way, or an empty name.
std::string BlocksForward(const TJournal& journal, const std::vector<TState>& states) {
  for (size_t i = 0; i < states.size(); ++i)
    if (states[i].Target.Kind != TKind::New && states[i].Staged.Kind != TKind::New) return journal.Entries[i].Name;
  return std::string();
}

std::string BlocksBack(const TJournal& journal, const std::vector<TState>& states) {
  for (size_t i = 0; i < states.size(); ++i)
    if (states[i].Target.Kind == TKind::New && journal.Entries[i].Existed && !states[i].Backup)
      return journal.Entries[i].Name;
  return std::string();
}

// Brings the previous release back: a target holding the new file gets its previous file moved
// back over it (or loses the new file, where there was none before); a target that lost its
// previous file gets it back from the second name. The second name goes only once the target
// holds the previous file again, the staged file last. Each step can be repeated after a crash:
// the next start judges the folder afresh.
void RollBack(TUpdate& u, const TJournal& journal, const std::vector<TState>& states) {
  for (size_t i = states.size(); i-- > 0;) {
    const TEntry& e = journal.Entries[i];
    const TContent& now = states[i].Target;
    const std::string target = u.Path(e.Name);
    // Before the commit no new file is recorded, so no target counts as moved to.
    const bool moved = now.Kind == TKind::New;
    const bool previous = now.Kind == TKind::Other && now.Size == e.OldSize;
    if (moved && !e.Existed) {
      Must(u.Files.Delete(target), target);
    } else if (e.Existed && !previous && states[i].Backup) {
      Must(u.Files.Replace(u.Path(e.Backup), target), target);
    }
    DeleteIfThere(u, e.Backup);
    DeleteIfThere(u, e.Staged);
  }
  ForgetJournal(u);
}

// The new release is whole: what is not yet in place is moved in from its staged file, then the
// previous files' second names and the journal go.
void MoveForward(TUpdate& u, const TJournal& journal, const std::vector<TState>& states) {
  for (size_t i = 0; i < states.size(); ++i) {
    const std::string target = u.Path(journal.Entries[i].Name);
    if (states[i].Target.Kind != TKind::New) Must(u.Files.Replace(u.Path(journal.Entries[i].Staged), target), target);
  }
  for (const TEntry& e : journal.Entries) {
    DeleteIfThere(u, e.Backup);
    DeleteIfThere(u, e.Staged);
  }
  ForgetJournal(u);
}

// A committed update goes forward where it can, one being undone goes back where it can. A
// committed one turns back only after the journal says so: a crash on the way must not let the
// next start (perhaps of a program that carries the digests) go forward over files already
// brought back. One being undone turns forward only where a target holds the new file without
// its previous one, which no later start can bring back either. Before the commit there is
// only the way back.
void Recover(TUpdate& u, TJournal journal) {
  const std::vector<TState> states = Judge(u, journal);
  if (journal.Phase == TPhase::Stage) {
    RollBack(u, journal, states);
    return;
  }
  const bool forwardFirst = journal.Phase == TPhase::Commit;
  const std::string forward = BlocksForward(journal, states);
  const std::string back = BlocksBack(journal, states);
  if (forward.empty() && (forwardFirst || !back.empty())) {
    MoveForward(u, journal, states);
  } else if (back.empty()) {
    if (forwardFirst) {
      journal.Phase = TPhase::RollBack;
      Must(WriteJournal(u, journal), u.Path(install::kJournalName));
    }
    RollBack(u, journal, states);
  } else {
    // Neither way leads to a whole release: every file and the journal stay as they are.
    throw EFCreateError(u.Path(forwardFirst ? forward : back));
  }
}

// Undoes as much as it can; a step that fails leaves the journal for the next start.
void TryRollBack(TUpdate& u, const TJournal& journal) {
  try {
    RollBack(u, journal, Judge(u, journal));
  } catch (const Exception&) {
  }
}

void LoadCarried(TUpdate& u, TPayloadSource& source) {
  std::vector<uint8_t> digests;
  try {
    digests = source.Sums();
  } catch (const EResNotFound&) {
    return;  // nothing can be moved in, but a rollback needs no digest
  }
  for (const PayloadTarget& p : u.Payloads) {
    TSha256::Digest d;
    if (sums::Find(digests.data(), digests.size(), p.ResourceName, &d)) u.Carried[Folded(p.FileName)] = d;
  }
}

void RecoverIn(TUpdate& u, TPayloadSource& source) {
  const std::string path = u.Path(install::kJournalName);
  if (!u.Files.Exists(path)) {
    DeleteIfThere(u, install::kJournalTempName);
    return;
  }
  std::string text;
  if (!u.Files.Read(path, kJournalLimit, &text)) {
    uint64_t size = 0;
    // One too large to be ours is not a journal; one that cannot be read now may be.
    if (!u.Files.Size(path, &size) || size <= kJournalLimit) throw EFCreateError(path);
  }
  TJournal journal;
  // Only ever put in place whole and flushed: one that does not parse was not written here.
  if (!ParseJournal(text, u.Payloads, &journal)) {
    ForgetJournal(u);
    return;
  }
  LoadCarried(u, source);
  Recover(u, journal);
}

// Staged and set-aside names for every target: work file names that nothing in the folder has
// yet, file or folder (compared without case, as the platform does).
std::vector<TEntry> Plan(TUpdate& u) {
  std::set<std::string> taken;
  for (const std::string& name : u.Files.List(u.Prefix)) taken.insert(Folded(name));
  auto next = [&](const std::string& target) {
    for (unsigned n = 0; n <= 0xFFFF; ++n) {
      char name[16];
      std::snprintf(name, sizeof name, "vdn%04X.tmp", n);
      if (taken.insert(Folded(name)).second) return std::string(name);
    }
    throw EFCreateError(target);
  };
  std::vector<TEntry> entries;
  for (const PayloadTarget& p : u.Payloads) {
    TEntry e;
    e.Name = p.FileName;
    e.Staged = next(u.Path(p.FileName));
    e.Backup = next(u.Path(p.FileName));
    e.Existed = u.Files.Size(u.Path(p.FileName), &e.OldSize);
    entries.push_back(e);
  }
  return entries;
}

// The destination of the decoder: the staged file, hashed and counted as it is written.
class THashedFile : public TStream {
 public:
  THashedFile(TFileOps& files, TFileOps::Handle handle) : files_(files), handle_(handle) {}
  ~THashedFile() override { Close(); }
  THashedFile(const THashedFile&) = delete;
  THashedFile& operator=(const THashedFile&) = delete;

  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    const size_t taken = files_.Write(handle_, buffer, static_cast<size_t>(count));
    hash_.Update(buffer, taken);
    size_ += taken;
    return static_cast<int32_t>(taken);
  }
  bool Flush() { return files_.Flush(handle_); }
  void Close() {
    if (handle_ != TFileOps::kNoHandle) files_.Close(handle_);
    handle_ = TFileOps::kNoHandle;
  }
  TSha256::Digest Digest() { return hash_.Final(); }
  uint64_t Size() const { return size_; }

 private:
  TFileOps& files_;
  TFileOps::Handle handle_;
  TSha256 hash_;
  uint64_t size_ = 0;
};

// Decodes one payload into its staged file, on disk and closed, checks what was written and
// records its size and digest.
void Stage(TUpdate& u, TEntry& entry, TStream& resource, const TSha256::Digest& expected) {
  const TFileOps::Handle handle = u.Files.Create(u.Path(entry.Staged));
  if (handle == TFileOps::kNoHandle) throw EFCreateError(u.Path(entry.Name));
  THashedFile staged(u.Files, handle);
  UnpackResource(resource, staged);
  if (!staged.Flush()) throw EWriteError();
  staged.Close();
  if (staged.Digest() != expected) throw EReadError();
  entry.Known = true;
  entry.NewSize = staged.Size();
  entry.NewDigest = expected;
}

// The previous file keeps a second name while the new one is moved over the first.
void SetAside(TUpdate& u, const TEntry& entry) {
  if (!entry.Existed) return;
  const std::string target = u.Path(entry.Name), backup = u.Path(entry.Backup);
  Must(u.Files.Link(target, backup) || u.Files.Copy(target, backup), target);
}

// Each staged file over its target. One that is gone or not whole (a virus scanner may take a
// new executable away) is a failure, never a step done.
void MoveIn(TUpdate& u, const TJournal& journal) {
  for (const TEntry& e : journal.Entries) {
    const std::string target = u.Path(e.Name), staged = u.Path(e.Staged);
    uint64_t size = 0;
    Must(u.Files.Size(staged, &size) && size == e.NewSize, target);
    Must(u.Files.Replace(staged, target), target);
  }
}

}  // namespace

void RecoverUpdate(TFileOps& files, TPayloadSource& source, const std::string& folder,
                   const std::vector<PayloadTarget>& payloads) {
  // Never the current folder, nor one that depends on it: only the game's own folder is ours.
  if (!install::IsAbsoluteFolder(folder)) return;
  TUpdate u(files, folder, payloads);
  RecoverIn(u, source);
}

void InstallPayloads(TFileOps& files, TPayloadSource& source, const std::string& folder,
                     const std::vector<PayloadTarget>& payloads) {
  if (payloads.empty()) return;
  RecoverUpdate(files, source, folder, payloads);
  TUpdate u(files, folder, payloads);

  TJournal journal;
  bool journalled = false;
  try {
    std::vector<uint8_t> digests;
    for (size_t i = 0; i < payloads.size(); ++i) {
      const PayloadTarget& p = payloads[i];
      const std::string target = u.Path(p.FileName);
      std::unique_ptr<TStream> resource = source.Open(p.ResourceName);
      if (i == 0) digests = source.Sums();
      TSha256::Digest expected;
      if (!sums::Find(digests.data(), digests.size(), p.ResourceName, &expected))
        throw EResNotFound(sums::kResourceName);
      if (!files.CanReplace(target)) throw EFCreateError(target);
      if (!journalled) {
        journal.Entries = Plan(u);
        journalled = WriteJournal(u, journal);
        if (!journalled) {
          try {
            ForgetJournal(u);
          } catch (const Exception&) {
          }
          throw EFCreateError(target);
        }
      }
      Stage(u, journal.Entries[i], *resource, expected);
    }
    for (const TEntry& e : journal.Entries) SetAside(u, e);
    journal.Phase = TPhase::Commit;
    if (!WriteJournal(u, journal)) {
      journal.Phase = TPhase::Stage;
      throw EFCreateError(u.Path(payloads.front().FileName));
    }
  } catch (...) {
    if (journalled) TryRollBack(u, journal);
    throw;
  }

  // From here the rollback judges each target by content: it needs the digests the program
  // carries, which the journal recorded as the staged files were checked.
  for (const TEntry& e : journal.Entries) u.Carried[Folded(e.Name)] = e.NewDigest;
  try {
    MoveIn(u, journal);
  } catch (...) {
    // Back to the previous release, but only once the journal says so: a crash on the way
    // must not let the next start move forward over files already brought back.
    journal.Phase = TPhase::RollBack;
    if (WriteJournal(u, journal)) TryRollBack(u, journal);
    throw;
  }
  // The new release is whole and on disk; what is left of the update's own files the next
  // start removes if it cannot be removed now.
  try {
    for (const TEntry& e : journal.Entries) DeleteIfThere(u, e.Backup);
    ForgetJournal(u);
  } catch (const Exception&) {
  }
}
