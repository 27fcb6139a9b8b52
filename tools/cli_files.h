// The files of packres's commands: inputs streamed, never held whole; outputs written under a
// temporary name beside their final one and renamed into place only once complete; the file
// identity that tells whether two names lead to one file; packing a file into a container file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "base/sha256.h"
#include "base/stream.h"

namespace cli {

// A failure already phrased for the command line: one line, naming what it is about.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Input {
 public:
  explicit Input(const std::string& path);
  ~Input();
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // Up to count bytes; 0 at the end. A folder opens but fails here.
  size_t Read(void* buffer, size_t count);
  // The size of a regular file, else 0.
  uint64_t Size() const;

 private:
  std::string path_;
  std::FILE* file_;
};

// A file written under a temporary name beside its final one, renamed into place by Commit and
// removed if it never gets there (so an Output never committed is a temporary file).
class Output {
 public:
  explicit Output(const std::string& path);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Write(const void* bytes, size_t count);
  // Overwrites bytes already written; later writes append again.
  void WriteAt(uint64_t offset, const void* bytes, size_t count);
  // The temporary file as written so far, for reading back.
  const std::string& Written();
  void Commit();

 private:
  std::string path_;
  std::string temporary_;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
  int slot_ = -1;  // where an interruption finds the temporary file
};

// From now on an interruption (Ctrl+C, SIGTERM or SIGHUP; on Windows Ctrl+C, Ctrl+Break or the
// console closed) removes the temporary file of every Output not committed, says so in one line
// on standard error and ends the process as the interruption would have.
void RemoveTemporariesOnInterrupt();

// The decoder's streams over the two kinds of file. The output stream counts what it is given.
class InputStream : public TStream {
 public:
  explicit InputStream(Input& in) : in_(in) {}
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void*, int32_t) override { return 0; }

 private:
  Input& in_;
};

class OutputStream : public TStream {
 public:
  explicit OutputStream(Output& out) : out_(out) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override;
  uint64_t Written() const { return written_; }

 private:
  Output& out_;
  uint64_t written_ = 0;
};

// True when both names lead to one existing file, whatever the spelling (links, "./", case on
// Windows): the same device and inode, on Windows the same volume serial number and file index.
bool SameFile(const std::string& a, const std::string& b);

// A Failure "OUTPUT: is INPUT ...; choose another output" when output is one of inputs.
void RefuseOutputAmong(const std::string& output, const std::initializer_list<std::string>& inputs);

struct PackedFile {
  uint64_t decoded = 0;    // bytes of the file
  uint64_t container = 0;  // bytes of the container, header included
  TSha256::Digest digest{};  // of the file, as it was read for packing
};

// Packs the file at inPath into out (header and body; not committed), then decodes the container
// back and compares it with the file read again: a Failure naming outName unless they agree.
// Memory stays bounded whatever the file's size.
PackedFile PackFile(const std::string& inPath, Output& out, const std::string& outName,
                    const std::function<void(uint64_t done, uint64_t total)>& progress = {});

// "1,073,741,824": figures in messages.
std::string Grouped(uint64_t value);

}  // namespace cli
