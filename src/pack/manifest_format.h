#pragma once
// FileList.csv as it is written and read back: the markers, the row, the
// file name. The run driver, the manifest and tovkit's inspector all take
// them from here.

#include <cstdint>
#include <string>

constexpr char kFileListName[] = "FileList.csv";
constexpr char kFileListStart[] = "<FILE_LIST_START>";
constexpr char kExternalFilesMarker[] = "<EXTERNAL_FILES>";
constexpr char kFileListEnd[] = "<FILE_LIST_END>";

// "%08X,relative,source": no quoting, no escaping.
std::string ManifestRow(uint32_t crc, const std::string& relativePath,
                        const std::string& sourcePath);
