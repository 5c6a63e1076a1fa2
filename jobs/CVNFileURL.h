// File URIs made from a path's file-system bytes and read back into them, so
// that a name that is not UTF-8 keeps its bytes on the way through a URI.
#pragma once

#include <QByteArray>
#include <QUrl>
#include <optional>
#include <string>

// "file://" and the absolute `path` with every byte but unreserved ones and "/"
// percent-encoded: "/tmp/caf\xE9.zip" gives "file:///tmp/caf%E9.zip".
QUrl CVNFileURLFromPath(const std::string& path);

// The path of a local file URI in its encoded form ("file:///p", "file:/p",
// "file://localhost/p"), percent-decoded into bytes; none for any other URI, a
// relative path, a broken escape, or an escaped "/" or NUL (no name holds
// either). A query or fragment is ignored.
std::optional<std::string> CVNPathFromFileURL(const QByteArray& uri);
