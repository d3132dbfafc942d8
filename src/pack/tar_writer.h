#pragma once
// The result folder as a ustar stream, handed block by block (always 512
// bytes) to a sink, normally the gzip file of the result. Files are removed
// from the result folder once their member is safely in the result file:
// a file whose member could not be written completely stays where it is.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pack/tar_layout.h"

constexpr size_t kTarBlockSize = tar_layout::kBlockSize;

// Fills `block` (512 bytes) with the header of a regular file. A name over
// 99 bytes goes into the prefix and name fields when it splits at a "/" so
// that both fit. True when the block carries the whole name; false when it
// holds a cut name and the pax header of BuildPaxHeader must go before it.
// A size beyond 11 octal digits (8 GiB and more) is stored in base 256. A
// negative mtime is stored as 0, one beyond the field's range as its largest
// value.
bool BuildHeader(const std::string& name, uint64_t size, int64_t mtime, unsigned char* block);

// Blocks of the pax extended header that carries `name` whole: its own
// header block and its records.
size_t PaxHeaderBlocks(const std::string& name);

// Fills `blocks` (PaxHeaderBlocks(name) blocks) with that header, whose one
// record is "LEN path=NAME\n".
void BuildPaxHeader(const std::string& name, int64_t mtime, unsigned char* blocks);

// Tells whether a byte starts a double-byte character of the code page.
using LeadByteTest = bool (*)(unsigned char);

// archiveFolder "\\" fileName, leading "\\" dropped, separators turned into
// "/" (never the second byte of a double-byte character). Never cut: the
// header forms carry any length. An empty archiveFolder gives fileName.
std::string TarMemberName(const std::string& archiveFolder, const std::string& fileName,
                          LeadByteTest isLeadByte = nullptr);

// Where the blocks go.
class TarBlockSink {
 public:
  virtual ~TarBlockSink() = default;
  // Exactly kTarBlockSize bytes. False once the stream has failed.
  virtual bool WriteBlock(const unsigned char* block) = 0;
  // Pushes everything written so far into the file. False on failure.
  virtual bool Flush() = 0;
};

// The file-system calls of the walk (Windows and POSIX edges).
namespace tar_io {

class SourceFile {
 public:
  SourceFile();
  ~SourceFile();
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  // Read access without sharing: fails while anyone else holds the file.
  // The handle may also delete the file (RemoveAndClose).
  bool Open(const std::string& path);
  // Length and last change (seconds since 1970, UTC) of the open file, and
  // why it is not to be packed as the run's data ("" when it is): a hard
  // link (more than one name), or not the file the run wrote under that
  // name. One query of the open handle.
  bool Status(const std::string& path, uint64_t* size, int64_t* mtime, std::string* refusal);
  // Whether the name opened is a link the walk's listing did not show (Wine
  // shows a Unix link to a file as a file), a folder or a device, as the
  // handle tells: never packed, nor deleted through.
  bool NotAFile() const;
  // Up to `size` bytes; false on a read error.
  bool Read(unsigned char* buffer, size_t size, size_t* got);
  // The system's error code of the last call that failed.
  unsigned long error() const;
  // Deletes the file opened as `path` through the open handle, which saves
  // another open of it, and closes it. A link, folder or device is left
  // (never deleted through); when the system cannot tell or refuses (a
  // read-only file), the path is deleted as sys::RemoveFile does.
  void RemoveAndClose(const std::string& path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

bool IsLeadByte(unsigned char byte);

// A member name (code page bytes, escapes for what it lacks) in UTF-8.
std::string Utf8Name(const std::string& name);

}  // namespace tar_io

// A file of the folder that is not (wholly) in the stream, through a fault
// of the file rather than of the stream: held open, unreadable, a name or
// path the system cannot open.
struct PackGap {
  std::string relative;  // below the folder, "\\"-separated
  std::string reason;
};

class TarWriter {
 public:
  // Free space of the output's drive in thousands of bytes.
  using FreeSpaceQuery = std::function<uint32_t(const std::string& path)>;

