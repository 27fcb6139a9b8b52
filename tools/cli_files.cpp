// Streamed inputs, outputs renamed into place, file identity and the packing of one file, for
// every command of packres.
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64  // 32-bit builds too read and write files past 2 GiB
#endif
#include "tools/cli_files.h"

#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <windows.h>
#endif

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/failure.h"
#include "payload/pack.h"
#include "payload/unpack.h"

namespace cli {

Input::Input(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "rb")) {
  if (!file_) throw Failure(path + ": cannot open: " + std::strerror(errno));
}

Input::~Input() { std::fclose(file_); }

size_t Input::Read(void* buffer, size_t count) {
  const size_t n = std::fread(buffer, 1, count, file_);
  if (n < count && std::ferror(file_)) throw Failure(path_ + ": read error");
  return n;
}

uint64_t Input::Size() const {
#ifdef _WIN32
  struct _stat64 st {};
  const bool ok = _fstat64(_fileno(file_), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat st {};
  const bool ok = fstat(fileno(file_), &st) == 0 && S_ISREG(st.st_mode);
#endif
  return ok ? static_cast<uint64_t>(st.st_size) : 0;
}

Output::Output(const std::string& path) : path_(path), temporary_(path + ".XXXXXX") {
#ifdef _WIN32
  // mkstemp's file admits no other opener there, and a container is read back while it is open:
  // a name of the same form, created exclusively, shared for reading.
  static unsigned serial = 0;
  int fd = -1;
  for (int attempt = 0; attempt < 1000 && fd < 0; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%06X", static_cast<unsigned>(GetCurrentProcessId() * 7919u + GetTickCount() + serial++) & 0xFFFFFF);
    temporary_ = path + suffix;
    fd = _sopen(temporary_.c_str(), _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY, _SH_DENYWR, _S_IREAD | _S_IWRITE);
    if (fd < 0 && errno != EEXIST) break;
  }
#else
  const int fd = mkstemp(&temporary_[0]);
#endif
  if (fd < 0 || !(file_ = fdopen(fd, "w+b"))) throw Failure(path + ": cannot create: " + std::strerror(errno));
}

Output::~Output() {
  if (file_) std::fclose(file_);
  if (!committed_) std::remove(temporary_.c_str());
}

void Output::Write(const void* bytes, size_t count) {
  if (count != 0 && std::fwrite(bytes, 1, count, file_) != count)
    throw Failure(path_ + ": write error: " + std::strerror(errno));
}

namespace {

bool Seek(std::FILE* file, uint64_t offset, int whence) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(offset), whence) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

}  // namespace

void Output::WriteAt(uint64_t offset, const void* bytes, size_t count) {
  if (!Seek(file_, offset, SEEK_SET)) throw Failure(path_ + ": write error");
  Write(bytes, count);
  if (!Seek(file_, 0, SEEK_END)) throw Failure(path_ + ": write error");
}

const std::string& Output::Written() {
  if (std::fflush(file_) != 0) throw Failure(path_ + ": write error: " + std::strerror(errno));
  return temporary_;
}

void Output::Commit() {
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

int32_t InputStream::Read(void* buffer, int32_t count) {
  return count <= 0 ? 0 : static_cast<int32_t>(in_.Read(buffer, static_cast<size_t>(count)));
}

int32_t OutputStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  out_.Write(buffer, static_cast<size_t>(count));
  written_ += static_cast<uint64_t>(count);
  return count;
}

namespace {

struct Identity {
  uint64_t volume = 0, index = 0;
};

bool IdentityOf(const std::string& path, Identity* id) {
#ifdef _WIN32
  // Opened for no access and shared every way, folders included: only to ask who it is.
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!ok) return false;
  id->volume = info.dwVolumeSerialNumber;
  id->index = uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
  return true;
#else
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  id->volume = static_cast<uint64_t>(st.st_dev);
  id->index = static_cast<uint64_t>(st.st_ino);
  return true;
#endif
}

// Decodes the container back, a piece at a time, and compares it with the file as it comes.
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

void VerifyByDecoding(const std::string& container, const std::string& inPath, const std::string& outName) {
  Input packedFile(container), original(inPath);
  InputStream source(packedFile);
  CompareStream destination(original);
  packed::Workspace workspace;
  try {
    packed::UnpackStreamed(source, destination, workspace);
  } catch (const Exception&) {
    throw Failure(outName + ": verification failed, container not written");
  }
  if (!destination.Matches()) throw Failure(outName + ": verification failed, container not written");
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  Identity x, y;
  return IdentityOf(a, &x) && IdentityOf(b, &y) && x.volume == y.volume && x.index == y.index;
}

void RefuseOutputAmong(const std::string& output, const std::initializer_list<std::string>& inputs) {
  for (const std::string& input : inputs)
    if (SameFile(output, input)) throw Failure(output + ": is the input " + input + "; choose another output");
}

PackedFile PackFile(const std::string& inPath, Output& out, const std::string& outName,
                    const std::function<void(uint64_t, uint64_t)>& progress) {
  Input in(inPath);
  const uint64_t total = in.Size();
  TSha256 digest;
  uint8_t header[packed::kHeaderSize] = {};
  out.Write(header, sizeof header);  // the sizes are known at the end
  packed::BodySize size;
  try {
    size = packed::PackBody(
        [&](uint8_t* buffer, size_t count) {
          const size_t n = in.Read(buffer, count);
          digest.Update(buffer, n);
          return n;
        },
        [&](const uint8_t* bytes, size_t count) { out.Write(bytes, count); }, {},
        [&](uint64_t done) {
          if (progress) progress(done, total);
        });
  } catch (const std::length_error&) {
    throw Failure(inPath + ": too large to pack");
  } catch (const std::logic_error& e) {
    throw Failure(outName + ": " + e.what() + ", container not written");
  }
  packed::WriteHeader(header, static_cast<int32_t>(size.packed), static_cast<int32_t>(size.decoded));
  out.WriteAt(0, header, sizeof header);
  VerifyByDecoding(out.Written(), inPath, outName);
  return PackedFile{size.decoded, size.packed + packed::kHeaderSize, digest.Final()};
}

std::string Grouped(uint64_t value) {
  std::string digits = std::to_string(value);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

}  // namespace cli
