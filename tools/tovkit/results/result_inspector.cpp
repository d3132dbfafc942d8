#include "result_inspector.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>

#include "pack/manifest_format.h"
#include "pack/tar_layout.h"
#include "pack/tar_writer.h"
#include "run/signature.h"
#include "run/text.h"
#include "sys/name_escape.h"

using namespace tar_layout;

std::string Utf8OfResultText(const std::string& text) {
  static const uint16_t k1252[32] = {
      0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  std::string utf8;
  for (size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    uint32_t point = 0;
    size_t length = 0;
    if (c == '<' && sys::ReadNameEscape(text, at, &point, &length)) {
      sys::AppendUtf8(point, &utf8);
      at += length;
      continue;
    }
    sys::AppendUtf8(c >= 0x80 && c < 0xA0 ? k1252[c - 0x80] : c, &utf8);
    ++at;
  }
  return utf8;
}

std::string MemberNameForManifestPath(const std::string& relativePath) {
  return TarMemberName(FolderOf(relativePath), NameOf(relativePath));
}

namespace {

struct Member {
  uint32_t crc = 0;
  bool listed = false;
};

void Note(std::vector<std::string>* list, size_t* count, const std::string& text) {
  if (list->size() < kInspectMaxListed) list->push_back(text);
  ++*count;
}

bool UnsafeName(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') return true;
  if (name.size() >= 2 && name[1] == ':') return true;
  size_t start = 0;
  for (;;) {
    const size_t end = name.find_first_of("/\\", start);
    const std::string part = name.substr(start, end - start);
    if (part == "..") return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

// Members are matched with manifest rows by the name the run wrote: the
// header's bytes (code page, escapes for what it lacks) while the header
// holds the whole name, which a pax path in UTF-8 then only repeats.
// A cut header ends in "...", as no Windows file name can.
std::string ManifestKey(const TarEntry& entry) {
  const std::string& header = entry.headerName;
  const bool cut = header.size() >= 3 && header.compare(header.size() - 3, 3, "...") == 0;
  return entry.paxPath && !cut && !header.empty() ? header : entry.name;
}

bool SameCrcText(const std::string& text, uint32_t crc) {
  const std::string expected = CrcText(crc);
  if (text.size() != expected.size()) return false;
  for (size_t i = 0; i < 8; ++i) {
    const char c = (text[i] >= 'a' && text[i] <= 'f') ? static_cast<char>(text[i] - 32) : text[i];
    if (c != expected[i]) return false;
  }
  return true;
}

// Member names in byte order: the names that begin with a given text form
// one run of it, narrowed a byte at a time while a row is read.
class MemberIndex {
 public:
  using Entry = std::pair<const std::string, Member>;

  explicit MemberIndex(std::unordered_map<std::string, Member>* members) {
    sorted_.reserve(members->size());
    for (Entry& member : *members) sorted_.push_back(&member);
    std::sort(sorted_.begin(), sorted_.end(),
              [](const Entry* a, const Entry* b) { return a->first < b->first; });
  }

  // Members that begin with the `depth` bytes read so far, the shortest
  // first: sorted_[*lo, *hi). Keeps those whose next byte is c.
  void Narrow(size_t depth, unsigned char c, size_t* lo, size_t* hi) const {
    const auto byte = [depth](const Entry* e) {
      return e->first.size() <= depth ? -1 : static_cast<unsigned char>(e->first[depth]);
    };
    const auto begin = sorted_.begin() + static_cast<std::ptrdiff_t>(*lo);
    const auto end = sorted_.begin() + static_cast<std::ptrdiff_t>(*hi);
    const auto first =
        std::partition_point(begin, end, [&](const Entry* e) { return byte(e) < c; });
    const auto last =
        std::partition_point(first, end, [&](const Entry* e) { return byte(e) == c; });
    *lo = static_cast<size_t>(first - sorted_.begin());
    *hi = static_cast<size_t>(last - sorted_.begin());
  }

  size_t size() const { return sorted_.size(); }
  Entry* at(size_t i) const { return sorted_[i]; }

 private:
  std::vector<Entry*> sorted_;
};

// "CRC,relative path,source path", where both paths may hold commas: every
// comma after the CRC may end the relative path. One pass over the row
// follows the member names it could be (the member name of a path as
// MemberNameForManifestPath forms it: leading "\\" dropped, "\\" as "/"),
// and takes the nearest split that names a member with the listed CRC, else
// the nearest that names a member at all.
// False, with nothing noted, when no member matches and `retry` is set.
bool CheckRow(const std::string& line, const MemberIndex& index, InspectReport* report,
              bool retry) {
  const size_t first = line.find(',');
  if (first == std::string::npos) return true;
  const std::string crcText = line.substr(0, first);
  size_t start = first + 1;
  while (start < line.size() && line[start] == '\\') ++start;
  MemberIndex::Entry* found = nullptr;
  size_t foundEnd = 0;
  size_t lo = 0, hi = index.size();
  for (size_t at = start;; ++at) {
    const bool end = at == line.size();
    const size_t depth = at - start;
    if ((end || line[at] == ',') && depth > 0 && lo < hi && index.at(lo)->first.size() == depth) {
      MemberIndex::Entry* member = index.at(lo);
      const bool same = SameCrcText(crcText, member->second.crc);
      if (found == nullptr || same) {
        found = member;
        foundEnd = at;
      }
      if (same) break;
    }
    if (end || lo == hi) break;
    index.Narrow(depth, line[at] == '\\' ? '/' : static_cast<unsigned char>(line[at]), &lo, &hi);
  }
  if (found == nullptr) {
    if (retry) return false;
    const size_t next = line.find(',', first + 1);
    Note(&report->missing, &report->missingCount,
         line.substr(first + 1, next == std::string::npos ? std::string::npos : next - first - 1));
    return true;
  }
  found->second.listed = true;
  if (!SameCrcText(crcText, found->second.crc)) {
    Note(&report->changed, &report->changedCount,
         line.substr(first + 1, foundEnd - first - 1) + " (listed " + crcText + ", archive " +
             CrcText(found->second.crc) + ")");
  }
  return true;
}

// The line at *start without its line end; *start moves past it.
std::string NextLine(const std::string& text, size_t* start) {
  size_t end = text.find('\n', *start);
  if (end == std::string::npos) end = text.size();
  std::string line = text.substr(*start, end - *start);
  *start = end + 1;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// "reason,relative path" rows; false when there is none.
bool ReadGapRecord(const std::string& text, InspectReport* report) {
  bool any = false;
  size_t start = 0;
  while (start < text.size()) {
    const std::string line = NextLine(text, &start);
    const size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    Note(&report->notPacked, &report->notPackedCount,
         line.substr(comma + 1) + ": " + line.substr(0, comma));
    any = true;
  }
  return any;
}

void CheckManifest(const std::string& data, std::unordered_map<std::string, Member>* members,
                   InspectReport* report) {
  // As the run driver reads it: the text ends at the first zero byte.
  std::string text = data.substr(0, data.find('\0'));
  report->signatureValid = CheckSignature(text);
  StripSignature(&text);
  const MemberIndex index(members);
  size_t start = 0;
  bool started = false;
  while (start < text.size()) {
    const std::string line = NextLine(text, &start);
    if (!started) {
      started = line == kFileListStart;
      continue;
    }
    // The signature's token may stand before the end marker's ">".
    if (line.compare(0, sizeof kFileListEnd - 2, kFileListEnd, sizeof kFileListEnd - 2) == 0) break;
    if (!line.empty() && line[0] == '<') continue;  // "<EXTERNAL_FILES>"
    if (line.find(',') != std::string::npos) ++report->listed;
    // A name cut in its header is known by its pax path alone, in UTF-8.
    if (!CheckRow(line, index, report, true) &&
        !CheckRow(Utf8OfResultText(line), index, report, true)) {
      CheckRow(line, index, report, false);
    }
  }
}

}  // namespace

InspectReport InspectResult(const ByteSource& source, MemberObserver* observer) {
  InspectReport report;
  GzipReader gzip(source);
  TarReader tar(&gzip);
  std::unordered_map<std::string, Member> members;
  std::map<std::string, std::string> gapRecords;
  size_t gapBytes = 0;   // bounded like the manifest, all records together
  size_t nameBytes = 0;  // kept for every member: no more than a manifest lists
  std::string manifest;
  bool manifestTooLarge = false;
  for (;;) {
    TarEntry entry;
    const TarReader::Result result = tar.Next(&entry);
    if (result == TarReader::kError) {
      report.error = tar.error();
      break;
    }
    if (result == TarReader::kEnd) {
      report.readable = true;
      break;
    }
    // Whatever its kind: a folder or a pax header unpacks somewhere too.
    if (UnsafeName(entry.name)) {
      Note(&report.problems, &report.problemCount, "unsafe member name: " + entry.name);
    }
    if (!entry.regular()) {
      // Folders carry nothing to check, pax headers name the next member;
      // any other kind is not ours.
      if (entry.type != '5' && entry.type != kPaxType) {
        Note(&report.problems, &report.problemCount,
             "unexpected member type '" + std::string(1, entry.type) + "': " + entry.name);
      }
      if (!tar.ReadData(nullptr)) {
        report.error = tar.error();
        break;
      }
      continue;
    }
    if (++report.files > kInspectMaxMembers) {
      report.error = "more than " + std::to_string(kInspectMaxMembers) + " members";
      break;
    }
    nameBytes += entry.name.size();
    if (nameBytes > kInspectMaxManifest) {
      report.error = "member names larger than the limit";
      break;
    }
    const bool isManifest = entry.name == kFileListName;
    // Read whole like the manifest; whether it is the gap record or a
    // collected file of that name, the manifest tells below.
    std::string* gapRecord = nullptr;
    if (IsNotPackedName(entry.name) && entry.size <= kInspectMaxManifest - gapBytes) {
      gapBytes += static_cast<size_t>(entry.size);
      gapRecord = &gapRecords[entry.name];
      gapRecord->clear();
    }
    if (isManifest) {
      manifestTooLarge = entry.size > kInspectMaxManifest;
      manifest.clear();
      if (!manifestTooLarge) manifest.reserve(static_cast<size_t>(entry.size));
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    if (observer != nullptr) observer->Begin(entry.name, entry.size);
    const bool ok = tar.ReadData([&](const unsigned char* data, size_t size) {
      crc = crc32(crc, data, static_cast<uInt>(size));
      if (observer != nullptr) observer->Data(data, size);
      if (isManifest && !manifestTooLarge)
        manifest.append(reinterpret_cast<const char*>(data), size);
      if (gapRecord != nullptr) gapRecord->append(reinterpret_cast<const char*>(data), size);
    });
    if (!ok) {
      report.error = tar.error();
      break;
    }
    auto inserted = members.emplace(ManifestKey(entry), Member{static_cast<uint32_t>(crc), false});
    if (!inserted.second) {
      Note(&report.problems, &report.problemCount, "duplicate member: " + entry.name);
      inserted.first->second.crc = static_cast<uint32_t>(crc);
    }
    if (isManifest) report.manifestFound = !manifestTooLarge;
  }
  if (gzip.trailingBytes()) {
    Note(&report.problems, &report.problemCount, "bytes after the end of the gzip stream");
  }
  if (tar.dataAfterEnd()) {
    Note(&report.problems, &report.problemCount, "data after the archive's end block");
  }
  if (manifestTooLarge) {
    Note(&report.problems, &report.problemCount, "FileList.csv larger than the limit");
  }
  if (report.manifestFound) CheckManifest(manifest, &members, &report);
  for (const auto& record : gapRecords) {
    auto member = members.find(record.first);
    if (member == members.end() || member->second.listed) continue;  // collected
    if (ReadGapRecord(record.second, &report)) member->second.listed = true;
  }
  for (const auto& member : members) {
    if (!member.second.listed && member.first != kFileListName) {
      Note(&report.extra, &report.extraCount, member.first);
    }
  }
  std::sort(report.extra.begin(), report.extra.end());
  return report;
}
