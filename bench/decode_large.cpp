// Decoder figures that the sample files are too small to show.
//
//   perf_decode_large speed DIR [MiB]    a file of MiB (default 120) made of the Wine package's
//                                        PE images, packed once (cached in DIR); UnpackResource
//                                        against LZ4_decompress_safe on it, best of 5 each
//   perf_decode_large memory DIR [MiB]   a container whose output is MiB (default 544) decoded
//                                        from a file to a file; peak resident memory above the
//                                        baseline against P + 256 + 3 MiB
#include <lz4.h>
#include <lz4hc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "base/stream.h"
#include "payload/unpack.h"
#include "bench/bench_streams.h"
#include "payload/pack.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(2);
  }
}

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(status, line))
    if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n + 1);
  return -1;
}

class FileStream : public TStream {
 public:
  FileStream(const std::string& path, const char* mode) : file_(std::fopen(path.c_str(), mode)) {
    if (!file_) {
      std::fprintf(stderr, "cannot open %s\n", path.c_str());
      std::exit(2);
    }
  }
  ~FileStream() override { std::fclose(file_); }
  int32_t Read(void* buffer, int32_t count) override {
    return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(count), file_));
  }
  int32_t Write(const void* buffer, int32_t count) override {
    return static_cast<int32_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), file_));
  }

 private:
  std::FILE* file_;
};

// The PE images of the Wine package, in name order, concatenated up to size bytes.
std::vector<uint8_t> PeCorpus(size_t size) {
  const std::string dir = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name.size() > 4 && (name.compare(name.size() - 4, 4, ".dll") == 0 || name.compare(name.size() - 4, 4, ".exe") == 0))
        names.push_back(name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  std::vector<uint8_t> data;
  data.reserve(size);
  for (const std::string& name : names) {
    if (data.size() >= size) break;
    std::vector<uint8_t> image = ReadAll(dir + name);
    data.insert(data.end(), image.begin(), image.begin() + static_cast<long>(std::min(image.size(), size - data.size())));
  }
  return data;
}

int Speed(const std::string& dir, size_t mib) {
  const size_t size = mib << 20;
  const std::string dataPath = dir + "/pe-corpus.bin", packPath = dir + "/pe-corpus.pack", lz4Path = dir + "/pe-corpus.lz4hc";
  std::vector<uint8_t> data = ReadAll(dataPath);
  if (data.size() != size) {
    data = PeCorpus(size);
    if (data.size() != size) {
      std::fprintf(stderr, "the Wine package's PE images give only %zu bytes\n", data.size());
      return 2;
    }
    WriteAll(dataPath, data.data(), data.size());
  }
  std::vector<uint8_t> container = ReadAll(packPath);
  if (container.size() < 16 || packed::ParseHeader(container.data()).decodedSize != static_cast<int32_t>(size)) {
    auto t = Clock::now();
    container = packed::Pack(data);
    std::printf("packed %zu bytes into %zu in %.1f s (%.2f MB/s)\n", size, container.size(), Seconds(t), size / 1e6 / Seconds(t));
    WriteAll(packPath, container.data(), container.size());
  }
  std::vector<uint8_t> lz4 = ReadAll(lz4Path);
  if (lz4.empty()) {
    lz4.resize(static_cast<size_t>(LZ4_compressBound(static_cast<int>(size))));
    auto t = Clock::now();
    const int n = LZ4_compress_HC(reinterpret_cast<const char*>(data.data()), reinterpret_cast<char*>(lz4.data()),
                                  static_cast<int>(size), static_cast<int>(lz4.size()), 12);
    lz4.resize(static_cast<size_t>(n));
    std::printf("LZ4 HC 12: %zu bytes in %.1f s\n", lz4.size(), Seconds(t));
    WriteAll(lz4Path, lz4.data(), lz4.size());
  }

  std::vector<uint8_t> out(size + packed::kMaxCopy);
  double bestUnpack = 1e9, bestLz4 = 1e9;
  for (int round = 0; round < 5; ++round) {
    std::fill(out.begin(), out.end(), 0);
    auto t = Clock::now();
    bench::SpanStream source(container.data(), container.size());
    bench::BufferStream destination(out.data());
    UnpackResource(source, destination);
    bestUnpack = std::min(bestUnpack, Seconds(t));
    if (std::getenv("PERF_VERBOSE")) std::printf("round %d: UnpackResource %.3f s\n", round, Seconds(t));
    if (std::memcmp(out.data(), data.data(), size) != 0) {
      std::fprintf(stderr, "UnpackResource output differs\n");
      return 1;
    }
    std::fill(out.begin(), out.end(), 0);
    t = Clock::now();
    const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(lz4.data()), reinterpret_cast<char*>(out.data()),
                                      static_cast<int>(lz4.size()), static_cast<int>(size));
    bestLz4 = std::min(bestLz4, Seconds(t));
    if (n != static_cast<int>(size) || std::memcmp(out.data(), data.data(), size) != 0) {
      std::fprintf(stderr, "LZ4 output differs\n");
      return 1;
    }
  }
  std::printf("%-22s %12s %12s %14s %10s %6s\n", "file", "bytes", "packed", "Unpack MB/s", "LZ4 MB/s", "share");
  std::printf("%-22s %12zu %12zu %14.0f %10.0f %5.0f%%\n", "pe-corpus.bin", size, container.size(), size / 1e6 / bestUnpack,
              size / 1e6 / bestLz4, 100 * bestLz4 / bestUnpack);
  std::printf("(LZ4 HC 12 size %zu; best of 5 runs each, output to memory)\n", lz4.size());
  return 0;
}

