// Packing: time to pack each file, and the packed size next to LZ4 HC level 12's.
//   payload_pack_bench [--benchmark_filter=...]
// Counters: packed (container bytes), lz4_12 (LZ4 HC 12 block bytes), vs_lz4 (packed / lz4_12).
#include <benchmark/benchmark.h>

#include "bench_inputs.h"

namespace {

void Pack(benchmark::State& state, bench::Input input) {
  const bench::Packed& p = bench::Get(input);
  size_t size = 0;
  for (auto _ : state) {
    std::vector<uint8_t> c = packed::Pack(p.data);
    size = c.size();
    benchmark::DoNotOptimize(c.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * p.data.size()));
  state.counters["input"] = static_cast<double>(p.data.size());
  state.counters["packed"] = static_cast<double>(size);
  state.counters["lz4_12"] = static_cast<double>(p.lz4.size());
  state.counters["vs_lz4"] = static_cast<double>(size) / static_cast<double>(p.lz4.size());
}

}  // namespace

int main(int argc, char** argv) {
  for (const bench::Input& input : bench::Inputs())
    benchmark::RegisterBenchmark(("Pack/" + input.name).c_str(), Pack, input)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
