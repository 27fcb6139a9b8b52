// The file operations the install sequence is built on, in one folder fixed for the run, so that
// the same sequence runs over Win32 and over the crash-modelling file system of the tests.
//
// Everything happens by handle. The folder is opened once (OpenFolder): links on the way to it
// are followed then, and never again; every later name is a bare name in that folder. A name is
// opened without following a link: one that is a link (a reparse point, or a name whose file
// lies outside the folder) is Foreign and gives no handle, so nothing done through this
// interface reaches outside the folder. A file held through a handle is shared for reading
// only: nothing else can write, move or delete it until it is closed, and what is checked
// through a handle is what is moved or deleted through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/sha256.h"

class TFileOps {
 public:
  using Handle = int;
  static constexpr Handle kNoHandle = -1;

  // What a name of the folder is.
  enum class TKind {
    Absent,   // nothing has that name
    File,     // a file, now held through the handle given
    Folder,   // a folder
    Foreign,  // a link, or a name that leads out of the folder: never opened
    Busy,     // a file that cannot be held now: held elsewhere, read-only, or denied
  };

  virtual ~TFileOps() = default;

  // Fixes the folder for the rest of the run: the one that folder names from the current folder
  // (completed as GetFullPathName completes it; a link on the way, the folder itself included,
  // is followed now). False where it is no folder. Called again with the same text, it keeps the
  // folder it fixed, whatever has been renamed or linked meanwhile.
  virtual bool OpenFolder(const std::string& folder) = 0;
  // The folder's full path as completed, ending with "\": what names in messages start with
  // (known after OpenFolder, whether or not the folder could be opened).
  virtual std::string Prefix() = 0;
  // The folder it leads to, links resolved: the same text for every spelling of one folder.
  virtual std::string FinalFolder() = 0;
  // Names of every entry of the folder, files and folders alike; "." and ".." are not entries.
  virtual std::vector<std::string> List() = 0;

  // Opens name to be read, moved or deleted, without following a link; shares reading only.
  virtual TKind Open(const std::string& name, Handle* file) = 0;
  // A new file, held as Open holds one; kNoHandle when anything has that name or it cannot be made.
  virtual Handle Create(const std::string& name) = 0;
  // Appends count bytes; returns how many the platform took.
  virtual size_t Write(Handle file, const void* data, size_t count) = 0;
  // Everything written so far reaches the disk.
  virtual bool Flush(Handle file) = 0;
  virtual void Close(Handle file) = 0;

  // The file's length, its whole content (at most limit bytes) and its SHA-256, read from its start.
  virtual bool Size(Handle file, uint64_t* size) = 0;
  virtual bool Read(Handle file, size_t limit, std::string* content) = 0;
  virtual bool Hash(Handle file, TSha256::Digest* digest) = 0;
  // How many names (hard links) the file has.
  virtual int Names(Handle file) = 0;
  // What tells the file from every other on its volume: equal for two names of one file. (Two
  // names of one file cannot both be held: sharing is the file's, not the name's.)
  virtual std::string Identity(Handle file) = 0;
  // Copies all of from's content to the end of to, and flushes to.
  virtual bool CopyTo(Handle from, Handle to) = 0;

  // Gives the held file the name given, replacing a file of that name (which nobody may hold
  // open), in one atomic step that is on disk when it returns true; the handle stays on the file.
  virtual bool Rename(Handle file, const std::string& name) = 0;
  // A second name for the held file (a hard link); false where the volume has none.
  virtual bool Link(Handle file, const std::string& name) = 0;
  // Removes the held file's name, for good when it returns true; the handle is closed either way.
  virtual bool Delete(Handle file) = 0;
};
