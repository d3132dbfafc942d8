#include "collect/file_version_collector.h"

#include <cstdio>

#include "run/text.h"

const char* const kVersionStringNames[kVersionStringCount] = {
    "FileVersion", "ProductVersion", "FileDescription", "ProductName",
    "Comments",    "PrivateBuild",   "SpecialBuild",
};

std::string AttributeLetters(uint32_t attributes) {
  if (attributes == 0xFFFFFFFFu) return std::string();
  static const struct {
    uint32_t bit;
    char letter;
  } kLetters[] = {
      {0x1, 'R'}, {0x2, 'H'}, {0x4, 'S'}, {0x20, 'A'}, {0x800, 'C'}, {0x4000, 'E'},
  };
  std::string letters;
  for (const auto& entry : kLetters) {
    if ((attributes & entry.bit) != 0) letters += entry.letter;
  }
  return letters;
}

std::string FormatListTime(const sys::LocalTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%02i/%02i/%04i %02i:%02i:%02i", t.day, t.month, t.year, t.hour,
                t.minute, t.second);
  return text;
}

std::string VersionStringPath(uint16_t language, uint16_t codePage, const std::string& name) {
  char prefix[40];
  std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\", language, codePage);
  return prefix + name;
}

bool FirstTranslation(const void* data, size_t size, uint16_t* language, uint16_t* codePage) {
  if (data == nullptr || size < 4) return false;
  // Little-endian words, read byte by byte: the value need not be aligned.
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  *language = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
  *codePage = static_cast<uint16_t>(bytes[2] | (bytes[3] << 8));
  return true;
}

std::string CommasToDots(std::string text) {
  for (char& c : text) {
    if (c == ',') c = '.';
  }
  return text;
}

std::string FormatFileVersionRow(const std::string& path, const FileFacts& facts,
                                 const std::string (&versions)[kVersionStringCount]) {
  std::string row = CsvField(path);
  if (facts.opened) {
    row += "," + std::to_string(facts.size);
    row += "," + FormatListTime(facts.created);
    row += "," + FormatListTime(facts.modified);
    row += "," + FormatListTime(facts.accessed);
    row += "," + AttributeLetters(facts.attributes);
  } else {
    row += ",N/A,N/A,N/A,N/A,N/A";
  }
  for (const std::string& version : versions) row += "," + CsvField(version);
  return row;
}
