// The install sequence: plan, journal, stage and verify, set aside, commit, move in, clean up;
// and the recovery that finishes or undoes it after a crash.
#include "payload/install.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>

#include "base/failure.h"
#include "base/sha256.h"
#include "base/sjis.h"
#include "payload/sums.h"
#include "payload/unpack.h"

namespace install {

const char kJournalName[] = "vdnsetup.jnl";
const char kJournalTempName[] = "vdnsetup.jn~";

bool IsWorkFileName(const std::string& name) {
  if (name.size() != 11 || name.compare(0, 3, "vdn") != 0 || name.compare(7, 4, ".tmp") != 0) return false;
  for (size_t i = 3; i < 7; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(name[i])) || std::islower(static_cast<unsigned char>(name[i])))
      return false;
  return true;
}

}  // namespace install

namespace {

using install::IsWorkFileName;

const char kJournalMagic[] = "VELDRAN update journal 1";

// Stage: staged files are being written, no target is touched. Commit: every staged file is
// whole and on disk, every previous file has its second name; forward is the way out.
// RollBack: a move failed; the previous files are being brought back.
enum class TPhase { Stage, Commit, RollBack };
const char* const kPhaseNames[] = {"stage", "commit", "rollback"};

struct TEntry {
  std::string Target;
  std::string Staged;  // folder of the target + a work file name
  std::string Backup;  // likewise: the previous file's second name
  bool Existed = false;
};

struct TJournal {
  TPhase Phase = TPhase::Stage;
  std::vector<TEntry> Entries;
};

// The folder prefix of path, empty when it names none; 0x5C trail bytes are not delimiters.
std::string FolderOf(const std::string& path) {
  const size_t cut = sjis::LastDelimiter("\\:", path);
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string NameOf(const std::string& path) { return path.substr(FolderOf(path).size()); }

std::string FormatJournal(const TJournal& journal) {
  std::string text = std::string(kJournalMagic) + "\nphase " + kPhaseNames[static_cast<int>(journal.Phase)] + "\n";
  for (const TEntry& e : journal.Entries)
    text += std::string("file\t") + (e.Existed ? "1" : "0") + "\t" + e.Target + "\t" + NameOf(e.Staged) + "\t" +
            NameOf(e.Backup) + "\n";
  return text + "sum " + TSha256::Hex(TSha256::Of(text.data(), text.size())) + "\n";
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
    parts.push_back(text.substr(from, at - from));
  parts.push_back(text.substr(from));
  return parts;
}

// A journal whose digest line matches the text before it, naming targets in its own folder only;
// anything else is not one of ours.
bool ParseJournal(const std::string& text, const std::string& folder, TJournal* journal) {
  const size_t sumAt = text.rfind("sum ");
  if (sumAt == std::string::npos || (sumAt > 0 && text[sumAt - 1] != '\n')) return false;
  const std::string body = text.substr(0, sumAt);
  if (text.substr(sumAt) != "sum " + TSha256::Hex(TSha256::Of(body.data(), body.size())) + "\n") return false;
  std::vector<std::string> lines = Split(body, '\n');
  lines.pop_back();  // after the last newline
  if (lines.size() < 2 || lines[0] != kJournalMagic) return false;
  bool phaseKnown = false;
  for (int p = 0; p < 3; ++p)
    if (lines[1] == std::string("phase ") + kPhaseNames[p]) {
      journal->Phase = static_cast<TPhase>(p);
      phaseKnown = true;
    }
  if (!phaseKnown) return false;
  for (size_t i = 2; i < lines.size(); ++i) {
    const std::vector<std::string> f = Split(lines[i], '\t');
    if (f.size() != 5 || f[0] != "file" || (f[1] != "0" && f[1] != "1") || FolderOf(f[2]) != folder ||
        NameOf(f[2]).empty() || !IsWorkFileName(f[3]) || !IsWorkFileName(f[4]))
      return false;
    journal->Entries.push_back({f[2], folder + f[3], folder + f[4], f[1] == "1"});
  }
  return true;
}

void Must(bool ok, const std::string& path) {
  if (!ok) throw EFCreateError(path);
}

void DeleteIfThere(TFileOps& files, const std::string& path) {
  if (files.Exists(path)) Must(files.Delete(path), path);
}

// The journal replaces its previous state in one move, from a flushed file, so that a crash
// leaves either state whole.
bool WriteJournal(TFileOps& files, const std::string& folder, const TJournal& journal) {
  const std::string temp = folder + install::kJournalTempName;
  if (files.Exists(temp) && !files.Delete(temp)) return false;
  const TFileOps::Handle h = files.Create(temp);
  if (h == TFileOps::kNoHandle) return false;
  const std::string text = FormatJournal(journal);
  const bool written = files.Write(h, text.data(), text.size()) == text.size() && files.Flush(h);
  files.Close(h);
  return written && files.Replace(temp, folder + install::kJournalName);
}

void ForgetJournal(TFileOps& files, const std::string& folder) {
  DeleteIfThere(files, folder + install::kJournalTempName);
  DeleteIfThere(files, folder + install::kJournalName);
}

// Brings the previous release back. A target whose staged file is still there was never
// touched; one whose staged file is gone gets its set-aside previous file moved back over it
// (or loses the new file, where there was none before). Each step can be repeated after a crash.
void RollBack(TFileOps& files, const std::string& folder, const TJournal& journal) {
  for (auto e = journal.Entries.rbegin(); e != journal.Entries.rend(); ++e) {
    if (files.Exists(e->Staged) || journal.Phase == TPhase::Stage) {
      // The set-aside name goes first: while the staged file stands, the target is the
      // previous file, so the second name is never its only copy.
      DeleteIfThere(files, e->Backup);
      DeleteIfThere(files, e->Staged);
    } else if (files.Exists(e->Backup)) {
      Must(files.Replace(e->Backup, e->Target), e->Target);
    } else if (!e->Existed) {
      DeleteIfThere(files, e->Target);
    }
  }
  ForgetJournal(files, folder);
}

// Moves every staged file still there over its target.
void MoveIn(TFileOps& files, const TJournal& journal) {
  for (const TEntry& e : journal.Entries)
    if (files.Exists(e.Staged)) Must(files.Replace(e.Staged, e.Target), e.Target);
}

// The new release is in place and on disk: the previous files' second names and the journal go.
void Finish(TFileOps& files, const std::string& folder, const TJournal& journal) {
  for (const TEntry& e : journal.Entries) DeleteIfThere(files, e.Backup);
  ForgetJournal(files, folder);
}

// Undoes as much as it can; a step that fails leaves the journal for the next start.
void TryRollBack(TFileOps& files, const std::string& folder, const TJournal& journal) {
  try {
    RollBack(files, folder, journal);
  } catch (const Exception&) {
  }
}

// Staged and set-aside names for every target: work file names that no file in the target's
// folder has yet (compared without case, as the platform does).
std::vector<TEntry> Plan(TFileOps& files, const std::vector<PayloadTarget>& payloads) {
  std::map<std::string, std::set<std::string>> taken;
  std::vector<TEntry> entries;
  for (const PayloadTarget& p : payloads) {
    const std::string folder = FolderOf(p.TargetPath);
    if (!taken.count(folder))
      for (const std::string& name : files.List(folder)) taken[folder].insert(sjis::UpperAscii(name));
    std::set<std::string>& names = taken[folder];
    auto next = [&] {
      for (unsigned n = 0; n <= 0xFFFF; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "vdn%04X.tmp", n);
        if (names.insert(sjis::UpperAscii(name)).second) return folder + name;
      }
      throw EFCreateError(p.TargetPath);
    };
    TEntry e;
    e.Target = p.TargetPath;
    e.Staged = next();
    e.Backup = next();
    e.Existed = files.Exists(p.TargetPath);
    entries.push_back(e);
  }
  return entries;
}

// The destination of the decoder: the staged file, hashed as it is written.
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
    return static_cast<int32_t>(taken);
  }
  bool Flush() { return files_.Flush(handle_); }
  void Close() {
    if (handle_ != TFileOps::kNoHandle) files_.Close(handle_);
    handle_ = TFileOps::kNoHandle;
  }
  TSha256::Digest Digest() { return hash_.Final(); }

 private:
  TFileOps& files_;
  TFileOps::Handle handle_;
  TSha256 hash_;
};

