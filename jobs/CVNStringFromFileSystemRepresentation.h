// File-system names and paths, which stay bytes end to end, as text to show.
#pragma once

#include <QString>
#include <string_view>

// The bytes read as UTF-8; bytes that are not UTF-8 show as U+FFFD.
QString CVNStringFromFileSystemRepresentation(std::string_view bytes);
