// Throughput of the SHA-1 core per block engine, fed 1 MiB at a time as a
// large file would be.
#include <benchmark/benchmark.h>

#include <vector>

#include "sha1/sha1_Rfc4634.h"

namespace {

void HashMebibytes(benchmark::State& state, SHA1Engine_t engine) {
  if (!SHA1SelectEngine(engine)) {
    state.SkipWithError("this CPU has no SHA extensions");
    return;
  }
  const std::vector<unsigned char> chunk(1 << 20, 0x5A);
  SHA1Context ctx;
  SHA1Reset(&ctx);
  for (auto _ : state) {
    SHA1Input(&ctx, chunk.data(), static_cast<unsigned int>(chunk.size()));
    benchmark::DoNotOptimize(ctx.Intermediate_Hash);
  }
  unsigned char digest[SHA1HashSize];
  SHA1Result(&ctx, digest);
  benchmark::DoNotOptimize(digest);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(chunk.size()));
  SHA1SelectEngine(SHA1EngineAuto);
}

}  // namespace

BENCHMARK_CAPTURE(HashMebibytes, portable, SHA1EnginePortable);
BENCHMARK_CAPTURE(HashMebibytes, hardware, SHA1EngineHardware);

BENCHMARK_MAIN();
