// The update's install sequence, all or nothing and crash-safe, over a small set of file
// operations (payload/file_ops.h): the Win32 program and the crash-modelling tests run the same
// code.
//
// Each payload is decoded into a staged file beside its target while its SHA-256 is computed;
// the staged file is flushed and its digest compared with the "SUMS" record before anything is
// put in place. A journal (vdnsetup.jnl in the first target's folder), on disk before the first
// staged file is created, names every staged and set-aside file. Each previous file gets a
// second name (a hard link, or a copy) before the journal is marked committed; then each staged
// file replaces its target in one atomic, write-through move, so that every target name always
// holds a whole file. The set-aside files and the journal go last. A start after a crash finds
// the journal: committed, the move is finished; otherwise the previous release is brought back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "payload/file_ops.h"

// One payload and the file it becomes.
struct PayloadTarget {
  std::string ResourceName;
  std::string TargetPath;
};

// Where the packed payloads and their recorded digests come from.
class TPayloadSource {
 public:
  virtual ~TPayloadSource() = default;
  // The container of a payload; EResNotFound naming it when there is none.
  virtual std::unique_ptr<TStream> Open(const std::string& resourceName) = 0;
  // The bytes of the "SUMS" resource; EResNotFound("SUMS") when there is none.
  virtual std::vector<uint8_t> Sums() = 0;
};

namespace install {

extern const char kJournalName[];      // "vdnsetup.jnl"
extern const char kJournalTempName[];  // "vdnsetup.jn~": a journal being written

// True for the names this updater gives its staged and set-aside files: "vdn", four upper-case
// hexadecimal digits, ".tmp".
bool IsWorkFileName(const std::string& name);

}  // namespace install

// Installs the payloads all or nothing; the targets share one folder, which also holds the
// journal (std::invalid_argument otherwise). An interrupted update found there is dealt with
// first (RecoverUpdate). Failures, in the order the payloads are given:
//   EResNotFound   no such payload, or no "SUMS" record for it (names "SUMS")
//   EFCreateError  a target cannot be replaced, a staged file or the journal cannot be made
//   EReadError     a container is short or malformed, or decodes to other bytes than recorded
//   EWriteError    a write or flush of a staged file did not complete
//   EOutOfMemory   no memory for the decoder's buffers
// After a failure every target holds its previous file; the staged and set-aside files and the
// journal are removed (if that too fails, the journal stays for the next start).
void InstallPayloads(TFileOps& files, TPayloadSource& source, const std::vector<PayloadTarget>& payloads);

// Finishes or undoes an update interrupted in folder (a prefix ending with a delimiter, or
// empty): afterwards the targets hold exactly the previous or exactly the new release and the
// update's own files are gone. Nothing to do without a journal. A failing step raises
// EFCreateError naming its file (EReadError when the journal cannot be read) and nothing more
// is done; the journal stays, so the next start tries again.
void RecoverUpdate(TFileOps& files, const std::string& folder);
