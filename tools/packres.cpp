// packres: makes, unpacks and describes PackedResource containers at build time; a command line
// over payload's encoder and decoder. Files are streamed, never held whole, and an output appears
// under its name only once it is complete.
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/sha256.h"
#include "base/stream.h"
#include "payload/pack.h"
#include "payload/sums.h"
#include "payload/unpack.h"
#include "tools/make_setup.h"

namespace {

const char kUsage[] =
    "usage: packres pack IN OUT     pack file IN into container OUT (checked against IN)\n"
    "       packres unpack IN OUT   decode container IN into file OUT\n"
    "       packres info IN         show a container's sizes and ratio\n"
    "       packres make-setup STUB.exe OUT.exe --exe FILE --dat2 FILE [--version X.Y.Z]\n"
    "                               make updater OUT from a built SETUP.exe with two new files\n"
    "       packres sums OUT NAME=FILE...\n"
    "                               write the digest resource OUT: the SHA-256 of each FILE\n"
    "                               under its payload NAME (1 to 8 ASCII characters), in order\n"
    "       packres --help          show this text\n";

// A failure already phrased for the command line.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Input {
 public:
  explicit Input(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "rb")) {
    if (!file_) throw Failure(path + ": cannot open: " + std::strerror(errno));
  }
  ~Input() { std::fclose(file_); }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // Up to count bytes; 0 at the end. A folder opens but fails here.
  size_t Read(void* buffer, size_t count) {
    const size_t n = std::fread(buffer, 1, count, file_);
    if (n < count && std::ferror(file_)) throw Failure(path_ + ": read error");
    return n;
  }
  uint64_t Size() const {
    struct stat st {};
    return fstat(fileno(file_), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  }

 private:
  std::string path_;
  std::FILE* file_;
};

// A file written under a temporary name beside its final one, renamed into place by Commit and
// removed if it never gets there.
class Output {
 public:
  explicit Output(const std::string& path) : path_(path), temporary_(path + ".XXXXXX") {
    const int fd = mkstemp(&temporary_[0]);
    if (fd < 0 || !(file_ = fdopen(fd, "w+b"))) throw Failure(path + ": cannot create: " + std::strerror(errno));
  }
  ~Output() {
    if (file_) std::fclose(file_);
    if (!committed_) std::remove(temporary_.c_str());
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Write(const void* bytes, size_t count) {
    if (std::fwrite(bytes, 1, count, file_) != count) throw Failure(path_ + ": write error: " + std::strerror(errno));
  }
  // The temporary file as written so far, for reading back.
  const std::string& Written() {
    if (std::fflush(file_) != 0) throw Failure(path_ + ": write error: " + std::strerror(errno));
    return temporary_;
  }
  void WriteAt(uint64_t offset, const void* bytes, size_t count) {
    if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) throw Failure(path_ + ": write error");
    Write(bytes, count);
  }
  void Commit() {
    std::FILE* file = file_;
    file_ = nullptr;
#ifndef _WIN32
    // The final name gets the permissions a plain create would give, not mkstemp's 0600.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fileno(file), 0666 & ~mask);
#endif
    if (std::fclose(file) != 0) throw Failure(path_ + ": write error: " + std::strerror(errno));
#ifdef _WIN32
    // rename() on Windows refuses an existing target; the replace must be one move all the same.
    if (!MoveFileExA(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      throw Failure(path_ + ": cannot create (error " + std::to_string(GetLastError()) + ")");
#else
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0)
      throw Failure(path_ + ": cannot create: " + std::strerror(errno));
#endif
    committed_ = true;
  }

 private:
  std::string path_;
  std::string temporary_;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
};

// The decoder's streams over the two files. The destination counts what it is given.
class InputStream : public TStream {
 public:
  explicit InputStream(Input& in) : in_(in) {}
  int32_t Read(void* buffer, int32_t count) override {
    return static_cast<int32_t>(in_.Read(buffer, static_cast<size_t>(count)));
  }
  int32_t Write(const void*, int32_t) override { return 0; }

