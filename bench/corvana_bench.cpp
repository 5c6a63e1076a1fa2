// corvana-bench: a headless driver of the Zip writer and reader with a fixed
// command line, for benchmarks and scripts. It walks the items with the
// archiving job's walk, prints one line per entry and a summary line.
//
//   corvana-bench archive [--level -1|0|1|9] [--codepage 1252|932|949|936|950]
//                         [--escaping 1|5|9] [--password TEXT] ARCHIVE ITEM...
//   corvana-bench extract [--password TEXT] ARCHIVE DIR
//
// Entry lines: "<CVNZipResult> <entry name in UTF-8, or (undecodable)>". Last
// line: "entries=N bytes=N seconds=S MBps=X rss_kib=K". Exit status: 0 when
// every entry gave 0, 1 when some entry did not or the run failed, 2 for a
// usage error or an archive without a central directory.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unicode/ustring.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/CVNEngineJob.h"
#include "engine/CVNFileSystemNames.h"
#include "engine/CVNPathComponentEncoder.h"
#include "engine/CVNStringEncoding.h"
#include "engine/CVNWindowsCodepage.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileReader.h"
#include "engine/CVNZipFileWriter.h"
#include "engine/CVNZipPasswordEncoder.h"
#include "engine/io/RVDOSTime.h"
#include "engine/io/RVException.h"
#include "engine/io/RVFileSystem.h"
#include "engine/io/RVPath.h"
#include "jobs/CVNArchiveWalk.h"
#ifdef CORVANA_BENCH_JOBS
#include "CVNJobDriver.h"
#endif

namespace {

constexpr int kExitSucceeded = 0;
constexpr int kExitEntryFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: corvana-bench archive [--level -1|0|1|9] [--codepage 1252|932|949|936|950]\n"
    "                             [--escaping 1|5|9] [--password TEXT] ARCHIVE ITEM...\n"
    "       corvana-bench extract [--password TEXT] ARCHIVE DIR\n"
    "Defaults: level -1, the code page of the user's languages, escaping 9.\n";

struct UsageError {
  std::string message;
};

// Never cancelled; counts the bytes the codec reports.
class ByteCountingJob : public CVNEngineJob {
 public:
  bool isCancelled() const override { return false; }
  void increaseCurrentValue(uint64_t byteCount) override { bytes += byteCount; }
  uint64_t bytes = 0;
};

struct Summary {
  uint64_t entries = 0;
  bool allSucceeded = true;
};

void printEntry(Summary& summary, int result, const std::string& name) {
  std::fprintf(stdout, "%d %s\n", result, name.c_str());
  ++summary.entries;
  if (result != CVNZipResultSucceeded) summary.allSucceeded = false;
}

void printSummary(const Summary& summary, uint64_t bytes, double seconds) {
  struct rusage usage;
  ::getrusage(RUSAGE_SELF, &usage);
  double mbps = seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0;
  std::fprintf(stdout, "entries=%llu bytes=%llu seconds=%.3f MBps=%.1f rss_kib=%ld\n",
               static_cast<unsigned long long>(summary.entries),
               static_cast<unsigned long long>(bytes), seconds, mbps, usage.ru_maxrss);
}

// File-system names are bytes; one that is not valid UTF-8 is decoded with
// U+FFFD in place of the bad bytes (and said so), so that its entry is still
// written: the encoder then escapes the U+FFFD like any unrepresentable unit.
std::u16string textOfFileSystemName(const std::string& bytes) {
  if (auto strict = CVNUTF16FromUTF8(bytes)) return *strict;
  std::fprintf(stderr, "corvana-bench: %s: not valid UTF-8; bad bytes read as U+FFFD\n",
               bytes.c_str());
  std::u16string text(bytes.size(), u'\0');
  int32_t length = 0;
  UErrorCode error = U_ZERO_ERROR;
  u_strFromUTF8WithSub(text.data(), static_cast<int32_t>(text.size()), &length, bytes.data(),
                       static_cast<int32_t>(bytes.size()), 0xFFFD, nullptr, &error);
  if (U_FAILURE(error)) return u"\uFFFD";
  text.resize(static_cast<size_t>(length));
  return text;
}

long parseNumber(const std::string& option, const std::string& value,
                 std::initializer_list<long> allowed) {
  char* end = nullptr;
  errno = 0;
  long number = std::strtol(value.c_str(), &end, 10);
  if (errno == 0 && end != value.c_str() && *end == '\0' &&
      std::find(allowed.begin(), allowed.end(), number) != allowed.end())
    return number;
  throw UsageError{"bad value for " + option + ": " + value};
}

struct Options {
  int level = -1;
  std::optional<int64_t> codepage;
  int escaping = 9;
  std::optional<std::string> password;
  std::vector<std::string> arguments;
};

Options parseOptions(int argc, char** argv, bool archiving) {
  Options options;
  int i = 2;
  for (; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--") {
      ++i;
      break;
    }
    if (!option.starts_with("--")) break;
    if (i + 1 >= argc) throw UsageError{option + " needs a value"};
    std::string value = argv[++i];
    if (option == "--password") {
      options.password = value;
    } else if (archiving && option == "--level") {
      options.level = static_cast<int>(parseNumber(option, value, {-1, 0, 1, 9}));
    } else if (archiving && option == "--codepage") {
      options.codepage = parseNumber(option, value, {1252, 932, 949, 936, 950});
    } else if (archiving && option == "--escaping") {
      options.escaping = static_cast<int>(parseNumber(option, value, {1, 5, 9}));
    } else {
      throw UsageError{"unknown option " + option};
    }
  }
  options.arguments.assign(argv + i, argv + argc);
  return options;
}