// A well-formed container of about mib MiB of output: groups of one 40-byte literal run of
// random bytes and seven copies of random distance and length, so the body is not trivially
// small and the output not one repeated block.
std::vector<uint8_t> SyntheticContainer(size_t mib) {
  const int64_t target = static_cast<int64_t>(mib) << 20;
  std::mt19937 random(12345);
  std::vector<uint8_t> body;
  int64_t produced = 0;
  const uint8_t lengths[4] = {0xFF, 0xFE, 0xFD, 0xFC};  // 4096, 1024, 256, 255
  const int lengthValue[4] = {4096, 1024, 256, 255};
  while (produced < target) {
    body.push_back(0xFF);  // eight control tokens: a literal run, then seven copies
    body.push_back(0x7F);  // run of 40
    for (int i = 0; i < 40; ++i) body.push_back(static_cast<uint8_t>(random()));
    produced += 40;
    for (int t = 0; t < 7; ++t) {
      const int64_t reach = std::min<int64_t>(produced, packed::kMaxDistance);
      const unsigned d = static_cast<unsigned>(1 + random() % static_cast<uint64_t>(reach));
      const int which = static_cast<int>(random() % 4);
      body.push_back(static_cast<uint8_t>(0xC0 | ((d - 1) >> 8)));
      body.push_back(static_cast<uint8_t>((d - 1) & 0xFF));
      body.push_back(lengths[which]);
      produced += lengthValue[which];
    }
  }
  std::vector<uint8_t> container(16);
  packed::WriteHeader(container.data(), static_cast<int32_t>(body.size()), static_cast<int32_t>(produced));
  container.insert(container.end(), body.begin(), body.end());
  return container;
}

int Memory(const std::string& dir, size_t mib) {
  const std::string packPath = dir + "/synthetic.pack", outPath = dir + "/synthetic.out";
  int32_t packedSize = 0, decodedSize = 0;
  {
    std::vector<uint8_t> container = SyntheticContainer(mib);
    const packed::Header h = packed::ParseHeader(container.data());
    packedSize = h.packedSize;
    decodedSize = h.decodedSize;
    WriteAll(packPath, container.data(), container.size());
  }
  // The container is gone from memory; what is resident now is the baseline. Reset the peak.
  const long baseline = StatusKiB("VmRSS:");
  {
    std::ofstream reset("/proc/self/clear_refs");
    reset << "5";
  }
  const long peakBefore = StatusKiB("VmHWM:");
  auto t = Clock::now();
  {
    FileStream source(packPath, "rb");
    FileStream destination(outPath, "wb");
    UnpackResource(source, destination);
  }
  const double seconds = Seconds(t);
  const long peak = StatusKiB("VmHWM:");
  struct stat st {};
  stat(outPath.c_str(), &st);
  const bool sized = st.st_size >= decodedSize;
  std::remove(outPath.c_str());
  std::remove(packPath.c_str());
  const double budget = (packedSize + 256.0 + 3 * 1048576.0) / 1024.0;
  std::printf("container: P = %d bytes, D = %d bytes (%.0f MiB); output file %lld bytes%s\n", packedSize, decodedSize,
              decodedSize / 1048576.0, static_cast<long long>(st.st_size), sized ? "" : " (SHORT)");
  std::printf("decoded file to file in %.2f s (%.0f MB/s)\n", seconds, decodedSize / 1e6 / seconds);
  std::printf("resident: baseline %ld KiB (peak reset to %ld), peak %ld KiB: %+ld KiB above baseline\n", baseline,
              peakBefore, peak, peak - baseline);
  std::printf("P + 256 + 3 MiB = %.0f KiB; measured minus that: %+.0f KiB\n", budget, (peak - baseline) - budget);
  return sized ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: perf_decode_large speed|memory DIR [MiB]\n");
    return 2;
  }
  const std::string mode = argv[1], dir = argv[2];
  if (mode == "speed") return Speed(dir, argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 120);
  if (mode == "memory") return Memory(dir, argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 544);
  std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
  return 2;
}
