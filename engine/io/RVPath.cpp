#include "engine/io/RVPath.h"

namespace {

std::string_view trimTrailingSeparators(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

// Position of the "." that starts the extension of the last component, or npos.
size_t extensionDot(std::string_view path) {
  path = trimTrailingSeparators(path);
  size_t slash = path.rfind('/');
  size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot <= start || dot + 1 == path.size())
    return std::string_view::npos;
  return dot;
}

}  // namespace

std::vector<std::string> RVPathComponents(std::string_view path) {
  std::vector<std::string> components;
  if (path.empty()) return components;
  if (path.front() == '/') components.emplace_back("/");
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string_view::npos) j = path.size();
    if (j > i) components.emplace_back(path.substr(i, j - i));
    i = j + 1;
  }
  return components;
}

std::string RVPathWithComponents(const std::vector<std::string>& components) {
  std::string path;
  for (const std::string& c : components) {
    if (c.empty()) continue;
    if (c == "/") {
      if (path.empty()) path = "/";
      continue;
    }
    if (!path.empty() && path.back() != '/') path += '/';
    path += c;
  }
  return path;
}

std::string RVPathLastComponent(std::string_view path) {
  path = trimTrailingSeparators(path);
  if (path == "/") return "/";
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string RVPathDeletingLastComponent(std::string_view path) {
  path = trimTrailingSeparators(path);
  if (path == "/") return "/";
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return "";
  std::string_view parent = path.substr(0, slash);
  while (parent.size() > 1 && parent.back() == '/') parent.remove_suffix(1);
  if (parent.empty()) return "/";
  return std::string(parent);
}

std::string RVPathByAppendingComponent(std::string_view path, std::string_view component) {
  while (!component.empty() && component.front() == '/') component.remove_prefix(1);
  std::string result(trimTrailingSeparators(path));
  if (component.empty()) return result;
  if (!result.empty() && result.back() != '/') result += '/';
  result += component;
  return result;
}

std::string RVPathExtension(std::string_view path) {
  size_t dot = extensionDot(path);
  if (dot == std::string_view::npos) return "";
  return std::string(trimTrailingSeparators(path).substr(dot + 1));
}

std::string RVPathDeletingExtension(std::string_view path) {
  size_t dot = extensionDot(path);
  std::string_view trimmed = trimTrailingSeparators(path);
  if (dot == std::string_view::npos) return std::string(trimmed);
  return std::string(trimmed.substr(0, dot));
}

std::string RVPathByReplacingExtension(std::string_view path, std::string_view extension) {
  std::string base = RVPathDeletingExtension(path);
  if (extension.empty()) return base;
  return base + "." + std::string(extension);
}
