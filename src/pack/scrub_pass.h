#pragma once
// The privacy pass over a finished result folder, between the manifest's
// end marker and its signature: every collected file is written anew,
// scrubbed, under its scrubbed name; what is binary is left out (or kept
// as it is when the script says so) and named in the log and the map; the
// activity log is scrubbed last and every later line of it as it comes;
// the manifest's rows then name the new files with their new check values.
// The map of originals and pseudonyms goes beside the result, never into
// it: it is the customer's.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pack/scrubber.h"
#include "run/log_file.h"

struct PrivateName {
  NameKind kind;
  std::string display;  // as the run writes names: the code page, escapes
  std::vector<std::string> forms;
  std::string sameAs;
};

// The machine's own names: computer (NetBIOS and DNS), domain or
// workgroup, the current user, local users and the profiles under the
// users folder; built-in accounts left out. *codePage: the ANSI code page.
// Windows edge; a POSIX stand-in gives none.
std::vector<PrivateName> MachineNames(int* codePage);

// The file's bytes in pieces of at most 1 MiB, opened without sharing
// writes; false when it cannot be opened or read, or `piece` says stop.
bool ReadPieces(const std::string& path, const std::function<bool(const char*, size_t)>& piece);

// Whether `name` matches the pattern: "*" any run, "?" one character,
// ASCII letters in either case.
bool MatchesNamePattern(const std::string& pattern, const std::string& name);

struct ScrubJob {
  std::string folder;      // the result folder
  std::string resultPath;  // the map is "<result>.map.csv"
  LogFile* activityLog = nullptr;
  LogFile* fileList = nullptr;
  std::vector<std::string> keep;  // binary files kept as they are (name patterns)
  // Told each listed file's new name and check value ("" when left out), so
  // that what is packed is checked against the list as rewritten.
  std::function<void(const std::string& was, const std::string& now, uint32_t crc)> relisted;
};

// The pass itself; the map's path, or "" when it could not be written. The
// activity log keeps the scrubber for the lines that follow.
std::string ScrubResultFolder(const ScrubJob& job, const std::shared_ptr<Scrubber>& scrubber);

// The run's step: nothing unless scrubbing was asked for; the names come
// from the machine and the scripts' words.
void ScrubRunResult(const std::string& folder, const std::string& resultPath, LogFile* activityLog,
                    LogFile* fileList,
                    const std::function<void(const std::string& was, const std::string& now,
                                             uint32_t crc)>& relisted = nullptr);