// The items go through the archiving job's own walk with the settings sheet's
// rules: Mac-only items and symbolic links left out, empty folders kept, a
// folder's entry after its contents, folders in the order the system lists them.
class ArchiveWalk {
 public:
  ArchiveWalk(CVNZipFileWriter& writer, const CVNPathComponentEncoder& encoder, int level,
              Summary& summary)
      : _writer(writer), _encoder(encoder), _level(level), _summary(summary) {}

  void walk(const std::string& path, const std::string& relativePath) {
    CVNArchiveWalkRules rules;
    rules.entrySpecificToMacBehavior = CVNEntrySpecificToMacBehaviorExcludes;
    rules.emptyFolderBehavior = CVNEmptyFolderBehaviorIncludesInArchive;
    rules.symbolicLinkBehavior = CVNSymbolicLinkBehaviorExcludes;
    // With these rules the only warning is an item that vanished.
    rules.warn = [this](const char*, const std::string& pathname) {
      printEntry(_summary, CVNZipResultSourceMissing, pathname);
    };
    CVNArchiveEnumerateWithPath(
        path, relativePath, rules,
        [this](const std::string& pathname, const struct stat& status, const std::string& item) {
          add(item, pathname, S_ISDIR(status.st_mode));
        });
  }

 private:
  void add(const std::string& path, const std::string& relativePath, bool isFolder) {
    std::u16string entry =
        pathUsingPathComponentEncoder(textOfFileSystemName(relativePath), _encoder);
    CVNZipResult result = _writer.writeFileName(entry, path, _level);
    printEntry(_summary, result, CVNUTF8FromUTF16(entry) + (isFolder ? "/" : ""));
  }

  CVNZipFileWriter& _writer;
  const CVNPathComponentEncoder& _encoder;
  int _level;
  Summary& _summary;
};

