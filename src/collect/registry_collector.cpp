#include "collect/registry_collector.h"

#include <cstdio>

namespace {

void AppendHexBytes(const uint8_t* data, size_t length, std::string* text) {
  static const char kDigits[] = "0123456789ABCDEF";
  text->reserve(text->size() + length * 3);
  for (size_t i = 0; i < length; ++i) {
    if (i > 0) text->push_back(',');
    text->push_back(kDigits[data[i] >> 4]);
    text->push_back(kDigits[data[i] & 0x0F]);
  }
}

// Registry value types the text syntax tells apart.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

}  // namespace

bool SplitKeyPath(const std::string& path, std::string* root, std::string* subkey) {
  const size_t slash = path.find('\\');
  if (slash == std::string::npos) return false;
  *root = path.substr(0, slash);
  *subkey = path.substr(slash + 1);
  return true;
}

bool IsKeyPathSpecification(const std::string& specification) {
  return specification.compare(0, 5, "HKEY_") == 0;
}

NumberedOutput SplitNumberedOutput(const std::string& outputPath) {
  const size_t dot = outputPath.rfind('.');
  if (dot == std::string::npos) return {outputPath, std::string()};
  return {outputPath.substr(0, dot), outputPath.substr(dot)};
}

std::string NumberedPattern(const NumberedOutput& output) {
  return output.base + "(%d)" + output.extension;
}

std::string NumberedFileName(const NumberedOutput& output, int number) {
  return output.base + "(" + std::to_string(number) + ")" + output.extension;
}

std::string QuoteArgument(const std::string& argument) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

std::string EditorCommandLine(const std::string& fileName, const std::string& keyPath) {
  return "regedit /e " + QuoteArgument(fileName) + " " + QuoteArgument(keyPath);
}

std::string RegistryValueText(uint32_t type, const uint8_t* data, size_t length) {
  if (data == nullptr) length = 0;
  if (type == kRegSz) {
    size_t end = 0;
    while (end < length && data[end] != 0) ++end;
    if (length == 0) return "\"\"";
    return "\"" + std::string(reinterpret_cast<const char*>(data), end) + "\"";
  }
  if (type == kRegDword) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4 && i < length; ++i) value |= static_cast<uint32_t>(data[i]) << (8 * i);
    char text[16];
    std::snprintf(text, sizeof text, "dword:%.8X", static_cast<unsigned>(value));
    return text;
  }
  std::string text = type == kRegBinary ? "hex:" : "hex(" + std::to_string(type) + "):";
  AppendHexBytes(data, length, &text);
  return text;
}

std::string RegistryValueLine(const std::string& name, const std::string& valueText) {
  return "\"" + name + "\"=" + valueText;
}

std::string RegistryKeyLine(const std::string& keyPath) { return "[" + keyPath + "]"; }

RegistryCollector::RegistryCollector(std::string& outputPath, const RunContext& context,
                                     const std::string& keySpecification)
    : context_(context),
      outputPath_(outputPath),
      keySpecification_(keySpecification),
      data_(16384, 0),
      name_(260, '\0') {}
