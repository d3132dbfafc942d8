#pragma once
// Reading a result .tgz back as a stream (gzip, then tar, nothing written to
// disk) and checking it against its own FileList.csv: the manifest's
// signature, every listed file's CRC-32, missing and extra files. Made for
// files of unknown origin: every size is checked, memory is bounded, a
// damaged stream ends the reading with a message.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "input_file.h"

// Gives up to `size` bytes; 0 at the end, -1 on a read error.
using ByteSource = std::function<long(unsigned char* buffer, size_t size)>;

// Reads `file` (opened "rb"), which must stay open while the source is used.
ByteSource FileSource(std::FILE* file);

// Decompresses one or more gzip members.
class GzipReader {
 public:
  explicit GzipReader(ByteSource source);
  ~GzipReader();
  GzipReader(const GzipReader&) = delete;
  GzipReader& operator=(const GzipReader&) = delete;
  // Exactly `size` bytes unless the stream ends first (*got then tells how
  // many) or is damaged (false, error() says why).
  bool Read(unsigned char* out, size_t size, size_t* got);
  const std::string& error() const { return error_; }
  // Bytes follow the last whole gzip member: no writer of ours puts any
  // there, and tar may read them otherwise than we do.
  bool trailingBytes() const { return trailingBytes_; }

 private:
  bool Refill();

  ByteSource source_;
  struct Stream;
  std::unique_ptr<Stream> stream_;
  std::vector<unsigned char> input_;
  bool sourceDone_ = false;
  bool ended_ = false;
  bool betweenMembers_ = false;
  bool trailingBytes_ = false;
  size_t membersDone_ = 0;
  uint64_t produced_ = 0;
  std::string error_;
};

struct TarEntry {
  // Prefix "/" name for ustar headers; the path of a pax header before it
  // when there is one (the pax header itself comes as an entry of type 'x').
  std::string name;
  // The name as the header's own fields hold it, and whether a pax path
  // stands in for it.
  std::string headerName;
  bool paxPath = false;
  uint64_t size = 0;
  char type = '0';
  bool regular() const { return type == '0' || type == '\0'; }
};

class TarReader {
 public:
  enum Result { kEntry, kEnd, kError };
  explicit TarReader(GzipReader* input) : input_(input) {}
  // The next member's header. After kEntry the member's data must be taken
  // with ReadData before Next is called again. A pax header's records are
  // read here and apply to the member that follows. kEnd only once the
  // whole stream, gzip trailer included, has been read.
  Result Next(TarEntry* entry);
  // Hands the member's data to `consume` in pieces and skips the padding.
  bool ReadData(const std::function<void(const unsigned char*, size_t)>& consume);
  const std::string& error() const { return error_; }
  // Something other than zeros follows the first end block: GNU tar may
  // read on where we stopped.
  bool dataAfterEnd() const { return dataAfterEnd_; }

 private:
  bool ReadPaxRecords(uint64_t size);
  bool ReadToEnd();

  GzipReader* input_;
  bool havePaxPath_ = false, havePaxSize_ = false;
  std::string paxPath_;
  uint64_t paxSize_ = 0;
  bool dataAfterEnd_ = false;
  uint64_t dataLeft_ = 0;
  uint64_t padLeft_ = 0;
  size_t headers_ = 0;
  std::vector<unsigned char> buffer_;
  std::string error_;
};

struct InspectReport {
  // The archive could be read to its end.
  bool readable = false;
  std::string error;
  bool manifestFound = false;
  bool signatureValid = false;
  size_t files = 0;   // regular members
  size_t listed = 0;  // rows of the manifest
  size_t missingCount = 0, changedCount = 0, extraCount = 0, problemCount = 0;
  // Files the run found but could not pack, as its gap record names them:
  // "path: reason".
  size_t notPackedCount = 0;
  // The first few of each, for the report.
  std::vector<std::string> missing, changed, extra, problems, notPacked;

  bool clean() const {
    return readable && manifestFound && signatureValid && missingCount == 0 && changedCount == 0 &&
           extraCount == 0 && problemCount == 0 && notPackedCount == 0;
  }
};

// Limits that keep memory bounded on hostile input.
constexpr size_t kInspectMaxMembers = 250000;
constexpr size_t kInspectMaxManifest = 64u << 20;
constexpr size_t kInspectMaxListed = 100;
constexpr size_t kInspectMaxPaxHeader = 1u << 20;

// Sees every regular member as the check reads it, so that a caller that
// wants more than the verdict still reads the stream only once.
class MemberObserver {
 public:
  virtual ~MemberObserver() = default;
  virtual void Begin(const std::string& name, uint64_t size) = 0;
  virtual void Data(const unsigned char* data, size_t size) = 0;
};

InspectReport InspectResult(const ByteSource& source, MemberObserver* observer = nullptr);

// A text of the result (log line, manifest row) in UTF-8: each "<U+XXXX>"
// for a name the run's code page lacked turned back into its character,
// other bytes above ASCII read as the Western code page (1252), the one the
// results come from most.
std::string Utf8OfResultText(const std::string& text);

// The member name under which the packer stores a manifest path.
std::string MemberNameForManifestPath(const std::string& relativePath);
