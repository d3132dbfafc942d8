#pragma once
// Text and path helpers that every floor shares. Keywords are compared the
// way the script engine compares them: ASCII letters without regard to
// case, every other byte exactly (so a code-page letter never matches its
// other case by accident). Paths are joined and split at "\\" only.

#include <cstdint>
#include <string>

bool EqualsNoCase(const std::string& a, const std::string& b);
std::string UpperAscii(std::string text);
std::string LowerAscii(std::string text);

// Text before the last "\\"; "" without one.
std::string FolderOf(const std::string& path);
// Text after the last "\\"; the whole path without one.
std::string NameOf(const std::string& path);
// folder + "\\" + name; `name` alone when the folder is empty.
std::string JoinPath(const std::string& folder, const std::string& name);
// The name without its extension (up to its last ".").
std::string FileTitle(const std::string& name);

// `path` relative to `root` without the separating "\\"; `path` itself when
// it does not lie below `root`.
std::string RelativeToFolder(const std::string& path, const std::string& root);

// `text` with its first "%s" replaced by `value`; any other "%" stays as
// written. Localised texts are outside input and never a format.
std::string FillPlaceholder(const std::string& text, const std::string& value);

// A decimal number as the C runtime reads one: leading blanks, an optional
// sign, digits up to the first other character; 0 without digits.
// Saturates at the 32-bit bounds instead of wrapping.
int32_t DecimalNumber(const std::string& text);

// A CRC-32 as the manifest and the signatures write it: "%08X".
std::string CrcText(uint32_t crc);

// One CSV field: as it is, or between double quotes (inner ones doubled, as
// RFC 4180 does) when it holds a comma, a double quote, CR or LF.
std::string CsvField(const std::string& text);
