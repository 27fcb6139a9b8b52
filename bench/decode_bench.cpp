// Decoding speed: UnpackResource against LZ4_decompress_safe on the same files, in one run.
//   payload_decode_bench [--benchmark_filter=...]
// Prints output MB/s per file and decoder, then each file's speed as a share of LZ4's; and the
// same for a walk that only finds the tokens, a bound on what any decoder of the format can do.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

#include "bench_inputs.h"
#include "bench_report.h"
#include "bench_streams.h"
#include "payload/token_tables.h"
#include "payload/unpack.h"

namespace {

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
  bench::SetRate(state, p.data.size());
}

void Lz4(benchmark::State& state, bench::Input input) {
  const bench::Packed& p = bench::Get(input);
  std::vector<char> out(p.data.size());
  for (auto _ : state) {
    int n = LZ4_decompress_safe(p.lz4.data(), out.data(), static_cast<int>(p.lz4.size()), static_cast<int>(out.size()));
    benchmark::DoNotOptimize(n);
  }
  if (std::memcmp(out.data(), p.data.data(), p.data.size()) != 0) state.SkipWithError("decoded bytes differ");
  bench::SetRate(state, p.data.size());
}

// The least that any decoder of the format has to do, as a bound on its speed: find every token,
// each one's place depending on the one before, and add up the lengths, writing nothing. Walked
// like the decoder's fast path, a flag byte at a time, with its tables; whole groups, so
// the last one may run past the end into the zero bytes that body must be followed by.
// Control bytes below 0x80: output length and body bytes.
struct SmallTables {
  uint16_t out[128];
  uint8_t in[128];
  constexpr SmallTables() : out(), in() {
    for (unsigned e = 0; e < 128; ++e) {
      out[e] = static_cast<uint16_t>((e & 3) == 3 ? (e >> 2) + 9 : (e & 3) + 2);
      in[e] = static_cast<uint8_t>((e & 3) == 3 ? (e >> 2) + 10 : 1);
    }
  }
};
constexpr SmallTables kSmall;

size_t WalkTokens(const uint8_t* body, size_t decoded, size_t& tokens) {
  const uint8_t* ip = body + 1;
  size_t produced = 0, count = 0;
  unsigned flag = body[0];
  while (produced < decoded) {
    uint32_t literals = packed::kTables.literals[flag];
    const unsigned controls = packed::kTables.controls[flag];
    for (unsigned k = 0; k < controls; ++k) {
      const unsigned n = literals & 15;
      literals >>= 4;
      ip += n;
      produced += n;
      const unsigned e = ip[0];
      if (e < 0x80) {
        produced += kSmall.out[e];
        ip += kSmall.in[e];
      } else {
        const unsigned far = e >> 6 & 1;
        produced += far ? packed::kTables.farLength[ip[2]] : (ip[1] & 15u) + 3;
        ip += 2 + far;
      }
    }
    ip += literals;
    produced += literals;
    count += 8;
    flag = *ip++;
  }
  tokens = count;
  return produced;
}

void Walk(benchmark::State& state, bench::Input input) {
  const bench::Packed& p = bench::Get(input);
  std::vector<uint8_t> body(p.container.begin() + packed::kHeaderSize, p.container.end());
  body.resize(body.size() + 256, 0);  // the last group's run past the end
  size_t produced = 0, tokens = 0;
  for (auto _ : state) {
    produced = WalkTokens(body.data(), p.data.size(), tokens);
    benchmark::DoNotOptimize(produced);
  }
  if (produced < p.data.size() || produced > p.data.size() + 8 * packed::kMaxCopy) state.SkipWithError("walk lost its way");
  state.counters["bytes/token"] = static_cast<double>(p.data.size()) / static_cast<double>(tokens);
  bench::SetRate(state, p.data.size());
}

}  // namespace

int main(int argc, char** argv) {
  for (const bench::Input& input : bench::Inputs()) {
    benchmark::RegisterBenchmark(("UnpackResource/" + input.name).c_str(), Unpack, input);
    benchmark::RegisterBenchmark(("LZ4_decompress_safe/" + input.name).c_str(), Lz4, input);
    benchmark::RegisterBenchmark(("TokenWalk/" + input.name).c_str(), Walk, input);
  }
  return bench::RunWithRatios(argc, argv, {{"UnpackResource", "LZ4_decompress_safe"}, {"TokenWalk", "LZ4_decompress_safe"}});
}
