// Streamed inputs, outputs renamed into place, file identity and the packing of one file, for
// every command of packres.
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64  // 32-bit builds too read and write files past 2 GiB
#endif
#include "tools/cli_files.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "base/failure.h"
#include "payload/pack.h"
#include "payload/unpack.h"

namespace cli {

namespace {

// The temporary files that exist now, kept where an interruption can find them at any moment:
// a slot is filled before its file is created and emptied once the file is gone or has its final
// name. Fixed buffers and lock-free atomics only, since a POSIX signal handler may read no more.
constexpr size_t kMaxTemporaryName = 4096;
constexpr size_t kSuffix = 7;  // ".XXXXXX" after the final name
struct TemporarySlot {
  std::atomic<int> state{0};  // 0 free, 1 being filled, 2 names a file
  char name[kMaxTemporaryName];
};
TemporarySlot gTemporaries[8];

// A slot naming the file, or -1 when none is free (the file is then left if interrupted).
int Remember(const std::string& name) {
  if (name.size() >= kMaxTemporaryName) return -1;
  for (int i = 0; i < 8; ++i) {
    int expected = 0;
    if (!gTemporaries[i].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(gTemporaries[i].name, name.c_str(), name.size() + 1);
    gTemporaries[i].state.store(2);
    return i;
  }
  return -1;
}

void Forget(int& slot) {
  if (slot >= 0) gTemporaries[slot].state.store(0);
  slot = -1;
}

void SayOnStderr(const char* text, size_t count) {
#ifdef _WIN32
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(count), &written, nullptr);
#else
  while (count > 0) {
    const ssize_t n = write(STDERR_FILENO, text, count);
    if (n <= 0) return;
    text += n;
    count -= static_cast<size_t>(n);
  }
#endif
}

// Removes every remembered file and says so: "packres: interrupted; removed the temporary files
// of OUT". Async-signal-safe: unlink, write and the slots.
void RemoveTemporaries() {
  const char* output = nullptr;
  size_t outputLength = 0;
  for (TemporarySlot& slot : gTemporaries) {
    if (slot.state.load() != 2) continue;
#ifdef _WIN32
    // Every handle on a temporary file shares deletion, so it goes when the process ends.
    DeleteFileA(slot.name);
#else
    unlink(slot.name);
#endif
    if (!output) {
      output = slot.name;
      while (output[outputLength] != '\0') ++outputLength;
      outputLength -= kSuffix;
    }
  }
  static const char kStart[] = "packres: interrupted";
  static const char kRemoved[] = "; removed the temporary files of ";
  SayOnStderr(kStart, sizeof kStart - 1);
  if (output) {
    SayOnStderr(kRemoved, sizeof kRemoved - 1);
    SayOnStderr(output, outputLength);
  }
  SayOnStderr("\n", 1);
}

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD) {
  RemoveTemporaries();
  // Not ExitProcess: another thread may hold a lock of the C runtime that its exit would wait for.
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

// The system's text of a Win32 error, on one line.
std::string ErrorText(DWORD error) {
  char text[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                           sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.' || text[n - 1] == ' ')) --n;
  return n > 0 ? std::string(text, n) : "error " + std::to_string(error);
}

// A C runtime descriptor and stream over a Win32 handle, opened so that the file may be deleted
// while it is open (an interruption removes temporary files that are still being read).
std::FILE* StreamOf(HANDLE h, int flags, const char* mode) {
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, mode);
  if (!file) _close(fd);
  return file;
}
#else
constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int signal) {
  RemoveTemporaries();
  ::signal(signal, SIG_DFL);
  raise(signal);
}
#endif

// A write of count bytes (0: what the stream held) into temporary, which failed; told as a full
// disk where it is one. On Windows the C runtime has no errno for ERROR_DISK_FULL and reports
// EINVAL, and under Wine the Win32 error is cleared by then: the free space decides there too.
[[noreturn]] void WriteFailed(const std::string& path, const std::string& temporary, size_t count) {
  bool full = errno == ENOSPC;
#ifdef _WIN32
  const DWORD error = GetLastError();
  full = full || error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
  char folder[MAX_PATH];
  char* name = nullptr;
  ULARGE_INTEGER available{};
  const DWORD length = GetFullPathNameA(temporary.c_str(), sizeof folder, folder, &name);
  if (!full && length > 0 && length < sizeof folder && name) {
    *name = '\0';  // the folder the system found in the path, with its backslash
    full = GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr) &&
           available.QuadPart < std::max<uint64_t>(count, 64 * 1024);
  }
#else
  (void)temporary;
  (void)count;
#endif
  if (full) throw Failure(path + ": cannot write, the disk is full");
  throw Failure(path + ": write error: " + std::strerror(errno));
}

}  // namespace

void RemoveTemporariesOnInterrupt() {
#ifdef _WIN32
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  for (int signal : kInterruptions) {
    struct sigaction action {};
    // A signal the caller ignores (nohup, a background job) stays ignored.
    if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(signal, &action, nullptr);
  }
#endif
}

#ifdef _WIN32
Input::Input(const std::string& path)
    : path_(path),
      file_(StreamOf(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                     _O_RDONLY, "rb")) {
  if (!file_) throw Failure(path + ": cannot open: " + ErrorText(GetLastError()));
}
#else
Input::Input(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "rb")) {
  if (!file_) throw Failure(path + ": cannot open: " + std::strerror(errno));
}
#endif

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
  // A name of mkstemp's form, created exclusively, shared for reading (a container is read back
  // while it is open) and for deletion.
  static unsigned serial = 0;
  DWORD error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < 1000 && !file_ && error == ERROR_FILE_EXISTS; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%06X", static_cast<unsigned>(GetCurrentProcessId() * 7919u + GetTickCount() + serial++) & 0xFFFFFF);
    temporary_ = path + suffix;
    slot_ = Remember(temporary_);
    file_ = StreamOf(CreateFileA(temporary_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr),
                     _O_RDWR, "w+b");
    error = GetLastError();
    if (!file_) Forget(slot_);
  }
  if (!file_) throw Failure(path + ": cannot create: " + ErrorText(error));
#else
  // No interruption between the file's creation and its slot.
  sigset_t interruptions, before;
  sigemptyset(&interruptions);
  for (int signal : kInterruptions) sigaddset(&interruptions, signal);
  sigprocmask(SIG_BLOCK, &interruptions, &before);
  const int fd = mkstemp(&temporary_[0]);
  if (fd >= 0) slot_ = Remember(temporary_);
  sigprocmask(SIG_SETMASK, &before, nullptr);
  if (fd < 0 || !(file_ = fdopen(fd, "w+b"))) {
    Forget(slot_);
    throw Failure(path + ": cannot create: " + std::strerror(errno));
  }
#endif
}

Output::~Output() {
  if (file_) std::fclose(file_);
  if (!committed_) std::remove(temporary_.c_str());
  Forget(slot_);
}

void Output::Write(const void* bytes, size_t count) {
  if (count != 0 && std::fwrite(bytes, 1, count, file_) != count) WriteFailed(path_, temporary_, count);
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
  if (std::fflush(file_) != 0) WriteFailed(path_, temporary_, 0);
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
  if (std::fclose(file) != 0) WriteFailed(path_, temporary_, 0);
#ifdef _WIN32
  // rename() on Windows refuses an existing target; the replace must be one move all the same.
  if (!MoveFileExA(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw Failure(path_ + ": cannot create: " + ErrorText(GetLastError()));
#else
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0)
    throw Failure(path_ + ": cannot create: " + std::strerror(errno));
#endif
  committed_ = true;
  Forget(slot_);
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
