// The update's install sequence, all or nothing and crash-safe, over a small set of file
// operations (payload/file_ops.h): the Win32 program and the crash-modelling tests run the same
// code.
//
// Each payload is decoded into a staged file in the game folder while its SHA-256 is computed;
// the staged file is flushed and its digest compared with the "SUMS" record before anything is
// put in place. A journal (vdnsetup.jnl in the game folder), on disk before the first staged
// file is created, names every staged and set-aside file. Each previous file gets a second name
// (a hard link, or a copy) before the journal is marked committed, with the size and digest of
// each new file; then each staged file replaces its target in one atomic, write-through move, so
// that every target name always holds a whole file. The set-aside files and the journal go last.
//
// A start after a crash finds the journal and finishes or undoes the update. What it may touch
// is fixed by construction: the game folder given (an absolute one, never the current folder)
// and in it only the update's target names, its work names (vdnXXXX.tmp) and its two journal
// names. A journal holds bare names; one that names anything else is not a journal of ours. A
// new file is only ever moved in when its content has the digest this program carries.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "payload/file_ops.h"

// One payload and the name of the file it becomes in the game folder.
struct PayloadTarget {
  std::string ResourceName;
  std::string FileName;
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

// True for a folder that names the same place from any current folder: a drive's root and
// below ("D:\", "D:/Games") or a network share ("\\server\share"). Empty, relative and
// drive-relative ("D:Games") folders are not.
bool IsAbsoluteFolder(const std::string& folder);

// The folder as a prefix that file names are appended to: a final "\" added where it is
// missing ("D:\Game" and "D:\Game\" are one folder); an empty folder, or a drive-relative one
// ending with ":", stays as it is.
std::string FolderPrefix(const std::string& folder);

}  // namespace install

// Installs the payloads all or nothing into folder, which also holds the journal. An update
// interrupted there is dealt with first (RecoverUpdate). Failures, in the order the payloads are
// given (a target is named as the folder prefix followed by its file name):
//   EFCreateError  an interrupted update in the folder cannot be finished or undone (naming
//                  the file in the way)
//   EResNotFound   no such payload, or no "SUMS" record for it (names "SUMS")
//   EFCreateError  a target cannot be replaced, a staged file or the journal cannot be made,
//                  a staged file is gone or not whole when it is to be moved in
//   EReadError     a container is short or malformed, or decodes to other bytes than recorded
//   EWriteError    a write or flush of a staged file did not complete
//   EOutOfMemory   no memory for the decoder's buffers
// After a failure every target holds its previous file; the staged and set-aside files and the
// journal are removed (if that too fails, the journal stays for the next start).
void InstallPayloads(TFileOps& files, TPayloadSource& source, const std::string& folder,
                     const std::vector<PayloadTarget>& payloads);

// Finishes or undoes an update of payloads interrupted in folder: afterwards the targets hold
// exactly the previous or exactly the new release and the update's own files are gone. Nothing
// to do without a journal, or where folder is not absolute. A committed update goes forward only
// where every target holds, or its staged file is, the new file with the digest in source's
// "SUMS"; otherwise it goes back to the set-aside previous files. Where it can do neither, or a
// step fails, it raises EFCreateError naming the file and nothing more is done: the journal
// stays, so the next start (or the next update) tries again.
void RecoverUpdate(TFileOps& files, TPayloadSource& source, const std::string& folder,
                   const std::vector<PayloadTarget>& payloads);
