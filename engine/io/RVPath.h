// Path arithmetic on file-system byte strings, "/" separated, in the manner of
// the usual path helpers: repeated separators count as one, a trailing one is
// dropped except for the root.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// "/a//b/" gives "/", "a", "b"; "a/b" gives "a", "b"; "" gives nothing.
std::vector<std::string> RVPathComponents(std::string_view path);
// Joins components; a leading "/" component makes the result absolute.
std::string RVPathWithComponents(const std::vector<std::string>& components);
std::string RVPathLastComponent(std::string_view path);
std::string RVPathDeletingLastComponent(std::string_view path);
std::string RVPathByAppendingComponent(std::string_view path, std::string_view component);
// The text after the last "." of the last component; a leading "." alone
// (".profile") starts no extension.
std::string RVPathExtension(std::string_view path);
std::string RVPathDeletingExtension(std::string_view path);
// Replaces (or adds) the extension of the last component.
std::string RVPathByReplacingExtension(std::string_view path, std::string_view extension);
