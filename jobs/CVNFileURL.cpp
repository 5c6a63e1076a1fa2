#include "jobs/CVNFileURL.h"

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
  const QByteArray path = QByteArray::fromPercentEncoding(rest);
  if (!path.startsWith('/') || path.contains('\0')) return std::nullopt;
  return path.toStdString();
}
