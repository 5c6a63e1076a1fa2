// Helpers shared by the tests: a scratch folder removed afterwards, whole-file
// reads and writes, and running the peer archivers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvana_test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
void writeFile(const std::string& path, const std::string& text);
bool exists(const std::string& path);
std::vector<uint8_t> bytes(const std::string& text);
// Names in a folder, sorted; "." and ".." left out.
std::vector<std::string> listFolder(const std::string& path);

// Whether `program` is on PATH.
bool haveProgram(const std::string& program);
// Runs a shell command; returns its exit status and puts its output (stdout
// and stderr together) into `output` when asked.
int runCommand(const std::string& command, std::string* output = nullptr);
// Quotes a string for the shell.
std::string shellQuote(const std::string& text);

// What `f` raises: the RVException's name, then " " and its reason when it has
// one; "" when it raises nothing.
std::string raised(const std::function<void()>& f);
// The same without the reason.
std::string raisedName(const std::function<void()>& f);

// Whether the process can be denied access by file modes (root cannot).
bool fileModesApply();

}  // namespace corvana_test