// Decodes one payload into its staged file, on disk and closed, and checks what was written.
void Stage(TFileOps& files, const TEntry& entry, TStream& resource, const TSha256::Digest& expected) {
  const TFileOps::Handle handle = files.Create(entry.Staged);
  if (handle == TFileOps::kNoHandle) throw EFCreateError(entry.Target);
  THashedFile staged(files, handle);
  UnpackResource(resource, staged);
  if (!staged.Flush()) throw EWriteError();
  staged.Close();
  if (staged.Digest() != expected) throw EReadError();
}

// The previous file keeps a second name while the new one is moved over the first.
void SetAside(TFileOps& files, const TEntry& entry) {
  if (!entry.Existed) return;
  Must(files.Link(entry.Target, entry.Backup) || files.Copy(entry.Target, entry.Backup), entry.Target);
}

}  // namespace

void RecoverUpdate(TFileOps& files, const std::string& folder) {
  const std::string path = folder + install::kJournalName;
  if (!files.Exists(path)) {
    DeleteIfThere(files, folder + install::kJournalTempName);
    return;
  }
  std::string text;
  if (!files.Read(path, &text)) throw EReadError();
  TJournal journal;
  // Only ever put in place whole and flushed: one that does not parse was not written here.
  if (!ParseJournal(text, folder, &journal)) {
    ForgetJournal(files, folder);
    return;
  }
  if (journal.Phase == TPhase::Commit) {
    MoveIn(files, journal);
    Finish(files, folder, journal);
  } else {
    RollBack(files, folder, journal);
  }
}

