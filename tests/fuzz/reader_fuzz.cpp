// fuzz-seconds: 60
// Opens arbitrary bytes as an archive and extracts every entry into a scratch
// folder. Besides the sanitizers' findings, it fails when anything appears
// outside the output folder: the output folder lies eight levels deep in a
// private scratch tree whose every level must hold exactly what was made
// there, so an escape by ten levels or fewer is seen. Only RVException may
// come out of the engine.
//
// The seeds in corpus/reader_fuzz/ are small archives made by the writer,
// zip, 7z, bsdtar and Python's zipfile, a split archive's last part, and hostile
// ones made by hand: entries sharing bytes, a flood of one name, names longer
// than a file system takes, a local header past the end, backslashes and a
// path through a file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileReader.h"
#include "engine/io/RVException.h"

namespace {

namespace fs = std::filesystem;

constexpr int kLevels = 8;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "reader_fuzz: %s\n", what.c_str());
  std::abort();
}

std::vector<std::string> listing(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(path, error))
    names.push_back(item.path().filename().string());
  if (error) fail("cannot list " + path + ": " + error.message());
  std::sort(names.begin(), names.end());
  return names;
}

struct Scratch {
  std::string outer;    // holds "scratch" only
  std::string scratch;  // holds "archive.zip" and the first level
  std::string archive;
  std::vector<std::string> levels;  // levels[i] holds only levels[i + 1] (or "out")
  std::string out;

  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/reader_fuzz.XXXXXX";
    if (!::mkdtemp(templ.data())) fail("mkdtemp");
    outer = templ;
    scratch = outer + "/scratch";
    archive = scratch + "/archive.zip";
    std::string level = scratch;
    for (int i = 0; i < kLevels; ++i) {
      level += "/" + std::to_string(i);
      levels.push_back(level);
    }
    out = level + "/out";
    fs::create_directories(out);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(outer, ignored);
  }

  void writeArchive(const uint8_t* data, size_t size) const {
    int fd = ::open(archive.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) fail("cannot write the archive");
    size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(fd, data + done, size - done);
      if (n <= 0) fail("cannot write the archive");
      done += static_cast<size_t>(n);
    }
    ::close(fd);
  }

  // Everything made lies below `out`, and is a plain folder or file.
  void check() const {
    if (listing(outer) != std::vector<std::string>{"scratch"}) fail("escaped into " + outer);
    if (listing(scratch) != std::vector<std::string>{"0", "archive.zip"})
      fail("escaped into " + scratch);
    for (int i = 0; i < kLevels; ++i) {
      std::string next = i + 1 < kLevels ? std::to_string(i + 1) : "out";
      if (listing(levels[i]) != std::vector<std::string>{next}) fail("escaped into " + levels[i]);
    }
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(out, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      fs::file_status status = it->symlink_status();
      if (!fs::is_directory(status) && !fs::is_regular_file(status))
        fail("made something other than a file or folder: " + it->path().string());
    }
    if (error) fail("cannot walk the output: " + error.message());
  }

  void clear() const {
    std::error_code error;
    for (const auto& item : fs::directory_iterator(out, error)) fs::remove_all(item.path(), error);
    if (error) fail("cannot clear the output: " + error.message());
  }
};

void extractAll(const Scratch& scratch) {
  auto reader = CVNZipFileReader::withZipFileAtPath(scratch.archive);
  if (!reader) return;
  reader->setDirectoryPath(scratch.out);
  reader->setDefaultFileName(u"untitled");
  // The job's first pass, then the extraction pass after rewinding.
  while (reader->readCentralFileHeader()) {
  }
  reader->rewind();
  while (auto header = reader->readCentralFileHeader()) {
    try {
      reader->setPassword(std::nullopt);
      if (reader->decompressFileDataRelativeToCentralFileHeader(*header) ==
          CVNZipResultPasswordRequired) {
        reader->setPassword(std::vector<uint8_t>{'p', 'w'});
        reader->decompressFileDataRelativeToCentralFileHeader(*header);
      }
    } catch (const RVException&) {
      // A failed entry; the next may still extract.
    }
  }
  reader->closeFile();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch scratch;
  scratch.writeArchive(data, size);
  try {
    extractAll(scratch);
  } catch (const RVException&) {
    // Damaged beyond reading: a named failure is the expected outcome.
  }
  scratch.check();
  scratch.clear();
  return 0;
}
