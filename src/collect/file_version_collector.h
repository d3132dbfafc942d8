#pragma once
// The FILE_VERSIONS collector: the file search of FileCollector in ListMode,
// writing for every matching file one CSV row with its size, times,
// attributes and the standard strings of its version resource.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "collect/file_collector.h"
#include "sys/file_system.h"

// The version strings of a row, in column order.
constexpr size_t kVersionStringCount = 7;
extern const char* const kVersionStringNames[kVersionStringCount];

// What the file system told about one file.
struct FileFacts {
  // False when the file could not be opened for attribute queries or its
  // size could not be read: the five file columns then read "N/A".
  bool opened = false;
  uint64_t size = 0;
  // Local calendar times; all zero when a time could not be converted.
  sys::LocalTime created{};
  sys::LocalTime modified{};
  sys::LocalTime accessed{};
  uint32_t attributes = 0;  // FILE_ATTRIBUTE_* bits as read by path
};

// "RHSACE" order: read-only, hidden, system, archive, compressed, encrypted;
// other bits are not shown. 0xFFFFFFFF (unreadable) shows nothing.
std::string AttributeLetters(uint32_t attributes);

// "%02i/%02i/%04i %02i:%02i:%02i", day first.
std::string FormatListTime(const sys::LocalTime& time);

// "\\StringFileInfo\\040904B0\\FileVersion": the lookup for one string of
// the given translation (upper-case hex).
std::string VersionStringPath(uint16_t language, uint16_t codePage, const std::string& name);

// The first entry of a "\\VarFileInfo\\Translation" value; false when it
// holds fewer than 4 bytes.
bool FirstTranslation(const void* data, size_t size, uint16_t* language, uint16_t* codePage);

// Every "," replaced by ".", so version strings never add columns.
std::string CommasToDots(std::string text);

// The thirteen fields joined by ","; a field holding a comma, a double quote,
// CR or LF is quoted (CsvField), any other is written as it is.
std::string FormatFileVersionRow(const std::string& path, const FileFacts& facts,
                                 const std::string (&versions)[kVersionStringCount]);

class FileVersionCollector : public FileCollector {
 public:
  // The CSV file, the run's context, the file specification and the
  // result folder (never searched).
  FileVersionCollector(std::string outputPath, const RunContext& context, std::string specification,
                       std::string workingRoot)
      : FileCollector(std::move(outputPath), context, std::move(specification),
                      std::move(workingRoot)) {}

 protected:
  // Counts the file, then appends its row to the CSV file. Writes nothing to
  // the activity log.
  void ListCurrentFile() override;
};

// One version string of a file ("FileVersion", ...) through the file's first
// translation, commas turned into dots; empty when the file has no version
// resource, no translation or no such string.
std::string QueryVersionString(const std::string& path, const std::string& name);

// The file's size, times and attributes.
FileFacts ReadFileFacts(const std::string& path);

// The dispatcher's FILE_VERSIONS entry: lists the files that request.value
// names into request.outputPath (script folder\name.csv).
void FileVersionsAction(ActionRequest& request);