 private:
  Input& in_;
};

class OutputStream : public TStream {
 public:
  explicit OutputStream(Output& out) : out_(out) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    out_.Write(buffer, static_cast<size_t>(count));
    written_ += static_cast<uint64_t>(count);
    return count;
  }
  uint64_t Written() const { return written_; }

 private:
  Output& out_;
  uint64_t written_ = 0;
};

// A destination that compares the decoded bytes with a file as they come.
class CompareStream : public TStream {
 public:
  explicit CompareStream(Input& expected) : expected_(expected) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    chunk_.resize(static_cast<size_t>(count));
    if (expected_.Read(chunk_.data(), chunk_.size()) != chunk_.size() || std::memcmp(buffer, chunk_.data(), chunk_.size()) != 0)
      differs_ = true;
    return count;
  }
  // True when every byte matched and the file has no more.
  bool Matches() {
    uint8_t more;
    return !differs_ && expected_.Read(&more, 1) == 0;
  }

 private:
  Input& expected_;
  std::vector<uint8_t> chunk_;
  bool differs_ = false;
};

// "N of M MiB" on stderr, only when stderr is a terminal and the work has taken over a second;
// the line is cleared at the end.
class Progress {
 public:
  explicit Progress(uint64_t total) : total_(total), enabled_(isatty(STDERR_FILENO) == 1) {}
  ~Progress() { Clear(); }
  // Takes the line away, before anything else is printed.
  void Clear() {
    if (shown_) std::fprintf(stderr, "\r%60s\r", "");
    shown_ = false;
  }
  void Update(uint64_t done) {
    if (!enabled_ || done == total_ || std::chrono::steady_clock::now() - start_ < std::chrono::seconds(1)) return;
    shown_ = true;
    const double mib = 1024.0 * 1024.0;
    if (total_ > 0)
      std::fprintf(stderr, "\rpackres: packed %.0f of %.0f MiB (%.0f %%)  ", done / mib, total_ / mib,
                   100.0 * double(done) / double(total_));
    else
      std::fprintf(stderr, "\rpackres: packed %.0f MiB  ", done / mib);
    std::fflush(stderr);
  }

