// The entry data codec against bare zlib loops and a plain copy loop, on 64 MiB
// of mixed text and incompressible bytes. The headline ratios come from rounds
// that alternate the two contenders, best time of each.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "engine/CVNDeflateWorkerPool.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileData.h"
#include "engine/io/RVCRC32.h"
#include "engine/io/RVDataHandle.h"
#include "engine/io/RVFileHandle.h"
#include "engine/io/RVIOHandle.h"

namespace {

constexpr size_t kDataSize = 64u << 20;
constexpr size_t kBuffer = 256 * 1024;

// Runs of generated prose and of random bytes, half and half.
std::vector<uint8_t> makeData() {
  static const char* words[] = {
      "archive", "entry",  "header", "the",   "of",     "and",     "window",  "folder",
      "file",    "name",   "data",   "a",     "to",     "in",      "central", "directory",
      "record",  "stream", "bytes",  "block", "Zip",    "Windows", "code",    "page",
      "is",      "with",   "for",    "that",  "on",     "time",    "date",    "size",
      "offset",  "part",   "split",  "local", "extra",  "field",   "value",   "length",
      "read",    "write",  "buffer", "job",   "cancel", "result",  "check",   "password"};
  std::mt19937_64 random(2024);
  std::vector<uint8_t> data;
  data.reserve(kDataSize + 4096);
  while (data.size() < kDataSize) {
    size_t run = 64 * 1024 + random() % (960 * 1024);
    size_t end = std::min(kDataSize, data.size() + run);
    if (random() % 2) {
      while (data.size() < end) {
        const char* w = words[random() % (sizeof words / sizeof *words)];
        data.insert(data.end(), w, w + std::char_traits<char>::length(w));
        data.push_back(random() % 12 == 0 ? '\n' : ' ');
      }
      data.resize(end);
    } else {
      while (data.size() < end) data.push_back(uint8_t(random()));
    }
  }
  return data;
}

const std::vector<uint8_t>& benchData() {
  static const std::vector<uint8_t> data = makeData();
  return data;
}

// Takes writes and drops them.
class SinkHandle : public RVIOHandle {
 public:
  bool hasBytesAvailable() override { return false; }
  uint64_t offset() override { return _offset; }
  void seekToOffset(uint64_t offset) override { _offset = offset; }
  uint64_t seekToEnd() override { return _offset; }
  void truncateAtOffset(uint64_t) override {}
  uint64_t readBytesMaxLength(void*, uint64_t) override { return 0; }
  uint64_t writeBytesMaxLength(const void*, uint64_t length) override {
    _offset += length;
    return length;
  }

 private:
  uint64_t _offset = 0;
};

// --- the contenders ---

struct Buffers {
  std::vector<uint8_t> input = std::vector<uint8_t>(kBuffer);
  std::vector<uint8_t> output = std::vector<uint8_t>(kBuffer);
};

uint64_t codecDeflate(RVDataHandle& source, Buffers& b) {
  source.seekToOffset(0);
  SinkHandle archive;
  CVNZipCentralFileHeader header;
  header.setCompressionMethod(8);
  CVNZipFileData::compressFileDataWithIOHandle(archive, -1, header, std::nullopt, b.input, b.output,
                                               &source, nullptr);
  return header.compressedSize();
}

// The single stream the codec makes of entries below its block threshold, and
// made of every entry before there were blocks.
uint64_t zlibDeflate(std::span<const uint8_t> data, Buffers& b) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  uint64_t produced = 0;
  size_t position = 0;
  int flush;
  do {
    size_t n = std::min(kBuffer, data.size() - position);
    z.next_in = const_cast<Bytef*>(data.data() + position);
    z.avail_in = uInt(n);
    position += n;
    flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = b.output.data();
      z.avail_out = uInt(kBuffer);
      deflate(&z, flush);
      produced += kBuffer - z.avail_out;
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&z);
  return produced;
}

