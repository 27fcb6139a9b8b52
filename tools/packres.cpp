// packres: makes, unpacks and describes PackedResource containers at build time; a command line
// over payload's encoder and decoder. Files are streamed, never held whole, an output appears
// under its name only once it is complete, and no output may be one of its command's inputs.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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
#include "tools/cli_files.h"
#include "tools/make_setup.h"

namespace {

using cli::Failure;
using cli::Input;
using cli::Output;

const char kUsage[] =
    "usage: packres pack [--limit BYTES] IN OUT\n"
    "                               pack file IN into container OUT (checked against IN);\n"
    "                               refuse an IN of more than BYTES\n"
    "       packres unpack IN OUT   decode container IN into file OUT\n"
    "       packres info IN         show a container's sizes and ratio\n"
    "       packres make-setup STUB.exe OUT.exe --exe FILE --dat2 FILE [--version X.Y.Z]\n"
    "                               make updater OUT from a built SETUP.exe with two new files\n"
    "       packres sums [--limit BYTES] OUT NAME=FILE...\n"
    "                               write the digest resource OUT: the SHA-256 of each FILE\n"
    "                               under its payload NAME (1 to 8 ASCII characters), in order;\n"
    "                               refuse FILEs of more than BYTES together\n"
    "       packres --help          show this text\n";

// The largest file a container can hold: its sizes are signed 32-bit fields.
constexpr uint64_t kMaxContainerFile = 0x7FFFFFFF;

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

// Takes "--limit BYTES" out of args; none: fallback.
uint64_t TakeLimit(std::vector<std::string>& args, uint64_t fallback) {
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] != "--limit") continue;
    char* end = nullptr;
    const unsigned long long limit = std::strtoull(args[i + 1].c_str(), &end, 10);
    if (args[i + 1].empty() || *end != '\0' || args[i + 1][0] == '-') throw Failure("--limit " + args[i + 1] + ": not a number of bytes");
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    return limit;
  }
  return fallback;
}

int Pack(const std::string& inPath, const std::string& outPath, uint64_t limit) {
  cli::RefuseOutputAmong(outPath, {inPath});
  const uint64_t size = Input(inPath).Size();
  if (size > kMaxContainerFile)
    throw Failure(inPath + ": " + cli::Grouped(size) + " bytes, more than the " + cli::Grouped(kMaxContainerFile) +
                  " a container can hold");
  if (size > limit) throw Failure(inPath + ": " + cli::Grouped(size) + " bytes, over the limit of " + cli::Grouped(limit));
  Output out(outPath);
  Progress progress(size);
  const cli::PackedFile packed =
      cli::PackFile(inPath, out, outPath, [&](uint64_t done, uint64_t) { progress.Update(done); });
  if (packed.decoded > limit) throw Failure(inPath + ": grew past the limit of " + cli::Grouped(limit) + " bytes while packed");
  out.Commit();
  progress.Clear();
  std::printf("%s: %llu -> %llu bytes (%.1f%%)\n", outPath.c_str(), static_cast<unsigned long long>(packed.decoded),
              static_cast<unsigned long long>(packed.container), Percent(packed.container, packed.decoded));
  return 0;
}

int Unpack(const std::string& inPath, const std::string& outPath) {
  cli::RefuseOutputAmong(outPath, {inPath});
  Input in(inPath);
  const packed::Header h = ReadHeader(inPath, in);
  // The decoder reads the header itself: give it the file from its start again.
  Input container(inPath);
  Output out(outPath);
  cli::InputStream source(container);
  cli::OutputStream destination(out);
  packed::Workspace workspace;
  try {
    packed::UnpackStreamed(source, destination, workspace);
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

int Sums(const std::string& out, const std::vector<std::string>& entries, uint64_t limit) {
  std::vector<sums::Record> records;
  uint64_t total = 0;
  std::string names;
  for (const std::string& entry : entries) {
    const size_t eq = entry.find('=');
    if (eq == std::string::npos) throw Failure(entry + ": expected NAME=FILE");
    const std::string file = entry.substr(eq + 1);
    cli::RefuseOutputAmong(out, {file});
    total += Input(file).Size();
    names += (names.empty() ? "" : " and ") + file;
  }
  if (total > limit)
    throw Failure(names + ": " + cli::Grouped(total) + " bytes together, over the limit of " + cli::Grouped(limit));
  for (const std::string& entry : entries) {
    const size_t eq = entry.find('=');
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
  cli::RemoveTemporariesOnInterrupt();
  try {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!args.empty() && (args[0] == "pack" || args[0] == "sums")) {
      const uint64_t limit = TakeLimit(args, UINT64_MAX);
      if (args.size() == 3 && args[0] == "pack") return Pack(args[1], args[2], limit);
      if (args.size() >= 3 && args[0] == "sums") return Sums(args[1], std::vector<std::string>(args.begin() + 2, args.end()), limit);
    }
    if (args.size() == 3 && args[0] == "unpack") return Unpack(args[1], args[2]);
    if (args.size() == 2 && args[0] == "info") return Info(args[1]);
    if (!args.empty() && args[0] == "make-setup") return make_setup::MakeSetup({args.begin() + 1, args.end()});
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
