#include "jobs/CVNFileURL.h"

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of an encoded path; none for a broken escape, and for an escaped
// "/" or NUL, which no name in a path can hold.
std::optional<std::string> decodedPath(const QByteArray& encoded) {
  std::string path;
  path.reserve(static_cast<size_t>(encoded.size()));
  for (qsizetype i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '%') {
      path += encoded[i];
      continue;
    }
    const int high = i + 2 < encoded.size() ? hexValue(encoded[i + 1]) : -1;
    const int low = high >= 0 ? hexValue(encoded[i + 2]) : -1;
    if (low < 0) return std::nullopt;
    const char byte = static_cast<char>(high * 16 + low);
    if (byte == '/' || byte == '\0') return std::nullopt;
    path += byte;
    i += 2;
  }
  return path;
}

}  // namespace

QUrl CVNFileURLFromPath(const std::string& path) {
  return QUrl::fromEncoded(QByteArray("file://") +
                           QByteArray::fromStdString(path).toPercentEncoding("/"));
}

std::optional<std::string> CVNPathFromFileURL(const QByteArray& uri) {
  const QByteArray scheme("file:");
  QByteArray rest = uri.trimmed();
  if (rest.left(scheme.size()).toLower() != scheme) return std::nullopt;
  rest.remove(0, scheme.size());
  if (rest.startsWith("//")) {
    const qsizetype slash = rest.indexOf('/', 2);
    const QByteArray host = rest.mid(2, slash < 0 ? -1 : slash - 2);
    if (!host.isEmpty() && host.toLower() != "localhost") return std::nullopt;
    rest = slash < 0 ? QByteArray() : rest.mid(slash);
  }
  // The path ends where a query or a fragment begins.
  for (const char delimiter : {'?', '#'}) {
    const qsizetype at = rest.indexOf(delimiter);
    if (at >= 0) rest.truncate(at);
  }
  // Absolute as written: "file:%2Ftmp" is no path.
  if (!rest.startsWith('/')) return std::nullopt;
  return decodedPath(rest);
}