// Reads a piece of the data in place.
class SpanHandle : public RVIOHandle {
 public:
  explicit SpanHandle(std::span<const uint8_t> data) : _data(data) {}
  bool hasBytesAvailable() override { return _offset < _data.size(); }
  uint64_t offset() override { return _offset; }
  void seekToOffset(uint64_t offset) override { _offset = offset; }
  uint64_t seekToEnd() override { return _offset = _data.size(); }
  void truncateAtOffset(uint64_t) override {}
  uint64_t readBytesMaxLength(void* buffer, uint64_t maxLength) override {
    uint64_t n = std::min<uint64_t>(maxLength, _data.size() - std::min(_offset, _data.size()));
    std::memcpy(buffer, _data.data() + _offset, n);
    _offset += n;
    return n;
  }
  uint64_t writeBytesMaxLength(const void*, uint64_t) override { return 0; }

 private:
  std::span<const uint8_t> _data;
  uint64_t _offset = 0;
};

// The data as entries just below the block threshold: one stream each, from
// the codec and from the bare loop.
constexpr size_t kStreamPiece = CVNZipFileData::kParallelDeflateThreshold - 1;

uint64_t codecDeflatePieces(Buffers& b) {
  uint64_t produced = 0;
  std::span<const uint8_t> data = benchData();
  for (size_t at = 0; at < data.size(); at += kStreamPiece) {
    SpanHandle source(data.subspan(at, std::min(kStreamPiece, data.size() - at)));
    SinkHandle archive;
    CVNZipCentralFileHeader header;
    header.setCompressionMethod(8);
    CVNZipFileData::compressFileDataWithIOHandle(archive, -1, header, std::nullopt, b.input,
                                                 b.output, &source, nullptr);
    produced += header.compressedSize();
  }
  return produced;
}

uint64_t zlibDeflatePieces(Buffers& b) {
  uint64_t produced = 0;
  std::span<const uint8_t> data = benchData();
  for (size_t at = 0; at < data.size(); at += kStreamPiece)
    produced += zlibDeflate(data.subspan(at, std::min(kStreamPiece, data.size() - at)), b);
  return produced;
}

struct Compressed {
  std::vector<uint8_t> bytes;
  CVNZipCentralFileHeader header;
};

const Compressed& compressed() {
  static const Compressed c = [] {
    Compressed c;
    RVDataHandle source(benchData());
    RVDataHandle archive;
    Buffers b;
    c.header.setCompressionMethod(8);
    CVNZipFileData::compressFileDataWithIOHandle(archive, -1, c.header, std::nullopt, b.input,
                                                 b.output, &source, nullptr);
    c.bytes = archive.takeData();
    return c;
  }();
  return c;
}

uint64_t codecInflate(RVDataHandle& archive, Buffers& b) {
  archive.seekToOffset(0);
  SinkHandle output;
  CVNZipFileData codec;
  if (codec.decompressFileDataWithIOHandle(archive, compressed().header, std::nullopt, b.input,
                                           b.output, output, nullptr) != CVNZipResultSucceeded) {
    std::fprintf(stderr, "inflate failed\n");
    std::exit(1);
  }
  return output.offset();
}

// Like any inflate loop over an archive, the bare loop reads its input into a
// buffer first (here a copy from memory, as the codec's read from a data
// handle is). With `withCRC` it also does the one piece of work the codec
// cannot skip, so that the two ratios separate the CRC from the codec's cost.
template <bool withCRC>
uint64_t zlibInflate(const std::vector<uint8_t>& raw, Buffers& b) {
  uint32_t crc = RVCRC32Init();
  z_stream z{};
  inflateInit2(&z, -15);
  uint64_t produced = 0;
  size_t position = 0;
  int r = Z_OK;
  while (r != Z_STREAM_END && position < raw.size()) {
    size_t n = std::min(kBuffer, raw.size() - position);
    std::memcpy(b.input.data(), raw.data() + position, n);
    z.next_in = b.input.data();
    z.avail_in = uInt(n);
    position += n;
    do {
      z.next_out = b.output.data();
      z.avail_out = uInt(kBuffer);
      r = inflate(&z, Z_NO_FLUSH);
      produced += kBuffer - z.avail_out;
      if (withCRC) crc = RVCRC32Update(crc, b.output.data(), int64_t(kBuffer - z.avail_out));
    } while (z.avail_out == 0);
  }
  inflateEnd(&z);
  return produced + crc;
}

