#include "result_inspector.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "pack/manifest_format.h"
#include "pack/tar_layout.h"
#include "pack/tar_writer.h"
#include "run/signature.h"
#include "run/text.h"

using namespace tar_layout;

struct GzipReader::Stream {
  z_stream z{};
  bool ready = false;
};

GzipReader::GzipReader(ByteSource source)
    : source_(std::move(source)), stream_(new Stream), input_(64 * 1024) {
  // 16 + window bits: gzip framing only, so anything else is refused.
  stream_->ready = inflateInit2(&stream_->z, 16 + MAX_WBITS) == Z_OK;
  if (!stream_->ready) error_ = "cannot start decompression";
}

GzipReader::~GzipReader() {
  if (stream_->ready) inflateEnd(&stream_->z);
}

bool GzipReader::Refill() {
  if (sourceDone_) return false;
  const long n = source_(input_.data(), input_.size());
  if (n < 0) {
    error_ = "read error";
    return false;
  }
  if (n == 0) {
    sourceDone_ = true;
    return false;
  }
  stream_->z.next_in = input_.data();
  stream_->z.avail_in = static_cast<uInt>(std::min<size_t>(static_cast<size_t>(n), input_.size()));
  return true;
}

bool GzipReader::Read(unsigned char* out, size_t size, size_t* got) {
  *got = 0;
  if (!error_.empty()) return false;
  z_stream& z = stream_->z;
  z.next_out = out;
  z.avail_out = static_cast<uInt>(size);
  while (z.avail_out > 0 && !ended_) {
    if (z.avail_in == 0 && !Refill()) {
      if (!error_.empty()) return false;
      if (betweenMembers_) {
        ended_ = true;
        break;
      }
      error_ = membersDone_ == 0 && produced_ == 0 && z.total_in == 0 ? "empty file"
                                                                      : "truncated gzip stream";
      return false;
    }
    const int result = inflate(&z, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      ++membersDone_;
      betweenMembers_ = true;
      inflateReset(&z);
      continue;
    }
    if (result == Z_OK || result == Z_BUF_ERROR) {
      if (z.total_out > 0 || result == Z_OK) betweenMembers_ = false;
      continue;
    }
    if (betweenMembers_) {
      ended_ = true;  // bytes after the last member, as gzip(1) ignores them
      break;
    }
    error_ = membersDone_ == 0 && produced_ == 0 && z.total_out == 0 ? "not a gzip stream"
                                                                     : "damaged gzip data";
    return false;
  }
  *got = size - z.avail_out;
  produced_ += *got;
  return true;
}

namespace {

// Octal digits after optional spaces, ended by NUL, space or the field's
// end. False for anything else (base-256 sizes included: we never write
// them, and a reader that guesses is a reader that can be fooled).
bool ParseOctal(const unsigned char* field, size_t width, uint64_t* value) {
  size_t i = 0;
  while (i < width && field[i] == ' ') ++i;
  uint64_t v = 0;
  for (; i < width && field[i] != 0 && field[i] != ' '; ++i) {
    if (field[i] < '0' || field[i] > '7' || v > (UINT64_MAX >> 3)) return false;
    v = v * 8 + (field[i] - '0');
  }
  for (; i < width; ++i) {
    if (field[i] != 0 && field[i] != ' ') return false;
  }
  *value = v;
  return true;
}

std::string Text(const unsigned char* field, size_t width) {
  const void* nul = std::memchr(field, 0, width);
  const size_t length = nul ? static_cast<const unsigned char*>(nul) - field : width;
  return std::string(reinterpret_cast<const char*>(field), length);
}

}  // namespace

TarReader::Result TarReader::Next(TarEntry* entry) {
  if ((dataLeft_ != 0 || padLeft_ != 0) && !ReadData(nullptr)) return kError;
  unsigned char block[kTarBlockSize];
  size_t got = 0;
  if (!input_->Read(block, sizeof block, &got)) {
    error_ = input_->error();
    return kError;
  }
  if (got < sizeof block) {
    error_ = got == 0 ? "archive ends without its end blocks" : "truncated archive";
    return kError;
  }
  if (std::all_of(block, block + sizeof block, [](unsigned char c) { return c == 0; })) {
    return kEnd;  // the second zero block is not needed to know the end
  }
  ++headers_;
  uint64_t stored = 0;
  if (!ParseOctal(block + kChecksumAt, kChecksumWidth, &stored)) {
    error_ = "bad header checksum field (header " + std::to_string(headers_) + ")";
    return kError;
  }
  uint64_t sum = 0;
  int64_t signedSum = 0;
  for (size_t i = 0; i < sizeof block; ++i) {
    const unsigned char c = (i >= kChecksumAt && i < kChecksumAt + kChecksumWidth) ? ' ' : block[i];
    sum += c;
    signedSum += static_cast<signed char>(c);
  }
  if (stored != sum && static_cast<int64_t>(stored) != signedSum) {
    error_ = "header checksum mismatch (header " + std::to_string(headers_) + ")";
    return kError;
  }
  uint64_t size = 0;
  if (!ParseOctal(block + kSizeAt, kSizeWidth, &size)) {
    error_ = "bad size field (header " + std::to_string(headers_) + ")";
    return kError;
  }
  entry->name = Text(block + kNameAt, kNameWidth);
  if (std::memcmp(block + kMagicAt, "ustar", 5) == 0 && block[kPrefixAt] != 0) {
    entry->name = Text(block + kPrefixAt, kPrefixWidth) + "/" + entry->name;
  }
  entry->size = size;
  entry->type = static_cast<char>(block[kTypeAt]);
  dataLeft_ = size;
  padLeft_ = (kTarBlockSize - size % kTarBlockSize) % kTarBlockSize;
  return kEntry;
}

