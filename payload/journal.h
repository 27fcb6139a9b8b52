// The update's journal (vdnsetup.jnl in the game folder): its phases and what recovery does in
// each, its text, and how it is written and believed.
//
// A journal is believed only where its witness vouches for it: the digest of each state this
// program writes (of the folder's final path and the journal's text) is kept, before the file
// is, where the folder's other users cannot write (under the program's key in HKLM when it runs
// elevated). A digest anyone can compute in the file itself would vouch for nothing, so the
// file carries none. Ordering: the new state's digest joins the old one's, then the file is
// replaced, then the old digest goes; a crash between any two steps leaves a file the witness
// vouches for. A journal nothing vouches for is left as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "payload/file_ops.h"

// One payload and the name of the file it becomes in the game folder.
struct PayloadTarget {
  std::string ResourceName;
  std::string FileName;
};

// Where the digests that vouch for the journal are kept.
class TJournalWitness {
 public:
  virtual ~TJournalWitness() = default;
  // The digests kept (hexadecimal); none where nothing is kept or it cannot be read.
  virtual std::vector<std::string> Load() = 0;
  // Keeps these instead; false when they could not be kept.
  virtual bool Store(const std::vector<std::string>& digests) = 0;
};

namespace journal {

extern const char kName[];      // "vdnsetup.jnl"
extern const char kTempName[];  // "vdnsetup.jn~": the next state, being written
// A journal is a few lines; a larger file of that name was not written here.
constexpr size_t kLimit = 64 * 1024;

// Stage: staged files are being written and every previous file gets its second name; no
// target has been touched. Commit: every staged file is whole and on disk and every previous
// file has its second name, whole; targets are being replaced; forward is the way out.
// RollBack: the previous files are being brought back.
enum class TPhase { Stage, Commit, RollBack };

// What recovery does, by the phase and by which ways lead to one whole release: forward (every
// target holds its new file or its staged file is one this program carries) and back (no
// target that existed holds its new file without the previous file's second name).
enum class TAction {
  Discard,   // only the work files go: no target was touched
  Forward,   // what is not in place is moved in, then the work files go
  TurnBack,  // the journal says "rollback" first, then Back
  Back,      // each previous file present goes back where its target is not it; new targets go
  Stuck,     // neither: every file and the journal stay, and the file in the way is named
};
//   phase     forward  back   action
//   Stage     -        -      Discard
//   Commit    yes      -      Forward
//   Commit    no       yes    TurnBack
//   Commit    no       no     Stuck
//   RollBack  -        yes    Back
//   RollBack  yes      no     Forward    (no later start could bring the previous file back)
//   RollBack  no       no     Stuck
TAction Decide(TPhase phase, bool forward, bool back);

// One target and the update's two work files for it, by bare name in the game folder.
struct TEntry {
  std::string Name;    // the target's file name, one of the update's
  std::string Staged;  // a work file name: the new file until it is moved in
  std::string Backup;  // a work file name: the previous file's second name
  bool Existed = false;  // the target had a previous file (recorded from the commit on)
  bool Known = false;    // the new file's size and digest are recorded (from the commit on)
  uint64_t NewSize = 0;
  TSha256::Digest NewDigest{};
};

struct TJournal {
  TPhase Phase = TPhase::Stage;
  std::vector<TEntry> Entries;
};

// True for the names this updater gives its staged and set-aside files: "vdn", four upper-case
// hexadecimal digits, ".tmp".
bool IsWorkFileName(const std::string& name);

std::string Format(const TJournal& journal);
// The journal a text holds: of this form, naming each of the update's targets at most once,
// with work names all distinct; anything else is not one of ours. Only bare names are taken.
bool Parse(const std::string& text, const std::vector<PayloadTarget>& payloads, TJournal* journal);
// What the witness keeps for a state: the digest of the folder's final path and the text.
std::string StateDigest(const std::string& finalFolder, const std::string& text);

// The journal of the folder files has fixed, where the witness vouches for it; false where
// there is none (or none of ours: it is then left as it is). EFCreateError naming the journal
// where the witness vouches for a state but the file cannot be read now.
bool Load(TFileOps& files, TJournalWitness& witness, const std::vector<PayloadTarget>& payloads, TJournal* journal);
// Puts journal in place as the folder's journal, vouched for before it is; false when it
// cannot (the journal's name then holds a state the witness vouches for, or what it held).
// Where one of the journal's names holds what is never replaced (a link, a folder, a file with
// other names or held elsewhere), inTheWay (if given) receives that name.
bool Write(TFileOps& files, TJournalWitness& witness, const TJournal& journal, std::string* inTheWay = nullptr);
// The journal and its witness go; false when the journal cannot be removed (it is then still
// vouched for).
bool Forget(TFileOps& files, TJournalWitness& witness);

}  // namespace journal
