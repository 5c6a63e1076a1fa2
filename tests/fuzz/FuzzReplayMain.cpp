// Replays seed files through a fuzz target without libFuzzer, so that an
// ordinary build checks every seed: each file named, or found in a folder
// named, goes once to LLVMFuzzerTestOneInput. A target reports a finding by
// crashing or aborting; this driver fails only when it finds no seed at all.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> readSeed(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  if (!in.eof() && in.fail()) {
    std::fprintf(stderr, "fuzz replay: cannot read %s\n", path.c_str());
    std::exit(1);
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> seeds;
  for (int i = 1; i < argc; ++i) {
    fs::path path = argv[i];
    if (fs::is_directory(path)) {
      for (const auto& item : fs::directory_iterator(path))
        if (item.is_regular_file()) seeds.push_back(item.path());
    } else {
      seeds.push_back(path);
    }
  }
  std::sort(seeds.begin(), seeds.end());
  if (seeds.empty()) {
    std::fprintf(stderr, "fuzz replay: no seeds given\n");
    return 1;
  }
  for (const fs::path& seed : seeds) {
    std::vector<uint8_t> bytes = readSeed(seed);
    // Named before the run, so that a crash shows which seed caused it.
    std::printf("replaying %s (%zu bytes)\n", seed.c_str(), bytes.size());
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("replayed %zu seeds\n", seeds.size());
  return 0;
}
