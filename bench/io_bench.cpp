// CRC-32 throughput against zlib's and in GB/s (each path), and the cost of
// growing an RVDataHandle.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "engine/io/RVCRC32.h"
#include "engine/io/RVCRC32Internal.h"
#include "engine/io/RVDataHandle.h"

namespace {

constexpr size_t kBuffer = 256 * 1024;

const std::vector<uint8_t>& buffer() {
  static std::vector<uint8_t> data = [] {
    std::vector<uint8_t> d(kBuffer);
    std::mt19937 rng(7);
    for (auto& b : d) b = static_cast<uint8_t>(rng());
    return d;
  }();
  return data;
}

void BM_RVCRC32Update(benchmark::State& state) {
  const auto& data = buffer();
  uint32_t v = RVCRC32Init();
  for (auto _ : state) {
    v = RVCRC32Update(v, data.data(), static_cast<int64_t>(data.size()));
    benchmark::DoNotOptimize(v);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_RVCRC32Update);

void BM_RVCRC32UpdateFallback(benchmark::State& state) {
  RVCRC32SetPath(RVCRC32Path::Fallback);
  BM_RVCRC32Update(state);
  RVCRC32SetPath(RVCRC32Path::Automatic);
}
BENCHMARK(BM_RVCRC32UpdateFallback);

// Short ranges, where the vector kernel's set-up and final reduction weigh
// most; the Fallback rows show where it starts to pay.
void BM_RVCRC32UpdateShort(benchmark::State& state) {
  const auto path = static_cast<RVCRC32Path>(state.range(0));
  const auto length = static_cast<int64_t>(state.range(1));
  const auto& data = buffer();
  RVCRC32SetPath(path);
  uint32_t v = RVCRC32Init();
  for (auto _ : state) {
    for (int64_t offset = 0; offset + length <= 16384; offset += length)
      v = RVCRC32Update(v, data.data() + offset, length);
    benchmark::DoNotOptimize(v);
  }
  RVCRC32SetPath(RVCRC32Path::Automatic);
  state.SetBytesProcessed(state.iterations() * (16384 / length) * length);
}
BENCHMARK(BM_RVCRC32UpdateShort)
    ->ArgsProduct({{int64_t(RVCRC32Path::Vector), int64_t(RVCRC32Path::Fallback)},
                   {16, 64, 128, 256, 512, 1024}});

void BM_ZlibCrc32(benchmark::State& state) {
  const auto& data = buffer();
  uLong v = 0;
  for (auto _ : state) {
    v = ::crc32(v, data.data(), static_cast<uInt>(data.size()));
    benchmark::DoNotOptimize(v);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_ZlibCrc32);

// Appends blocks of growing size; the time per byte must stay flat as the
// total grows if growth is amortised.
void BM_RVDataHandleGrowingWrites(benchmark::State& state) {
  const size_t total = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> block(4096, 0x5A);
  for (auto _ : state) {
    RVDataHandle h;
    size_t written = 0, n = 1;
    while (written < total) {
      size_t len = std::min({n, block.size(), total - written});
      h.writeBytesLength(block.data(), len);
      written += len;
      n = n * 2 + 1;
    }
    benchmark::DoNotOptimize(h.data().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
}
BENCHMARK(BM_RVDataHandleGrowingWrites)->Arg(1 << 16)->Arg(1 << 20)->Arg(1 << 24);

// Interleaved rounds of both CRCs over the same buffer, best of each.
double crcRatio() {
  using clock = std::chrono::steady_clock;
  const auto& data = buffer();
  double ours = 1e9, zlib = 1e9;
  uint32_t sink = 0;
  for (int round = 0; round < 15; ++round) {
    auto t0 = clock::now();
    for (int i = 0; i < 200; ++i)
      sink ^= RVCRC32Update(sink, data.data(), static_cast<int64_t>(data.size()));
    auto t1 = clock::now();
    for (int i = 0; i < 200; ++i)
      sink ^= static_cast<uint32_t>(::crc32(sink, data.data(), static_cast<uInt>(data.size())));
    auto t2 = clock::now();
    ours = std::min(ours, std::chrono::duration<double>(t1 - t0).count());
    zlib = std::min(zlib, std::chrono::duration<double>(t2 - t1).count());
  }
  benchmark::DoNotOptimize(sink);
  return zlib / ours;
}

// RVCRC32Update over the 256 KiB buffer, best of several rounds, in GB/s.
double crcGBps() {
  using clock = std::chrono::steady_clock;
  const auto& data = buffer();
  constexpr int kPasses = 400;
  double best = 1e9;
  uint32_t sink = 0;
  for (int round = 0; round < 15; ++round) {
    auto t0 = clock::now();
    for (int i = 0; i < kPasses; ++i)
      sink = RVCRC32Update(sink, data.data(), static_cast<int64_t>(data.size()));
    best = std::min(best, std::chrono::duration<double>(clock::now() - t0).count());
  }
  benchmark::DoNotOptimize(sink);
  return double(kPasses) * double(data.size()) / 1e9 / best;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("crc32_vs_zlib=%.2f\n", crcRatio());
  std::printf("crc32_GBps=%.1f\n", crcGBps());
  return 0;
}
