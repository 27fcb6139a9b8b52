// The console report of a benchmark run, followed by a table that sets one family's speed
// against its peer's for each file, both measured in the same run. Benchmarks are named
// "family/file" and carry an "MB/s" counter.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

inline void SetRate(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Each pair is (family, its peer); the share printed is family / peer.
  explicit RatioReporter(std::vector<std::pair<std::string, std::string>> pairs) : pairs_(std::move(pairs)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      const std::string name = r.benchmark_name();
      const size_t slash = name.find('/');
      const auto it = r.counters.find("MB/s");
      if (slash == std::string::npos || it == r.counters.end()) continue;
      // "family/file", perhaps followed by "/iterations:3" and the like.
      const size_t end = name.find('/', slash + 1);
      speeds_[name.substr(slash + 1, end == std::string::npos ? end : end - slash - 1)][name.substr(0, slash)] =
          it->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [family, peer] : pairs_) {
      std::printf("\n%-18s %22s %22s %8s\n", "file", (family + " MB/s").c_str(), (peer + " MB/s").c_str(), "share");
      for (const auto& [file, by] : speeds_) {
        auto f = by.find(family), p = by.find(peer);
        if (f == by.end() || p == by.end()) continue;
        std::printf("%-18s %22.1f %22.1f %7.0f%%\n", file.c_str(), f->second, p->second, 100 * f->second / p->second);
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
  std::map<std::string, std::map<std::string, double>> speeds_;
};

// Registers nothing itself: runs what main registered, with the reporter.
inline int RunWithRatios(int argc, char** argv, std::vector<std::pair<std::string, std::string>> pairs) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(std::move(pairs));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