int archive(const Options& options) {
  if (options.arguments.size() < 2) throw UsageError{"archive needs ARCHIVE and ITEM..."};
  auto encoder = std::make_shared<CVNPathComponentEncoder>();
  encoder->setEncoding(CVNStringEncodingForWindowsCodepage(options.codepage.value_or(-1)));
  encoder->setTriesConvertingToFullwidth(options.escaping == 9);
  encoder->setCharacterEscapeFormat(options.escaping == 1 ? "_" : "(U+%04X)");
  std::optional<std::vector<uint8_t>> password;
  if (options.password) {
    auto text = CVNUTF16FromUTF8(*options.password);
    if (text) password = CVNEncodeString(*text, encoder->encoding());
    if (!password) throw UsageError{"the password cannot be written in this code page"};
  }

  auto start = std::chrono::steady_clock::now();
  ByteCountingJob job;
  Summary summary;
  CVNZipFileWriter writer(options.arguments[0]);
  try {
    writer.setOperation(&job);
    writer.setEncoder(encoder);
    writer.setPassword(password);
    ArchiveWalk walk(writer, *encoder, options.level, summary);
    for (size_t i = 1; i < options.arguments.size(); ++i) {
      const std::string& item = options.arguments[i];
      walk.walk(item, RVPathLastComponent(item));
    }
    writer.closeFile();
  } catch (...) {
    ::unlink(writer.path().c_str());
    throw;
  }
  std::fflush(stdout);
  std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  printSummary(summary, job.bytes, seconds.count());
  return summary.allSucceeded ? kExitSucceeded : kExitEntryFailed;
}

int extract(const Options& options) {
  if (options.arguments.size() != 2) throw UsageError{"extract needs ARCHIVE and DIR"};
  std::optional<std::u16string> password;
  if (options.password) {
    password = CVNUTF16FromUTF8(*options.password);
    if (!password) throw UsageError{"the password is not valid UTF-8"};
  }

  auto start = std::chrono::steady_clock::now();
  std::unique_ptr<CVNZipFileReader> reader;
  try {
    reader = CVNZipFileReader::withZipFileAtPath(options.arguments[0]);
  } catch (const RVException& e) {
    std::fprintf(stderr, "corvana-bench: %s: %s\n", options.arguments[0].c_str(), e.what());
    return kExitUsage;
  }
  if (!reader) {
    std::fprintf(stderr, "corvana-bench: %s: no central directory\n", options.arguments[0].c_str());
    return kExitUsage;
  }
  RVMakeDirectoryPath(options.arguments[1]);
  ByteCountingJob job;
  Summary summary;
  reader->setOperation(&job);
  reader->setDefaultFileName(u"名称不明ファイル");
  reader->setDirectoryPath(options.arguments[1]);
  while (auto header = reader->readCentralFileHeader()) {
    // The password that opened the last entry is tried first; the candidates
    // only when it fails.
    CVNZipResult result = reader->decompressFileDataRelativeToCentralFileHeader(*header);
    if (result == CVNZipResultPasswordRequired && password) {
      CVNZipPasswordEncoder candidates(header->versionMadeBy(), *password);
      while (result == CVNZipResultPasswordRequired) {
        auto bytes = candidates.nextEncoding();
        if (!bytes) break;
        reader->setPassword(std::move(bytes));
        result = reader->decompressFileDataRelativeToCentralFileHeader(*header);
      }
    }
    auto name = header->fileNameString();
    printEntry(summary, result, name ? CVNUTF8FromUTF16(*name) : "(undecodable)");
  }
  reader->closeFile();
  std::fflush(stdout);
  std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  printSummary(summary, job.bytes, seconds.count());
  return summary.allSucceeded ? kExitSucceeded : kExitEntryFailed;
}

}  // namespace

int main(int argc, char** argv) {
  RVPinLocalTimeZone();
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "archive") return archive(parseOptions(argc, argv, true));
    if (command == "extract") return extract(parseOptions(argc, argv, false));
#ifdef CORVANA_BENCH_JOBS
    if (command == "job-archive") return CVNJobArchiveMain(argc, argv);
    if (command == "job-extract") return CVNJobExtractMain(argc, argv);
#endif
    throw UsageError{command.empty() ? "no command" : "unknown command " + command};
  } catch (const UsageError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "corvana-bench: %s\n%s", e.message.c_str(), kUsage);
    return kExitUsage;
  } catch (const RVException& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "corvana-bench: %s\n", e.what());
    return kExitEntryFailed;
  }
}