  explicit TarWriter(TarBlockSink* sink, FreeSpaceQuery freeSpace = nullptr);
  ~TarWriter();
  TarWriter(const TarWriter&) = delete;
  TarWriter& operator=(const TarWriter&) = delete;

  // One member for the file. outputPath only names the drive whose free
  // space is watched. True when header and all data went to the sink.
  // Failures raise the run's flags: no room or a failed stream both flags,
  // a file that cannot be opened or read `writeFailed` only; for those two
  // *fault (when given) says why. With `opened`, the file's handle is
  // handed back for its removal.
  // *crc (when given) receives the CRC-32 of the bytes packed. A link the
  // walk's listing did not show flags nothing: *fault is kLinkFault.
  static constexpr const char* kLinkFault = "is a link";
  bool AddMember(const std::string& outputPath, const std::string& filePath,
                 const std::string& archiveFolder, std::string* fault = nullptr,
                 std::unique_ptr<tar_io::SourceFile>* opened = nullptr, uint32_t* crc = nullptr);

  // The CRC the manifest lists for a file (its path below the folder):
  // a member whose bytes differ is "changed while packed", a gap.
  using ListedCrc = std::function<bool(const std::string& relative, uint32_t* crc)>;
  void SetListedCrc(ListedCrc listed) { listedCrc_ = std::move(listed); }
  // Files AddFolder neither opens nor packs (their path below the folder).
  void SetLeaveOut(std::function<bool(const std::string& relative)> leaveOut) {
    leaveOut_ = std::move(leaveOut);
  }

  // What AddFolder met and could not pack as listed.
  const std::vector<PackGap>& gaps() const { return gaps_; }

  // Archives the files of folder, then each subfolder depth first (folder
  // links are neither entered nor emptied); completed files and emptied
  // folders are queued for removal. Returns early once a stop was requested.
  void AddFolder(const std::string& outputPath, const std::string& folder);

  // After AddFolder, when it met files it could not pack: the member that
  // names them (NotPackedName). True when there was none to write or it
  // was written.
  bool AddNotPackedRecord(const std::string& outputPath);

  // The two zero blocks that end the stream (not written without room).
  void Finish(const std::string& outputPath);

  // After the sink was closed: removes what is queued when the close
  // succeeded, keeps it otherwise. Returns once every removal is done.
  void Settle(bool streamClosed);

 private:
  bool Room(const std::string& outputPath);
  bool Write(const unsigned char* block);
  // Room, then Write; raises the flags when there is no room.
  bool WriteWithRoom(const std::string& outputPath, const unsigned char* block);
  void Queue(std::string path, bool isFolder, uint64_t bytes,
             std::unique_ptr<tar_io::SourceFile> file = nullptr);
  void Release();
  // Drops what is pending without removing it.
  void Forget();
  void RemoveReleased();
  void StopRemoving();

  struct Pending {
    std::string path;
    bool isFolder;
    std::unique_ptr<tar_io::SourceFile> file;  // still open, to be deleted through
  };

  TarBlockSink* sink_;
  FreeSpaceQuery freeSpace_;
  ListedCrc listedCrc_;
  std::function<bool(const std::string& relative)> leaveOut_;
  // Free-space accounting: bytes free at the last query, tar bytes since.
  bool queried_ = false;
  uint64_t freeAtQuery_ = 0;
  uint64_t sinceQuery_ = 0;
  uint64_t written_ = 0;
  // Archived but not yet known to be in the file.
  std::vector<Pending> pending_;
  uint64_t pendingBytes_ = 0;
  size_t pendingOpen_ = 0;
  // In the result file: removed in order on a thread of their own, since
  // under Wine each removal waits for the server while the cores idle.
  std::thread remover_;
  std::mutex releasedMutex_;
  std::condition_variable releasedWake_;
  std::deque<Pending> released_;
  bool releasedAll_ = false;
  std::vector<unsigned char> buffer_;
  std::vector<PackGap> gaps_;
  // Top-level member names that a gap record's name must not repeat
  // (lower case: the names of one folder on Windows).
  std::vector<std::string> topNames_;
};
