// The update's install sequence, all or nothing and crash-safe, over a small set of file
// operations by handle in one folder (payload/file_ops.h): the Win32 program and the
// crash-modelling tests run the same code.
//
// Each payload is decoded into a staged file in the game folder while its SHA-256 is computed;
// the staged file is held from its creation to its move, shared for reading only, so the bytes
// checked against the "SUMS" record are the bytes moved in. A journal (payload/journal.h), on
// disk and vouched for by its witness before the first staged file is created, names every
// staged and set-aside file. Each previous file gets a second name (a hard link, or a copy)
// before the journal is marked committed, with the size and digest of each new file; then each
// staged file replaces its target in one atomic, write-through move, so that every target name
// always holds a whole file. The set-aside files and the journal go last.
//
// A start after a crash finds the journal and finishes or undoes the update, as its phase
// decides (journal::Decide). What it may touch is fixed by construction: the folder the run
// fixed, and in it only the update's target names, its work names (vdnXXXX.tmp) and its two
// journal names, each opened without following a link; a link, a folder, or a work file with
// names the program did not give it is never written, moved or deleted. A journal nothing
// vouches for is never acted on. A new file is only ever moved in when its content has the
// digest this program carries.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "payload/file_ops.h"
#include "payload/journal.h"

// Where the packed payloads and their recorded digests come from.
class TPayloadSource {
 public:
  virtual ~TPayloadSource() = default;
  // The container of a payload; EResNotFound naming it when there is none.
  virtual std::unique_ptr<TStream> Open(const std::string& resourceName) = 0;
  // The bytes of the "SUMS" resource; EResNotFound("SUMS") when there is none.
  virtual std::vector<uint8_t> Sums() = 0;
};

// Installs the payloads all or nothing into folder (fixed through files.OpenFolder), which
// also holds the journal. An update interrupted there is dealt with first (RecoverUpdate).
// Failures, in the order the payloads are given (a file is named as the folder's full path
// followed by its name):
//   EFCreateError  an interrupted update in the folder cannot be finished or undone (naming
//                  the file in the way)
//   EResNotFound   no such payload, or no "SUMS" record for it (names "SUMS")
//   EFCreateError  the folder cannot be opened, a target cannot be replaced (a link, a folder,
//                  read-only or held), a staged file or the journal cannot be made (a journal
//                  name that is a link or a folder is named itself), a staged file is not
//                  whole when it is to be moved in
//   EReadError     a container is short or malformed, or decodes to other bytes than recorded
//   EWriteError    a write or flush of a staged file did not complete
//   EOutOfMemory   no memory for the decoder's buffers
// After a failure every target holds its previous file; the staged and set-aside files and the
// journal are removed (if that too fails, the journal stays for the next start).
void InstallPayloads(TFileOps& files, TPayloadSource& source, TJournalWitness& witness, const std::string& folder,
                     const std::vector<PayloadTarget>& payloads);

// Finishes or undoes an update of payloads interrupted in folder: afterwards the targets hold
// exactly the previous or exactly the new release and the update's own files are gone. Nothing
// to do for an empty folder, one that cannot be opened, or without a journal the witness
// vouches for. Where neither way leads to a whole release, or a step fails, it raises
// EFCreateError naming the file and nothing more is done: the journal stays, so the next start
// (or the next update) tries again.
void RecoverUpdate(TFileOps& files, TPayloadSource& source, TJournalWitness& witness, const std::string& folder,
                   const std::vector<PayloadTarget>& payloads);
