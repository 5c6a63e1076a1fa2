#include "jobs/CVNStringFromFileSystemRepresentation.h"

QString CVNStringFromFileSystemRepresentation(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
