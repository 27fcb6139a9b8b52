// The update's journal: its text, the decision table of recovery, and the order in which a state
// is vouched for and written.
#include "payload/journal.h"

#include <set>

#include "base/failure.h"
#include "base/sjis.h"

namespace journal {

const char kName[] = "vdnsetup.jnl";
const char kTempName[] = "vdnsetup.jn~";

namespace {

const char kMagic[] = "VELDRAN update journal 3";
const char* const kPhaseNames[] = {"stage", "commit", "rollback"};
// The witness keeps the state being written beside the one before it; what a run cut short
// leaves is trimmed by the next state written.
constexpr size_t kKept = 4;

struct TRow {
  TPhase Phase;
  int Forward, Back;  // 1 yes, 0 no, -1 either
  TAction Action;
};
// The table beside TAction, row for row; the first row that matches decides.
constexpr TRow kTable[] = {
    {TPhase::Stage, -1, -1, TAction::Discard},    {TPhase::Commit, 1, -1, TAction::Forward},
    {TPhase::Commit, 0, 1, TAction::TurnBack},    {TPhase::Commit, 0, 0, TAction::Stuck},
    {TPhase::RollBack, -1, 1, TAction::Back},     {TPhase::RollBack, 1, 0, TAction::Forward},
    {TPhase::RollBack, 0, 0, TAction::Stuck},
};

bool Matches(int wanted, bool value) { return wanted < 0 || wanted == (value ? 1 : 0); }

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

std::string Folded(const std::string& name) { return sjis::UpperAscii(name); }

}  // namespace

TAction Decide(TPhase phase, bool forward, bool back) {
  for (const TRow& row : kTable)
    if (row.Phase == phase && Matches(row.Forward, forward) && Matches(row.Back, back)) return row.Action;
  return TAction::Stuck;
}

bool IsWorkFileName(const std::string& name) {
  auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
  if (name.size() != 11 || name.compare(0, 3, "vdn") != 0 || name.compare(7, 4, ".tmp") != 0) return false;
  for (size_t i = 3; i < 7; ++i)
    if (!hex(name[i])) return false;
  return true;
}

std::string Format(const TJournal& journal) {
  std::string text = std::string(kMagic) + "\nphase " + kPhaseNames[static_cast<int>(journal.Phase)] + "\n";
  for (const TEntry& e : journal.Entries)
    text += "file\t" + e.Name + "\t" + (e.Existed ? "1" : "0") + "\t" + e.Staged + "\t" + e.Backup + "\t" +
            (e.Known ? std::to_string(e.NewSize) : "-") + "\t" + (e.Known ? TSha256::Hex(e.NewDigest) : "-") + "\n";
  return text;
}

bool Parse(const std::string& text, const std::vector<PayloadTarget>& payloads, TJournal* journal) {
  if (text.empty() || text.back() != '\n') return false;
  std::vector<std::string> lines = Split(text, '\n');
  lines.pop_back();  // after the last newline
  if (lines.size() < 3 || lines[0] != kMagic) return false;
  bool phaseKnown = false;
  for (int p = 0; p < 3; ++p)
    if (lines[1] == std::string("phase ") + kPhaseNames[p]) {
      journal->Phase = static_cast<TPhase>(p);
      phaseKnown = true;
    }
  if (!phaseKnown) return false;
  std::set<std::string> names;  // targets and work names, folded: each at most once
  journal->Entries.clear();
  for (size_t i = 2; i < lines.size(); ++i) {
    const std::vector<std::string> f = Split(lines[i], '\t');
    if (f.size() != 7 || f[0] != "file" || (f[2] != "0" && f[2] != "1")) return false;
    TEntry e;
    for (const PayloadTarget& p : payloads)
      if (Folded(p.FileName) == Folded(f[1])) e.Name = p.FileName;
    if (e.Name.empty() || !IsWorkFileName(f[3]) || !IsWorkFileName(f[4])) return false;
    for (const std::string& name : {e.Name, f[3], f[4]})
      if (!names.insert(Folded(name)).second) return false;
    e.Existed = f[2] == "1";
    e.Staged = f[3];
    e.Backup = f[4];
    e.Known = f[5] != "-" || f[6] != "-";
    if (e.Known && (!ParseSize(f[5], &e.NewSize) || !ParseDigest(f[6], &e.NewDigest))) return false;
    if (!e.Known && journal->Phase != TPhase::Stage) return false;
    journal->Entries.push_back(e);
  }
  return true;
}

std::string StateDigest(const std::string& finalFolder, const std::string& text) {
  TSha256 hash;
  hash.Update(finalFolder.data(), finalFolder.size());
  hash.Update("\n", 1);
  hash.Update(text.data(), text.size());
  return TSha256::Hex(hash.Final());
}

namespace {

// What a name of the update's own holds: nothing, a plain file of the folder's with one name, a
// file that cannot be held now, or something that is never written, moved or deleted (a link, a
// folder, a file with other names).
enum class TPlain { Absent, File, Busy, InTheWay };

TPlain Plain(TFileOps& files, const char* name, TFileOps::Handle* h) {
  const TFileOps::TKind kind = files.Open(name, h);
  if (kind == TFileOps::TKind::Absent) return TPlain::Absent;
  if (kind == TFileOps::TKind::Busy) return TPlain::Busy;
  if (kind != TFileOps::TKind::File) return TPlain::InTheWay;
  if (files.Names(*h) == 1) return TPlain::File;
  files.Close(*h);
  return TPlain::InTheWay;
}

// Removes name where it is a plain file; what is in the way there is left as it is.
enum class TRemoved { Gone, Left, Failed };
TRemoved RemovePlain(TFileOps& files, const char* name) {
  TFileOps::Handle h = TFileOps::kNoHandle;
  switch (Plain(files, name, &h)) {
    case TPlain::Absent: return TRemoved::Gone;
    case TPlain::File: return files.Delete(h) ? TRemoved::Gone : TRemoved::Failed;
    case TPlain::Busy: return TRemoved::Failed;
    default: return TRemoved::Left;
  }
}

}  // namespace

bool Load(TFileOps& files, TJournalWitness& witness, const std::vector<PayloadTarget>& payloads, TJournal* journal) {
  const std::vector<std::string> kept = witness.Load();
  if (kept.empty()) return false;  // no state of ours anywhere: nothing is even opened
  TFileOps::Handle h = TFileOps::kNoHandle;
  const TFileOps::TKind kind = files.Open(kName, &h);
  if (kind == TFileOps::TKind::Busy) throw EFCreateError(files.Prefix() + kName);
  // A state being written when the run ended is of no use without the journal it was to replace.
  if (kind == TFileOps::TKind::Absent && RemovePlain(files, kTempName) == TRemoved::Failed)
    throw EFCreateError(files.Prefix() + kTempName);
  if (kind != TFileOps::TKind::File) return false;
  std::string text;
  uint64_t size = 0;
  // A file too large to be ours was not written here.
  const bool ours = files.Size(h, &size) && size <= kLimit;
  const bool oneName = files.Names(h) == 1;
  const bool read = ours && files.Read(h, kLimit, &text);
  files.Close(h);
  if (ours && !read) throw EFCreateError(files.Prefix() + kName);
  if (!ours) return false;
  const std::string digest = StateDigest(files.FinalFolder(), text);
  bool vouched = false;
  for (const std::string& k : kept) vouched = vouched || k == digest;
  if (!vouched) return false;
  // Ours, but with a name the program did not give it: never moved or deleted, so its update
  // can be neither finished nor undone; said, not left silently.
  if (!oneName) throw EFCreateError(files.Prefix() + kName);
  return Parse(text, payloads, journal);
}

bool Write(TFileOps& files, TJournalWitness& witness, const TJournal& journal, std::string* inTheWay) {
  const std::string text = Format(journal);
  const std::string digest = StateDigest(files.FinalFolder(), text);
  TFileOps::Handle h = TFileOps::kNoHandle;
  const TPlain current = Plain(files, kName, &h);
  if (current == TPlain::File) files.Close(h);
  const bool free = current == TPlain::File || current == TPlain::Absent;
  const TRemoved temp = free ? RemovePlain(files, kTempName) : TRemoved::Failed;
  if (temp != TRemoved::Gone) {
    if (inTheWay && (current == TPlain::InTheWay || temp == TRemoved::Left))
      *inTheWay = current == TPlain::InTheWay ? kName : kTempName;
    return false;
  }
  std::vector<std::string> kept = witness.Load();
  if (kept.size() >= kKept) kept.erase(kept.begin(), kept.end() - (kKept - 1));
  kept.push_back(digest);
  if (!witness.Store(kept)) return false;
  h = files.Create(kTempName);
  if (h == TFileOps::kNoHandle) return false;
  if (files.Write(h, text.data(), text.size()) != text.size() || !files.Flush(h) || !files.Rename(h, kName)) {
    files.Delete(h);
    return false;
  }
  files.Close(h);
  // From here only this state is believed: no step of the update or the recovery acts before.
  return witness.Store({digest});
}

bool Forget(TFileOps& files, TJournalWitness& witness) {
  if (RemovePlain(files, kTempName) == TRemoved::Failed || RemovePlain(files, kName) != TRemoved::Gone) return false;
  // A digest left behind vouches for a state already dealt with; what it could lead to again
  // is at most that state's own last step.
  witness.Store({});
  return true;
}

}  // namespace journal