 private:
  uint64_t total_;
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

double Percent(uint64_t part, uint64_t whole) { return whole ? 100.0 * double(part) / double(whole) : 0.0; }

// Reads and checks a container's header; the file is left just after it.
packed::Header ReadHeader(const std::string& path, Input& in) {
  uint8_t header[packed::kHeaderSize];
  if (in.Read(header, sizeof header) < sizeof header) throw Failure(path + ": not a container (shorter than its header)");
  if (std::memcmp(header, packed::kSignature, 4) != 0) throw Failure(path + ": not a container (bad signature)");
  const packed::Header h = packed::ParseHeader(header);
  if (h.packedSize < 0 || h.decodedSize < 0) throw Failure(path + ": corrupt container (negative size)");
  if (in.Size() < static_cast<uint64_t>(h.packedSize) + packed::kHeaderSize)
    throw Failure(path + ": truncated container (body shorter than its header says)");
  return h;
}

// Containers whose decoder buffers (P + 3 MiB) stay within this are also decoded back in full and
// compared with the input before they are put in place; larger ones rely on the packer's check of
// every copy, to keep packing within its memory bound.
constexpr uint64_t kVerifyLimit = 48u << 20;

void VerifyByDecoding(const std::string& container, const std::string& inPath, const std::string& outPath) {
  Input packedFile(container), original(inPath);
  InputStream source(packedFile);
  CompareStream destination(original);
  try {
    UnpackResource(source, destination);
  } catch (const Exception&) {
    throw Failure(outPath + ": verification failed, container not written");
  }
  if (!destination.Matches()) throw Failure(outPath + ": verification failed, container not written");
}

int Pack(const std::string& inPath, const std::string& outPath) {
  Input in(inPath);
  Output out(outPath);
  Progress progress(in.Size());
  uint8_t header[packed::kHeaderSize] = {};
  out.Write(header, sizeof header);  // the sizes are known at the end
  packed::BodySize size;
  try {
    size = packed::PackBody([&](uint8_t* buffer, size_t count) { return in.Read(buffer, count); },
                            [&](const uint8_t* bytes, size_t count) { out.Write(bytes, count); }, {},
                            [&](uint64_t done) { progress.Update(done); });
  } catch (const std::length_error&) {
    throw Failure(inPath + ": too large to pack");
  } catch (const std::logic_error& e) {
    throw Failure(outPath + ": " + e.what() + ", container not written");
  }
  packed::WriteHeader(header, static_cast<int32_t>(size.packed), static_cast<int32_t>(size.decoded));
  out.WriteAt(0, header, sizeof header);
  if (size.packed + packed::kWindowSize <= kVerifyLimit) VerifyByDecoding(out.Written(), inPath, outPath);
  out.Commit();
  progress.Clear();
  const uint64_t container = size.packed + packed::kHeaderSize;
  std::printf("%s: %llu -> %llu bytes (%.1f%%)\n", outPath.c_str(), static_cast<unsigned long long>(size.decoded),
              static_cast<unsigned long long>(container), Percent(container, size.decoded));
  return 0;
}

int Unpack(const std::string& inPath, const std::string& outPath) {
  Input in(inPath);
  const packed::Header h = ReadHeader(inPath, in);
  // The decoder reads the header itself: give it the file from its start again.
  Input container(inPath);
  Output out(outPath);
  InputStream source(container);
  OutputStream destination(out);
  try {
    UnpackResource(source, destination);
  } catch (const EOutOfMemory&) {
    throw Failure(inPath + ": not enough memory to decode");
  } catch (const Exception&) {
    throw Failure(inPath + ": truncated or corrupt container");
  }
  if (destination.Written() != static_cast<uint64_t>(h.decodedSize))
    throw Failure(inPath + ": corrupt container (decodes to a different size than its header says)");
  out.Commit();
  return 0;
}

int Info(const std::string& inPath) {
  Input in(inPath);
  const packed::Header h = ReadHeader(inPath, in);
  const uint64_t container = static_cast<uint64_t>(h.packedSize) + packed::kHeaderSize;
  std::printf("%s: container %llu bytes, packed body %d bytes, decoded %d bytes, ratio %.1f%%\n", inPath.c_str(),
              static_cast<unsigned long long>(in.Size()), h.packedSize, h.decodedSize,
              Percent(container, static_cast<uint64_t>(h.decodedSize)));
  return 0;
}

int Sums(const std::string& out, const std::vector<std::string>& entries) {
  std::vector<sums::Record> records;
  for (const std::string& entry : entries) {
    const size_t eq = entry.find('=');
    if (eq == std::string::npos) throw Failure(entry + ": expected NAME=FILE");
    Input in(entry.substr(eq + 1));
    TSha256 digest;
    std::vector<uint8_t> chunk(1 << 20);
    while (size_t n = in.Read(chunk.data(), chunk.size())) digest.Update(chunk.data(), n);
    records.push_back({entry.substr(0, eq), digest.Final()});
  }
  std::vector<uint8_t> bytes;
  try {
    bytes = sums::Format(records);
  } catch (const std::invalid_argument& e) {
    throw Failure(e.what());
  }
  Output file(out);
  file.Write(bytes.data(), bytes.size());
  file.Commit();
  for (const sums::Record& r : records) std::printf("%s: %s %s\n", out.c_str(), r.Name.c_str(), TSha256::Hex(r.Digest).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (args.size() == 3 && args[0] == "pack") return Pack(args[1], args[2]);
    if (args.size() == 3 && args[0] == "unpack") return Unpack(args[1], args[2]);
    if (args.size() == 2 && args[0] == "info") return Info(args[1]);
    if (!args.empty() && args[0] == "make-setup") return make_setup::MakeSetup({args.begin() + 1, args.end()});
    if (args.size() >= 3 && args[0] == "sums") return Sums(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
  } catch (const Failure& f) {
    std::fprintf(stderr, "packres: %s\n", f.what());
    return 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "packres: out of memory\n");
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "packres: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "packres: bad arguments (try packres --help)\n");
  return 2;
}