void InstallPayloads(TFileOps& files, TPayloadSource& source, const std::vector<PayloadTarget>& payloads) {
  if (payloads.empty()) return;
  const std::string folder = FolderOf(payloads.front().TargetPath);
  for (const PayloadTarget& p : payloads)
    if (FolderOf(p.TargetPath) != folder) throw std::invalid_argument("payload targets in more than one folder");
  RecoverUpdate(files, folder);

  TJournal journal;
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
      if (!files.CanReplace(p.TargetPath)) throw EFCreateError(p.TargetPath);
      if (!journalled) {
        journal.Entries = Plan(files, payloads);
        journalled = WriteJournal(files, folder, journal);
        if (!journalled) {
          try {
            ForgetJournal(files, folder);
          } catch (const Exception&) {
          }
          throw EFCreateError(p.TargetPath);
        }
      }
      Stage(files, journal.Entries[i], *resource, expected);
    }
    for (const TEntry& e : journal.Entries) SetAside(files, e);
    journal.Phase = TPhase::Commit;
    if (!WriteJournal(files, folder, journal)) {
      journal.Phase = TPhase::Stage;
      throw EFCreateError(payloads.front().TargetPath);
    }
  } catch (...) {
    if (journalled) TryRollBack(files, folder, journal);
    throw;
  }

  try {
    MoveIn(files, journal);
  } catch (...) {
    // Back to the previous release, but only once the journal says so: a crash on the way
    // must not let the next start move forward over files already brought back.
    journal.Phase = TPhase::RollBack;
    if (WriteJournal(files, folder, journal)) TryRollBack(files, folder, journal);
    throw;
  }
  // The new release is whole and on disk; what is left of the update's own files the next
  // start removes if it cannot be removed now.
  try {
    Finish(files, folder, journal);
  } catch (const Exception&) {
  }
}
