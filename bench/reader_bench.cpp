// Extraction of many entries that share one name: every entry after the first
// takes a free name, so the cost per entry must not grow with the number of
// names already handed out. The headline extracts 65,535 stored entries all
// named "x.txt" (the most one archive holds without Zip64 counts).
//
//   build/bench/reader_bench    prints repeated_names_entries_per_s=N after the table
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileReader.h"
#include "engine/CVNZipFileWriter.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder removed with everything in it.
struct Scratch {
  std::string path;
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    path = std::string(tmp && *tmp ? tmp : "/tmp") + "/reader_bench.XXXXXX";
    if (!::mkdtemp(path.data())) std::abort();
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

// An archive of `count` stored one-byte entries, all named "x.txt".
std::string repeatedNameArchive(const Scratch& scratch, int count) {
  const std::string source = scratch.path + "/source.txt", archive = scratch.path + "/x.zip";
  std::FILE* file = std::fopen(source.c_str(), "w");
  std::fputc('x', file);
  std::fclose(file);
  CVNZipFileWriter writer(archive);
  for (int i = 0; i < count; ++i) writer.writeFileName(u"x.txt", source, 0);
  writer.closeFile();
  return archive;
}

// Extracts every entry into a new folder; the number of entries that succeeded.
int extractAll(const std::string& archive, const std::string& folder) {
  fs::create_directory(folder);
  auto reader = CVNZipFileReader::withZipFileAtPath(archive);
  reader->setDirectoryPath(folder);
  int succeeded = 0;
  while (auto header = reader->readCentralFileHeader())
    succeeded += reader->decompressFileDataRelativeToCentralFileHeader(*header) == 0;
  return succeeded;
}

void BM_ExtractRepeatedNames(benchmark::State& state) {
  Scratch scratch;
  const std::string archive = repeatedNameArchive(scratch, static_cast<int>(state.range(0)));
  int round = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(extractAll(archive, scratch.path + "/" + std::to_string(round++)));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ExtractRepeatedNames)->Arg(1000)->Arg(8000)->Unit(benchmark::kMillisecond);

double repeatedNamesEntriesPerSecond() {
  constexpr int kEntries = 65535;
  Scratch scratch;
  const std::string archive = repeatedNameArchive(scratch, kEntries);
  const auto start = std::chrono::steady_clock::now();
  const int succeeded = extractAll(archive, scratch.path + "/out");
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  if (succeeded != kEntries) std::fprintf(stderr, "only %d entries succeeded\n", succeeded);
  return kEntries / seconds.count();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("repeated_names_entries_per_s=%.0f\n", repeatedNamesEntriesPerSecond());
  return 0;
}