// Cached files in $TMPDIR: the source, and a destination emptied before each run.
struct Files {
  std::string dir;
  std::string source;
  std::string destination;
  Files() {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/codec_bench.XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) std::exit(1);
    dir = name.data();
    source = dir + "/source.bin";
    destination = dir + "/destination.bin";
    int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::vector<uint8_t>& data = benchData();
    if (fd < 0 || ::write(fd, data.data(), data.size()) != ssize_t(data.size())) std::exit(1);
    ::close(fd);
    fd = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::close(fd);
  }
  ~Files() {
    ::unlink(source.c_str());
    ::unlink(destination.c_str());
    ::rmdir(dir.c_str());
  }
  std::unique_ptr<RVFileHandle> emptyDestination() const {
    int fd = ::open(destination.c_str(), O_RDWR | O_TRUNC);
    return std::make_unique<RVFileHandle>(fd, true);
  }
};

const Files& files() {
  static const Files f;
  return f;
}

CVNZipCentralFileHeader storedHeader() {
  CVNZipCentralFileHeader header;
  header.setCompressionMethod(0);
  header.setCrc32(uint32_t(crc32(0, benchData().data(), uInt(benchData().size()))));
  header.setCompressedSize(benchData().size());
  header.setUncompressedSize(benchData().size());
  return header;
}

// Opening and emptying the files happens before the clock starts.
struct FileRun {
  std::unique_ptr<RVFileHandle> in;
  std::unique_ptr<RVFileHandle> out;
  FileRun() : in(RVFileHandle::forReadingAtPath(files().source)), out(files().emptyDestination()) {}
};

uint64_t codecStore(FileRun& run, Buffers& b) {
  CVNZipCentralFileHeader header;
  header.setCompressionMethod(0);
  CVNZipFileData::compressFileDataWithIOHandle(*run.out, -1, header, std::nullopt, b.input,
                                               b.output, run.in.get(), nullptr);
  return header.compressedSize();
}

uint64_t codecRestore(FileRun& run, Buffers& b) {
  static const CVNZipCentralFileHeader header = storedHeader();
  CVNZipFileData codec;
  if (codec.decompressFileDataWithIOHandle(*run.in, header, std::nullopt, b.input, b.output,
                                           *run.out, nullptr) != CVNZipResultSucceeded) {
    std::fprintf(stderr, "restore failed\n");
    std::exit(1);
  }
  return header.uncompressedSize();
}

// The plain loop the store and restore passes are held against.
template <bool withCRC>
uint64_t copyLoop(FileRun& run, Buffers& b) {
  int in = run.in->fileDescriptor(), out = run.out->fileDescriptor();
  uint64_t total = 0;
  uint32_t crc = RVCRC32Init();
  for (;;) {
    ssize_t n = ::read(in, b.input.data(), kBuffer);
    if (n <= 0) break;
    if (withCRC) crc = RVCRC32Update(crc, b.input.data(), n);
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, b.input.data() + done, size_t(n - done));
      if (w <= 0) std::exit(1);
      done += w;
    }
    total += uint64_t(n);
  }
  return total + crc;
}

// --- the table ---

