// The file operations the install sequence is built on, so that the same sequence runs over
// Win32 and over the crash-modelling file system of the tests. Paths are resolved the platform's
// way (letter case folded, "/" taken for "\", "." and ".." resolved); the sequence itself only
// ever appends its own fixed names to the game folder.
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

  virtual ~TFileOps() = default;

  // Names of every entry in folder (a path prefix: empty, or ending with a delimiter), files
  // and folders alike; "." and ".." are not entries.
  virtual std::vector<std::string> List(const std::string& folder) = 0;
  // True when path is a file (a folder of that name is not one).
  virtual bool Exists(const std::string& path) = 0;
  // True when path is absent, or is a file that could be replaced now (not read-only, not held).
  virtual bool CanReplace(const std::string& path) = 0;
  // Opens a new file for writing; kNoHandle when anything has that name or it cannot be created.
  virtual Handle Create(const std::string& path) = 0;
  // Appends count bytes; returns how many the platform took.
  virtual size_t Write(Handle file, const void* data, size_t count) = 0;
  // Everything written to file so far reaches the disk.
  virtual bool Flush(Handle file) = 0;
  virtual void Close(Handle file) = 0;
  // The whole content of a file of at most limit bytes; false when it is larger or unreadable.
  virtual bool Read(const std::string& path, size_t limit, std::string* content) = 0;
  // The length of a file; false when path is no file.
  virtual bool Size(const std::string& path, uint64_t* size) = 0;
  // The SHA-256 of a file's content; false when it cannot be read whole.
  virtual bool Hash(const std::string& path, TSha256::Digest* digest) = 0;
  // Gives to the file from, in one atomic step, replacing any file there; the change is on
  // disk when it returns true.
  virtual bool Replace(const std::string& from, const std::string& to) = 0;
  // A second name for an existing file (a hard link); false where the volume has none.
  virtual bool Link(const std::string& existing, const std::string& newName) = 0;
  // A copy whose data is on disk when it returns true; a failed copy may leave a partial file.
  virtual bool Copy(const std::string& from, const std::string& to) = 0;
  // Removes a file (never a folder).
  virtual bool Delete(const std::string& path) = 0;
};
