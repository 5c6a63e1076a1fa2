#include "support/PeerArchivers.h"

#include <ostream>
#include <sstream>

namespace corvana_test {

namespace {

PeerRun run(const std::string& command) {
  PeerRun result;
  // Grouped, so that the redirection feeds the whole pipeline, not its last stage.
  result.status = runCommand("{ " + command + "\n} </dev/null", &result.output);
  return result;
}

std::string passwordBytes(const std::vector<uint8_t>& password) {
  return std::string(password.begin(), password.end());
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const PeerRun& run) {
  return out << "exit " << run.status << ":\n" << run.output;
}

PeerRun unzipTest(const std::string& archive, const OptionalBytes& password) {
  std::string command = "unzip -tq";
  if (password) command += " -P " + shellQuote(passwordBytes(*password));
  return run(command + " " + shellQuote(archive));
}

PeerRun sevenZipTest(const std::string& archive, const std::optional<std::string>& password) {
  // Without -p, 7-Zip would ask on the terminal; an empty -p answers for it.
  std::string command = "7z t -y -p" + shellQuote(password.value_or(""));
  return run(command + " " + shellQuote(archive));
}

PeerRun bsdtarList(const std::string& archive, size_t* count) {
  PeerRun result = run("bsdtar -tf " + shellQuote(archive));
  if (count) {
    *count = 0;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) ++*count;
  }
  return result;
}

PeerRun bsdtarRead(const std::string& archive, const OptionalBytes& password) {
  std::string command = "bsdtar -xOf " + shellQuote(archive);
  if (password) command += " --passphrase " + shellQuote(passwordBytes(*password));
  return run(command + " >/dev/null");
}

PeerRun runIn(const std::string& folder, const std::string& command) {
  return run("cd " + shellQuote(folder) + " && " + command);
}

PeerRun runPython(const std::string& program, const std::vector<std::string>& arguments) {
  std::string command = "python3 -X utf8 -c " + shellQuote(program);
  for (const std::string& argument : arguments) command += " " + shellQuote(argument);
  return run(command);
}

std::string hexString(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

std::string hexString(const std::string& bytes) {
  return hexString(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

}  // namespace corvana_test
