// Packing against LZ4 HC level 12 (what `lz4 -12` runs) on the same files, in one run: speed
// (the packer on all cores, as packres runs it; LZ4 HC on one) and size.
//   payload_pack_bench [--benchmark_filter=...]
// Counters: packed (container bytes), lz4_12 (LZ4 HC 12 block bytes), vs_lz4 (packed / lz4_12).
// The closing table gives Pack's speed as a share of LZ4 HC 12's for each file.
#include <benchmark/benchmark.h>

#include "bench_inputs.h"
#include "bench_report.h"

namespace {

void Pack(benchmark::State& state, bench::Input input) {
  const bench::Packed& p = bench::Get(input);
  size_t size = 0;
  for (auto _ : state) {
    std::vector<uint8_t> c = packed::Pack(p.data);
    size = c.size();
    benchmark::DoNotOptimize(c.data());
  }
  bench::SetRate(state, p.data.size());
  state.counters["input"] = static_cast<double>(p.data.size());
  state.counters["packed"] = static_cast<double>(size);
  state.counters["lz4_12"] = static_cast<double>(p.lz4.size());
  state.counters["vs_lz4"] = static_cast<double>(size) / static_cast<double>(p.lz4.size());
}

void Lz4Hc12(benchmark::State& state, bench::Input input) {
  const bench::Packed& p = bench::Get(input);
  std::vector<char> out(p.lz4.size() + 1024);
  for (auto _ : state) {
    const int n = LZ4_compress_HC(reinterpret_cast<const char*>(p.data.data()), out.data(), static_cast<int>(p.data.size()),
                                  static_cast<int>(out.size()), 12);
    benchmark::DoNotOptimize(n);
  }
  bench::SetRate(state, p.data.size());
}

}  // namespace

int main(int argc, char** argv) {
  for (const bench::Input& input : bench::Inputs()) {
    for (auto [name, fn] : {std::pair{"Pack/", Pack}, std::pair{"LZ4_HC12/", Lz4Hc12}})
      benchmark::RegisterBenchmark((name + input.name).c_str(), fn, input)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
  }
  return bench::RunWithRatios(argc, argv, {{"Pack", "LZ4_HC12"}});
}
