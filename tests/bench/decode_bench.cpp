// Decoding speed: UnpackResource against LZ4_decompress_safe on the same files, in one run.
//   payload_decode_bench [--benchmark_filter=...]
// Prints output MB/s per file and decoder, then each file's speed as a share of LZ4's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "bench_inputs.h"
#include "bench_streams.h"
#include "payload/unpack.h"

namespace {

void SetRate(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void Unpack(benchmark::State& state, bench::Input input) {
  const bench::Packed& p = bench::Get(input);
  std::vector<uint8_t> out(p.data.size() + packed::kMaxCopy);
  for (auto _ : state) {
    bench::SpanStream source(p.container.data(), p.container.size());
    bench::BufferStream destination(out.data());
    UnpackResource(source, destination);
    benchmark::DoNotOptimize(out.data());
  }
  if (std::memcmp(out.data(), p.data.data(), p.data.size()) != 0) state.SkipWithError("decoded bytes differ");
  SetRate(state, p.data.size());
}

void Lz4(benchmark::State& state, bench::Input input) {
  const bench::Packed& p = bench::Get(input);
  std::vector<char> out(p.data.size());
  for (auto _ : state) {
    int n = LZ4_decompress_safe(p.lz4.data(), out.data(), static_cast<int>(p.lz4.size()), static_cast<int>(out.size()));
    benchmark::DoNotOptimize(n);
  }
  if (std::memcmp(out.data(), p.data.data(), p.data.size()) != 0) state.SkipWithError("decoded bytes differ");
  SetRate(state, p.data.size());
}

// The console report, followed by UnpackResource's speed as a share of LZ4's for each file.
class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      const std::string name = r.benchmark_name();
      const size_t slash = name.find('/');
      const auto it = r.counters.find("MB/s");
      if (slash == std::string::npos || it == r.counters.end()) continue;
      speeds_[name.substr(slash + 1)][name.substr(0, slash)] = it->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-18s %14s %14s %8s\n", "file", "Unpack MB/s", "LZ4 MB/s", "share");
    for (const auto& [file, by] : speeds_) {
      auto u = by.find("UnpackResource"), l = by.find("LZ4_decompress_safe");
      if (u == by.end() || l == by.end()) continue;
      std::printf("%-18s %14.0f %14.0f %7.0f%%\n", file.c_str(), u->second, l->second, 100 * u->second / l->second);
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> speeds_;
};

}  // namespace

int main(int argc, char** argv) {
  for (const bench::Input& input : bench::Inputs()) {
    benchmark::RegisterBenchmark(("UnpackResource/" + input.name).c_str(), Unpack, input);
    benchmark::RegisterBenchmark(("LZ4_decompress_safe/" + input.name).c_str(), Lz4, input);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
