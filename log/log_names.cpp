#include "log/log_names.hpp"

namespace qb7 {

namespace {
// Where the extension of the last part of a path starts, or its end.
std::size_t ExtensionAt(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
      dot == (slash == std::string::npos ? 0 : slash + 1))
    return path.size();
  return dot;
}
}  // namespace

std::string TimesFileName(const std::string& log) {
  return log.substr(0, ExtensionAt(log)) + ".times";
}

std::string RawFileName(const std::string& log) { return log.substr(0, ExtensionAt(log)) + ".raw"; }

std::string_view BaseName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace qb7
