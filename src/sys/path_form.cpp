#include "sys/path_form.h"

#include <cctype>
#include <vector>

namespace sys {

namespace {

bool SameLetters(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return i == a.size() && b[i] == '\0';
}

std::vector<std::string> Parts(const std::string& path, size_t from) {
  std::vector<std::string> parts;
  size_t start = from;
  for (;;) {
    const size_t slash = path.find('\\', start);
    parts.push_back(path.substr(start, slash == std::string::npos ? slash : slash - start));
    if (slash == std::string::npos) return parts;
    start = slash + 1;
  }
}

}  // namespace

bool IsDeviceName(const std::string& name) {
  // What precedes the first dot, trailing spaces ignored, as the system
  // compares it.
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
    if (SameLetters(base, device)) return true;
  }
  if (base.size() != 4 || base[3] < '1' || base[3] > '9') return false;
  const std::string family = base.substr(0, 3);
  return SameLetters(family, "com") || SameLetters(family, "lpt");
}

bool NameChangedByParsing(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.back() == '.' || name.back() == ' ' || IsDeviceName(name);
}

std::string VerbatimPath(const std::string& path) {
  if (path.find('/') != std::string::npos) return std::string();
  size_t first = 0;  // where the folders and names begin
  std::string prefix;
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
      std::isalpha(static_cast<unsigned char>(path[0]))) {
    first = 3;
    prefix = "\\\\?\\" + path.substr(0, 3);
  } else if (path.compare(0, 2, "\\\\") == 0 && path.size() > 2 && path[2] != '?' &&
             path[2] != '.') {
    first = path.find('\\', 2);  // after the server: the share and on
    if (first == std::string::npos) return std::string();
    ++first;
    prefix = "\\\\?\\UNC\\" + path.substr(2, first - 2);
  } else {
    return std::string();
  }
  const std::vector<std::string> parts = Parts(path, first);
  bool changed = false;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part == "." || part == "..") return std::string();
    if (part.empty() && i + 1 < parts.size()) return std::string();
    const bool pattern = i + 1 == parts.size() && part.find_first_of("*?") != std::string::npos;
    if (!pattern && NameChangedByParsing(part)) changed = true;
  }
  return changed ? prefix + path.substr(first) : std::string();
}

}  // namespace sys
