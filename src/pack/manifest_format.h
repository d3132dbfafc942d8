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

// The files the packer found but could not put into the result (held open,
// unreadable, a name or path the system cannot open) go into one more
// member at the top of the result, written after the others and only when
// there are such files: a sound result stays as it always was, and one
// with gaps says so itself. The manifest, signed before packing, cannot.
// Its rows are "reason,relative path", the path as the manifest gives it.
// Named "Not Packed.csv", or "Not Packed (n).csv" from n = 2 on when a
// collected file already has the name.
std::string NotPackedName(int n);
bool IsNotPackedName(const std::string& memberName);
std::string NotPackedRow(const std::string& reason, const std::string& relativePath);
