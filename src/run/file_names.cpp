#include "run/file_names.h"

#include <cstdio>
#include <vector>

#include "run/text.h"

namespace {

constexpr size_t kLongestFileName = 255;

bool ForbiddenInName(char c) {
  return static_cast<unsigned char>(c) < 0x20 ||
         std::string("<>\"|?*\\/:").find(c) != std::string::npos;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Windows opens the device whatever follows the first dot (NUL.csv,
// CON.a.b), and also with spaces before it; the superscript digits of the
// Western code page count as digits there (COM¹).
bool IsDeviceName(const std::string& name) {
  std::string stem = UpperAscii(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (stem == device) return true;
  }
  if (stem.size() != 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0)) {
    return false;
  }
  const unsigned char digit = static_cast<unsigned char>(stem[3]);
  return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

}  // namespace

std::string FileNameProblem(const std::string& name) {
  if (name.empty()) return "it is empty";
  if (name.find_first_of("\\/:") != std::string::npos || name == "..") {
    return "it is a path, not a file name";
  }
  for (const char c : name) {
    if (ForbiddenInName(c)) return "it holds a character no file name may hold";
  }
  // Windows drops them when it makes the file, so the manifest would name
  // a file that is not there.
  if (name.back() == '.' || name.back() == ' ') return "it ends in a dot or a space";
  if (IsDeviceName(name)) return "it names a device";
  if (name.size() > kLongestFileName) return "it is longer than 255 characters";
  return "";
}

std::string SafeFileName(const std::string& name) {
  if (FileNameProblem(name).empty()) return name;
  std::string safe;
  for (const char c : name) safe += ForbiddenInName(c) ? '_' : c;
  if (safe.empty()) safe = "_";
  if (safe.back() == '.' || safe.back() == ' ') safe.back() = '_';
  if (IsDeviceName(safe)) safe.insert(0, "_");
  if (safe.size() > kLongestFileName) safe.resize(kLongestFileName);
  // Cutting may leave a dot or a space last again.
  if (safe.back() == '.' || safe.back() == ' ') safe.back() = '_';
  return safe;
}

std::string FreeFileName(const std::string& name,
                         const std::function<bool(const std::string&)>& taken) {
  const size_t dot = name.rfind('.');
  const std::string title = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
  std::string free;
  // Each taken name is a file that exists, so the count ends once past the
  // number of files in the folder.
  for (unsigned n = 2; free.empty() || taken(free); ++n) {
    char number[16];
    std::snprintf(number, sizeof number, " (%u)", n);
    free = title + number + extension;
  }
  return free;
}

std::string NormalisePath(const std::string& path) {
  size_t at = 0;
  std::string root;
  bool absolute = false;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // "\\\\server\\share\\": both names belong to the root.
    absolute = true;
    root = "\\\\";
    at = 2;
    for (int part = 0; part < 2; ++part) {
      while (at < path.size() && IsSeparator(path[at])) ++at;
      while (at < path.size() && !IsSeparator(path[at])) root += path[at++];
      root += '\\';
    }
  } else {
    if (path.size() >= 2 && path[1] == ':') {
      root = path.substr(0, 2);
      at = 2;
    }
    if (at < path.size() && IsSeparator(path[at])) {
      absolute = true;
      root += '\\';
    }
  }
  std::vector<std::string> parts;
  std::string result = root;
  while (at < path.size()) {
    if (IsSeparator(path[at])) {
      ++at;
      continue;
    }
    const size_t start = at;
    while (at < path.size() && !IsSeparator(path[at])) ++at;
    const std::string part = path.substr(start, at - start);
    std::string read = part;
    while (!read.empty() && read.back() == ' ') read.pop_back();
    if (read == ".") continue;
    if (read == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (!absolute) {
        parts.push_back("..");
      }
      continue;
    }
    parts.push_back(part);
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result += '\\';
    result += parts[i];
  }
  if (!parts.empty() && IsSeparator(path.back())) result += '\\';
  return result;
}