void BM_CodecDeflate(benchmark::State& state) {
  RVDataHandle source(benchData());
  Buffers b;
  for (auto _ : state) benchmark::DoNotOptimize(codecDeflate(source, b));
  state.SetBytesProcessed(int64_t(state.iterations() * kDataSize));
}
void BM_ZlibDeflate(benchmark::State& state) {
  Buffers b;
  for (auto _ : state) benchmark::DoNotOptimize(zlibDeflate(benchData(), b));
  state.SetBytesProcessed(int64_t(state.iterations() * kDataSize));
}
// The codec's blocks at the block size given, on every core; the counter is the
// size over the single stream's, minus 1.
void BM_ParallelDeflate(benchmark::State& state) {
  CVNDeflateWorkerPool& pool = CVNDeflateWorkerPool::shared();
  const size_t defaultSize = pool.blockSize();
  pool.setBlockSize(size_t(state.range(0)));
  RVDataHandle source(benchData());
  Buffers b;
  uint64_t size = 0;
  for (auto _ : state) benchmark::DoNotOptimize(size = codecDeflate(source, b));
  static const uint64_t single = [] {
    Buffers b;
    return zlibDeflate(benchData(), b);
  }();
  state.counters["size_overhead"] = double(size) / double(single) - 1;
  state.SetBytesProcessed(int64_t(state.iterations() * kDataSize));
  pool.setBlockSize(defaultSize);
}
void BM_CodecInflate(benchmark::State& state) {
  RVDataHandle archive(compressed().bytes);
  Buffers b;
  for (auto _ : state) benchmark::DoNotOptimize(codecInflate(archive, b));
  state.SetBytesProcessed(int64_t(state.iterations() * kDataSize));
}
void BM_ZlibInflate(benchmark::State& state) {
  Buffers b;
  for (auto _ : state) benchmark::DoNotOptimize(zlibInflate<false>(compressed().bytes, b));
  state.SetBytesProcessed(int64_t(state.iterations() * kDataSize));
}

template <uint64_t (*Pass)(FileRun&, Buffers&), bool FromStored>
void BM_FilePass(benchmark::State& state) {
  Buffers b;
  for (auto _ : state) {
    state.PauseTiming();
    FileRun run;
    state.ResumeTiming();
    benchmark::DoNotOptimize(Pass(run, b));
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kDataSize));
}

BENCHMARK(BM_CodecDeflate)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ZlibDeflate)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ParallelDeflate)
    ->Arg(128 << 10)
    ->Arg(256 << 10)
    ->Arg(512 << 10)
    ->Arg(1 << 20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_CodecInflate)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FilePass<codecStore, false>)
    ->Name("BM_Store")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_FilePass<codecRestore, true>)
    ->Name("BM_Restore")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_FilePass<copyLoop<false>, false>)
    ->Name("BM_CopyLoop")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

// --- the headline figures ---