bool TarReader::ReadData(const std::function<void(const unsigned char*, size_t)>& consume) {
  if (buffer_.empty()) buffer_.resize(64 * 1024);
  while (dataLeft_ + padLeft_ > 0) {
    const uint64_t left = dataLeft_ + padLeft_;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer_.size()));
    size_t got = 0;
    if (!input_->Read(buffer_.data(), want, &got)) {
      error_ = input_->error();
      return false;
    }
    if (got < want) {
      error_ = "truncated archive (member data)";
      return false;
    }
    const size_t data = static_cast<size_t>(std::min<uint64_t>(dataLeft_, got));
    if (consume && data > 0) consume(buffer_.data(), data);
    dataLeft_ -= data;
    padLeft_ -= got - data;
  }
  return true;
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

bool SameCrcText(const std::string& text, uint32_t crc) {
  const std::string expected = CrcText(crc);
  if (text.size() != expected.size()) return false;
  for (size_t i = 0; i < 8; ++i) {
    const char c = (text[i] >= 'a' && text[i] <= 'f') ? static_cast<char>(text[i] - 32) : text[i];
    if (c != expected[i]) return false;
  }
  return true;
}

// A listed path may hold commas itself: try each split, nearest first, and
// take the first that names a member. A bounded number of tries keeps a
// line of commas from taking quadratic time.
void CheckRow(const std::string& line, std::unordered_map<std::string, Member>* members,
              InspectReport* report) {
  const size_t first = line.find(',');
  if (first == std::string::npos) return;
  ++report->listed;
  const std::string crcText = line.substr(0, first);
  std::string firstPath;
  size_t at = first;
  for (int tries = 0; tries < 16; ++tries) {
    size_t next = line.find(',', at + 1);
    const std::string path =
        line.substr(first + 1, next == std::string::npos ? std::string::npos : next - first - 1);
    if (tries == 0) firstPath = path;
    auto found = members->find(MemberNameForManifestPath(path));
    if (found != members->end()) {
      found->second.listed = true;
      if (!SameCrcText(crcText, found->second.crc)) {
        Note(&report->changed, &report->changedCount,
             path + " (listed " + crcText + ", archive " + CrcText(found->second.crc) + ")");
      }
      return;
    }
    if (next == std::string::npos) break;
    at = next;
  }
  Note(&report->missing, &report->missingCount, firstPath);
}

void CheckManifest(const std::string& data, std::unordered_map<std::string, Member>* members,
                   InspectReport* report) {
  // As the run driver reads it: the text ends at the first zero byte.
  std::string text = data.substr(0, data.find('\0'));
  report->signatureValid = CheckSignature(text);
  StripSignature(&text);
  size_t start = 0;
  bool started = false;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!started) {
      started = line == kFileListStart;
      continue;
    }
    // The signature's token may stand before the end marker's ">".
    if (line.compare(0, sizeof kFileListEnd - 2, kFileListEnd, sizeof kFileListEnd - 2) == 0) break;
    if (!line.empty() && line[0] == '<') continue;  // "<EXTERNAL_FILES>"
    CheckRow(line, members, report);
  }
}

}  // namespace

InspectReport InspectResult(const ByteSource& source) {
  InspectReport report;
  GzipReader gzip(source);
  TarReader tar(&gzip);
  std::unordered_map<std::string, Member> members;
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
    if (!entry.regular()) {
      // Folders carry nothing to check; any other kind is not ours.
      if (entry.type != '5') {
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
    if (UnsafeName(entry.name)) {
      Note(&report.problems, &report.problemCount, "unsafe member name: " + entry.name);
    }
    const bool isManifest = entry.name == kFileListName;
    if (isManifest) {
      manifestTooLarge = entry.size > kInspectMaxManifest;
      manifest.clear();
      if (!manifestTooLarge) manifest.reserve(static_cast<size_t>(entry.size));
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    const bool ok = tar.ReadData([&](const unsigned char* data, size_t size) {
      crc = crc32(crc, data, static_cast<uInt>(size));
      if (isManifest && !manifestTooLarge)
        manifest.append(reinterpret_cast<const char*>(data), size);
    });
    if (!ok) {
      report.error = tar.error();
      break;
    }
    auto inserted = members.emplace(entry.name, Member{static_cast<uint32_t>(crc), false});
    if (!inserted.second) {
      Note(&report.problems, &report.problemCount, "duplicate member: " + entry.name);
      inserted.first->second.crc = static_cast<uint32_t>(crc);
    }
    if (isManifest) report.manifestFound = !manifestTooLarge;
  }
  if (manifestTooLarge) {
    Note(&report.problems, &report.problemCount, "FileList.csv larger than the limit");
  }
  if (report.manifestFound) CheckManifest(manifest, &members, &report);
  for (const auto& member : members) {
    if (!member.second.listed && member.first != kFileListName) {
      Note(&report.extra, &report.extraCount, member.first);
    }
  }
  std::sort(report.extra.begin(), report.extra.end());
  return report;
}

std::string InspectVerdict(const InspectReport& report) {
  if (report.clean()) {
    return "clean: " + std::to_string(report.files) +
           " files, every listed file present with its CRC-32, FileList.csv signature valid";
  }
  std::string text = "NOT CLEAN:";
  if (!report.readable) text += " damaged archive (" + report.error + "),";
  if (!report.manifestFound) {
    text += " no FileList.csv,";
  } else if (!report.signatureValid) {
    text += " FileList.csv signature invalid,";
  }
  text += " " + std::to_string(report.missingCount) + " missing, " +
          std::to_string(report.changedCount) + " changed, " + std::to_string(report.extraCount) +
          " extra, " + std::to_string(report.problemCount) + " other problems";
  return text;
}