double seconds(const std::function<void()>& body) {
  auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Best time of each contender over `rounds` rounds; the order rotates from
// round to round so that none always runs first.
std::vector<double> bestOf(int rounds, const std::vector<std::function<double()>>& contenders) {
  std::vector<double> best(contenders.size(), 1e30);
  for (int round = 0; round < rounds; ++round) {
    for (size_t k = 0; k < contenders.size(); ++k) {
      size_t which = (k + size_t(round)) % contenders.size();
      best[which] = std::min(best[which], contenders[which]());
    }
  }
  return best;
}

std::function<double()> timed(const std::function<uint64_t()>& body) {
  return [body] { return seconds([&] { benchmark::DoNotOptimize(body()); }); };
}

std::function<double()> timedFilePass(uint64_t (*pass)(FileRun&, Buffers&), Buffers& b) {
  return [pass, &b] {
    FileRun run;
    return seconds([&] { benchmark::DoNotOptimize(pass(run, b)); });
  };
}

void printHeadlines() {
  Buffers b;
  RVDataHandle source(benchData());
  RVDataHandle archive(compressed().bytes);
  const std::vector<uint8_t>& raw = compressed().bytes;

  // 64 MiB goes through the codec's blocks, on every core; the bare loop is
  // the single stream.
  std::vector<double> deflating = bestOf(3, {timed([&] { return codecDeflate(source, b); }),
                                             timed([&] { return zlibDeflate(benchData(), b); })});
  const double sizeOverhead =
      double(codecDeflate(source, b)) / double(zlibDeflate(benchData(), b)) - 1;
  // Below the threshold: the codec's one stream against the bare loop's.
  std::vector<double> streaming = bestOf(3, {timed([&] { return codecDeflatePieces(b); }),
                                             timed([&] { return zlibDeflatePieces(b); })});
  std::vector<double> inflating = bestOf(25, {timed([&] { return codecInflate(archive, b); }),
                                              timed([&] { return zlibInflate<false>(raw, b); }),
                                              timed([&] { return zlibInflate<true>(raw, b); })});
  std::vector<double> storing =
      bestOf(41, {timedFilePass(codecStore, b), timedFilePass(copyLoop<false>, b),
                  timedFilePass(copyLoop<true>, b)});
  std::vector<double> restoring =
      bestOf(41, {timedFilePass(codecRestore, b), timedFilePass(copyLoop<false>, b),
                  timedFilePass(copyLoop<true>, b)});
  // The CRC-32 alone, over buffers as the passes see them (just filled).
  std::vector<double> crcing =
      bestOf(9, {timed([&] {
                   uint32_t crc = RVCRC32Init();
                   for (size_t at = 0; at < kDataSize; at += kBuffer) {
                     std::memcpy(b.input.data(), benchData().data() + at, kBuffer);
                     crc = RVCRC32Update(crc, b.input.data(), int64_t(kBuffer));
                   }
                   return uint64_t(crc);
                 }),
                 timed([&] {
                   for (size_t at = 0; at < kDataSize; at += kBuffer) {
                     std::memcpy(b.input.data(), benchData().data() + at, kBuffer);
                     benchmark::ClobberMemory();
                   }
                   return uint64_t(b.input[0]);
                 })});

  const double megabytes = double(kDataSize) / 1e6;
  std::printf("deflate_vs_zlib=%.3f\n", streaming[1] / streaming[0]);
  std::printf("parallel_deflate_speedup=%.2f\n", deflating[1] / deflating[0]);
  std::printf("parallel_size_overhead=%.4f\n", sizeOverhead);
  std::printf("parallel_threads=%u\n", CVNDeflateWorkerPool::shared().threadCount());
  std::printf("parallel_block_size=%zu\n", CVNDeflateWorkerPool::shared().blockSize());
  std::printf("inflate_vs_zlib=%.3f\n", inflating[1] / inflating[0]);
  std::printf("store_MBps=%.0f\n", megabytes / storing[0]);
  std::printf("restore_MBps=%.0f\n", megabytes / restoring[0]);
  std::printf("store_vs_copy=%.3f\n", storing[1] / storing[0]);
  std::printf("restore_vs_copy=%.3f\n", restoring[1] / restoring[0]);
  // Against loops that also compute the CRC-32: the codec's cost beyond it.
  std::printf("inflate_vs_zlib_with_crc=%.3f\n", inflating[2] / inflating[0]);
  std::printf("store_vs_copy_with_crc=%.3f\n", storing[2] / storing[0]);
  std::printf("restore_vs_copy_with_crc=%.3f\n", restoring[2] / restoring[0]);
  std::printf("crc_GBps=%.1f\n", double(kDataSize) / 1e9 / std::max(1e-9, crcing[0] - crcing[1]));
  std::printf("copy_MBps=%.0f\n", megabytes / std::min(storing[1], restoring[1]));
  std::printf("deflate_MBps=%.1f\n", megabytes / deflating[0]);
  std::printf("inflate_MBps=%.0f\n", megabytes / inflating[0]);
  std::printf("compression_ratio=%.3f\n", double(raw.size()) / double(kDataSize));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printHeadlines();
  return 0;
}
