#include "pack/tar_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <zlib.h>

#include "pack/manifest_format.h"
#include "run/log_file.h"
#include "run/progress.h"
#include "run/run_settings.h"
#include "run/text.h"
#include "sys/file_system.h"
#include "sys/folder_walk.h"
#include "sys/links.h"
#include "sys/name_escape.h"

namespace {

using namespace tar_layout;

constexpr uint64_t kLargestNumber = 077777777777ull;  // 11 octal digits
// Older readers want the name field NUL-ended; a longer name takes another form.
constexpr size_t kLongestName = 99;

// Tar data between two free-space queries may not bring the estimate of
// free bytes below this; near a full disk every block is asked about.
constexpr uint64_t kLowMargin = 1u << 20;
// Other writers on the drive are caught at least this often.
constexpr uint64_t kRequeryAfter = 16u << 20;
// Deletions wait for a flush of the stream at most this much data. A flush
// drains the compressing cores, so it comes seldom enough to keep them busy.
constexpr uint64_t kReleaseAfter = 32u << 20;
// Nor are more files than this kept open for their removal (small files).
constexpr size_t kMostOpen = 256;
constexpr size_t kReadSize = 64 * 1024;

void PutText(unsigned char* block, size_t at, const char* text) {
  std::memcpy(block + at, text, std::strlen(text));
}

void PutOctal(unsigned char* block, size_t at, uint64_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%011llo", static_cast<unsigned long long>(value));
  std::memcpy(block + at, text, 12);  // 11 digits and the NUL
}

// Base 256 beyond the octal range, as GNU tar, bsdtar and Python's tarfile
// read it: 0x80, then the value big-endian in the field's other 11 bytes.
void PutNumber(unsigned char* block, size_t at, uint64_t value) {
  if (value <= kLargestNumber) {
    PutOctal(block, at, value);
    return;
  }
  block[at] = 0x80;
  for (size_t i = kSizeWidth - 1; i > 0; --i, value >>= 8) {
    block[at + i] = static_cast<unsigned char>(value & 0xFF);
  }
}

void FillHeader(unsigned char* block, const std::string& prefix, const std::string& name,
                uint64_t size, int64_t mtime, char type) {
  std::memset(block, 0, kTarBlockSize);
  // Either field may be full; ustar readers then take it without a NUL.
  std::memcpy(block + kNameAt, name.data(), std::min(name.size(), kNameWidth));
  std::memcpy(block + kPrefixAt, prefix.data(), std::min(prefix.size(), kPrefixWidth));
  PutText(block, kModeAt, "0000744");
  PutText(block, kUidAt, "0000001");
  PutText(block, kGidAt, "0000001");
  PutNumber(block, kSizeAt, size);
  const uint64_t seconds = mtime < 0 ? 0 : std::min<uint64_t>(mtime, kLargestNumber);
  PutOctal(block, kMtimeAt, seconds);
  block[kTypeAt] = static_cast<unsigned char>(type);
  PutText(block, kMagicAt, "ustar");
  PutText(block, kVersionAt, "00");
  PutText(block, kUnameAt, "Brindle Tool");
  PutText(block, kGnameAt, "Vorlex");
  PutText(block, kDevMajorAt, "0000000");
  PutText(block, kDevMinorAt, "0000000");
  std::memset(block + kChecksumAt, ' ', kChecksumWidth);
  unsigned sum = 0;
  for (size_t i = 0; i < kTarBlockSize; ++i) sum += block[i];
  char text[16];
  std::snprintf(text, sizeof text, "%07o", sum);
  std::memcpy(block + kChecksumAt, text, 8);  // 7 digits and the NUL
}

// The "/" that splits a long name into prefix (1..155 bytes) and name
// (1..100 bytes) fields, leaving the longest name part; npos when there is
// none. A "/" is never the second byte of a double-byte character: no code
// page the product runs under has trail bytes below 0x40.
size_t PrefixSplit(const std::string& name) {
  if (name.size() > kPrefixWidth + 1 + kNameWidth) return std::string::npos;
  const size_t from = name.size() > kNameWidth + 1 ? name.size() - kNameWidth - 1 : 1;
  const size_t slash = name.find('/', from);
  if (slash == std::string::npos || slash > kPrefixWidth || slash + 1 == name.size()) {
    return std::string::npos;
  }
  return slash;
}

// A record's length counts its own digits.
std::string PaxRecord(const std::string& key, const std::string& value) {
  const size_t rest = 1 + key.size() + 1 + value.size() + 1;  // " key=value\n"
  size_t length = rest + 1;
  while (std::to_string(length).size() + rest != length) {
    length = std::to_string(length).size() + rest;
  }
  return std::to_string(length) + " " + key + "=" + value + "\n";
}

std::string CutName(const std::string& name) { return name.substr(0, kLongestName - 3) + "..."; }

}  // namespace

bool BuildHeader(const std::string& name, uint64_t size, int64_t mtime, unsigned char* block) {
  if (name.size() <= kLongestName) {
    FillHeader(block, std::string(), name, size, mtime, kRegularType);
    return true;
  }
  const size_t slash = PrefixSplit(name);
  if (slash != std::string::npos) {
    FillHeader(block, name.substr(0, slash), name.substr(slash + 1), size, mtime, kRegularType);
    return true;
  }
  // What a reader without pax support shows.
  FillHeader(block, std::string(), CutName(name), size, mtime, kRegularType);
  return false;
}

size_t PaxHeaderBlocks(const std::string& name) {
  const size_t records = PaxRecord("path", name).size();
  return 1 + (records + kTarBlockSize - 1) / kTarBlockSize;
}

void BuildPaxHeader(const std::string& name, int64_t mtime, unsigned char* blocks) {
  const std::string records = PaxRecord("path", name);
  // Readers without pax support unpack the records as a file of this name.
  const size_t slash = name.rfind('/');
  const std::string own = "PaxHeaders/" + name.substr(slash == std::string::npos ? 0 : slash + 1);
  FillHeader(blocks, std::string(), own.size() <= kLongestName ? own : CutName(own), records.size(),
             mtime, kPaxType);
  const size_t data = (PaxHeaderBlocks(name) - 1) * kTarBlockSize;
  std::memset(blocks + kTarBlockSize, 0, data);
  std::memcpy(blocks + kTarBlockSize, records.data(), records.size());
}

std::string TarMemberName(const std::string& archiveFolder, const std::string& fileName,
                          LeadByteTest isLeadByte) {
  std::string name;
  if (archiveFolder.empty()) {
    name = fileName;
  } else {
    const std::string joined = archiveFolder + "\\" + fileName;
    size_t i = joined.find_first_not_of('\\');
    if (i == std::string::npos) i = joined.size();
    name.reserve(joined.size());
    while (i < joined.size()) {
      const unsigned char c = static_cast<unsigned char>(joined[i]);
      if (isLeadByte != nullptr && isLeadByte(c) && i + 1 < joined.size()) {
        name += joined[i];
        name += joined[i + 1];
        i += 2;
        continue;
      }
      name += c == '\\' ? '/' : static_cast<char>(c);
      ++i;
    }
  }
  return name;
}

TarWriter::TarWriter(TarBlockSink* sink, FreeSpaceQuery freeSpace)
    : sink_(sink), freeSpace_(std::move(freeSpace)) {
  if (!freeSpace_) freeSpace_ = [](const std::string& path) { return FreeSpaceThousands(path); };
}

// Asking the drive for its free space before every 512-byte block would
// dominate packing time. Instead the answer of one query is kept and every
// block written since is charged against it, with room for what gzip could
// add (deflate never grows data by more than about 0.03%, the gzip frame is
// 18 bytes). Only when that estimate comes within kLowMargin of the limit,
// or after kRequeryAfter bytes, is the drive asked again; so near a full
// disk every block is checked, and nothing is written once fewer than 1000
// bytes are free, as with a query per block.
bool TarWriter::Room(const std::string& outputPath) {
  if (queried_ && sinceQuery_ < kRequeryAfter) {
    const uint64_t used = sinceQuery_ + sinceQuery_ / 1024 + 1024;
    if (freeAtQuery_ > used && freeAtQuery_ - used >= kLowMargin) return true;
  }
  const uint32_t thousands = freeSpace_(outputPath);
  queried_ = true;
  freeAtQuery_ = static_cast<uint64_t>(thousands) * 1000;
  sinceQuery_ = 0;
  return thousands >= 1;
}

bool TarWriter::Write(const unsigned char* block) {
  sinceQuery_ += kTarBlockSize;
  written_ += kTarBlockSize;
  if (sink_->WriteBlock(block)) return true;
  RaiseWriteFailure();
  return false;
}

bool TarWriter::WriteWithRoom(const std::string& outputPath, const unsigned char* block) {
  if (Room(outputPath)) return Write(block);
  RaiseWriteFailure();
  return false;
}

bool TarWriter::AddMember(const std::string& outputPath, const std::string& filePath,
                          const std::string& archiveFolder, std::string* fault,
                          std::unique_ptr<tar_io::SourceFile>* opened, uint32_t* crc) {
  if (!Room(outputPath)) {
    RaiseWriteFailure();
    return false;
  }
  auto owned = std::make_unique<tar_io::SourceFile>();
  tar_io::SourceFile& file = *owned;
  if (opened != nullptr) *opened = nullptr;
  uint64_t size = 0;
  int64_t mtime = 0;
  std::string refusal;
  const bool open = file.Open(filePath);
  if (open && file.NotAFile()) {
    if (fault != nullptr) *fault = kLinkFault;
    return false;
  }
  if (!open || !file.Status(filePath, &size, &mtime, &refusal)) {
    Settings().writeFailed = true;
    if (fault != nullptr) *fault = Format("cannot be opened (error %lu)", file.error());
    return false;
  }
  // Its bytes are another file's too, or another file's altogether.
  if (!refusal.empty()) {
    Settings().writeFailed = true;
    if (fault != nullptr) *fault = refusal;
    return false;
  }
  const std::string name = TarMemberName(archiveFolder, NameOf(filePath), tar_io::IsLeadByte);
  unsigned char header[kTarBlockSize];
  // The header keeps the code page's bytes; readers of any system learn the
  // name from a pax record in UTF-8 whenever it is more than ASCII.
  const bool whole = BuildHeader(name, size, mtime, header);
  const bool ascii =
      std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; }) &&
      !sys::HasNameEscape(name);
  if (!whole || !ascii) {
    const std::string utf8 = ascii ? name : tar_io::Utf8Name(name);
    std::vector<unsigned char> pax(PaxHeaderBlocks(utf8) * kTarBlockSize);
    BuildPaxHeader(utf8, mtime, pax.data());
    // Room was asked for the first block above.
    if (!Write(pax.data())) return false;
    for (size_t at = kTarBlockSize; at < pax.size(); at += kTarBlockSize) {
      if (!WriteWithRoom(outputPath, pax.data() + at)) return false;
    }
    if (!WriteWithRoom(outputPath, header)) return false;
  } else if (!Write(header)) {
    return false;
  }

  if (buffer_.empty()) buffer_.resize(kReadSize);
  uLong sum = crc32(0L, Z_NULL, 0);
  bool complete = true;
  uint64_t left = size;
  while (left > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, kReadSize));
    size_t got = 0;
    if (complete && (!file.Read(buffer_.data(), want, &got) || got < want)) {
      // The header promised `size` bytes: zeros keep the following members
      // where a reader expects them, but this member is not the file.
      complete = false;
      if (fault != nullptr) {
        *fault = got < want && file.error() == 0
                     ? Format("shrank to %llu of %llu bytes while packed",
                              static_cast<unsigned long long>(size - left + got),
                              static_cast<unsigned long long>(size))
                     : Format("cannot be read (error %lu)", file.error());
      }
    }
    sum = crc32(sum, buffer_.data(), static_cast<uInt>(got));
    std::memset(buffer_.data() + got, 0, kReadSize - got);
    const size_t blocks = (want + kTarBlockSize - 1) / kTarBlockSize;
    for (size_t b = 0; b < blocks; ++b) {
      if (!WriteWithRoom(outputPath, buffer_.data() + b * kTarBlockSize)) return false;
    }
    left -= want;
  }
  if (!complete) Settings().writeFailed = true;
  if (crc != nullptr) *crc = static_cast<uint32_t>(sum);
  if (complete && opened != nullptr) *opened = std::move(owned);
  return complete;
}

void TarWriter::Queue(std::string path, bool isFolder, uint64_t bytes,
                      std::unique_ptr<tar_io::SourceFile> file) {
  if (file) ++pendingOpen_;
  pending_.push_back({std::move(path), isFolder, std::move(file)});
  pendingBytes_ += bytes;
  if (pendingBytes_ < kReleaseAfter && pendingOpen_ < kMostOpen) return;
  if (sink_->Flush()) {
    Release();
  } else {
    RaiseWriteFailure();
    Forget();  // their members may not have reached the file
  }
}

void TarWriter::Forget() {
  pending_.clear();  // closes the files, deleting nothing
  pendingBytes_ = 0;
  pendingOpen_ = 0;
}

void TarWriter::Release() {
  if (!pending_.empty()) {
    {
      std::lock_guard<std::mutex> lock(releasedMutex_);
      released_.insert(released_.end(), std::make_move_iterator(pending_.begin()),
                       std::make_move_iterator(pending_.end()));
    }
    releasedWake_.notify_one();
    if (!remover_.joinable()) remover_ = std::thread([this] { RemoveReleased(); });
  }
  Forget();
}

// Files before their folders, as they were queued: a folder goes only once
// it is empty.
void TarWriter::RemoveReleased() {
  std::unique_lock<std::mutex> lock(releasedMutex_);
  for (;;) {
    releasedWake_.wait(lock, [this] { return releasedAll_ || !released_.empty(); });
    if (released_.empty()) return;
    Pending p = std::move(released_.front());
    released_.pop_front();
    lock.unlock();
    if (p.isFolder) {
      sys::RemoveFolder(p.path);  // only succeeds when empty
    } else if (p.file) {
      p.file->RemoveAndClose(p.path);
    } else {
      // Re-checked here: a link swapped in since the walk goes alone or stays.
      sys::RemoveFileNotThroughLink(p.path);
    }
    lock.lock();
  }
}

void TarWriter::StopRemoving() {
  {
    std::lock_guard<std::mutex> lock(releasedMutex_);
    releasedAll_ = true;
  }
  releasedWake_.notify_one();
  if (remover_.joinable()) remover_.join();
}

TarWriter::~TarWriter() { StopRemoving(); }

void TarWriter::AddFolder(const std::string& outputPath, const std::string& folder) {
  RunSettings& run = Settings();
  sys::TreeVisitor visitor;
  // Only the user's stop ends the walk: after a failed write everything that
  // can still be packed goes in, and a full disk fails each file at once.
  visitor.stop = [&run] { return run.stopRequested && !run.writeFailed; };
  // Each file is opened anyway, and its handle tells a link (AddMember).
  visitor.linksAskedOfHandles = true;
  visitor.passOver = leaveOut_;
  visitor.file = [&](const std::string& path, const std::string& relative) {
    ReportDetail(NameOf(path));
    if (relative.find('\\') == std::string::npos) topNames_.push_back(LowerAscii(relative));
    const uint64_t before = written_;
    std::string fault;
    std::unique_ptr<tar_io::SourceFile> opened;
    uint32_t crc = 0;
    uint32_t listed = 0;
    if (!AddMember(outputPath, path, FolderOf(relative), &fault, &opened, &crc)) {
      if (fault == kLinkFault) {
        // Where a collected file was, it is lost; any other link was set
        // aside before packing, and stays out as the walk leaves links.
        if (listedCrc_ && listedCrc_(relative, &listed)) {
          run.writeFailed = true;
          gaps_.push_back({relative, fault});
        }
      } else if (!fault.empty()) {
        gaps_.push_back({relative, fault});
      }
    } else if (listedCrc_ && listedCrc_(relative, &listed) && listed != crc) {
      // Packed, but not what was listed: it stays where it is, for a look.
      run.writeFailed = true;
      gaps_.push_back({relative, "changed while packed"});
    } else {
      Queue(path, false, written_ - before, std::move(opened));
    }
    // A file whose member is incomplete stays, and so does its folder.
  };
  visitor.leftFolder = [&](const std::string& path) { Queue(path, true, 0); };
  visitor.unlisted = [&](const std::string&, const std::string& relative, unsigned long error) {
    run.writeFailed = true;
    gaps_.push_back({relative, Format("cannot be listed (error %lu)", error)});
  };
  sys::WalkTree(folder, "*.*", visitor);
}

bool TarWriter::AddNotPackedRecord(const std::string& outputPath) {
  if (gaps_.empty()) return true;
  std::string name;
  for (int n = 1;; ++n) {
    name = NotPackedName(n);
    if (std::find(topNames_.begin(), topNames_.end(), LowerAscii(name)) == topNames_.end()) break;
  }
  std::string text;
  for (const PackGap& gap : gaps_) text += NotPackedRow(gap.reason, gap.relative) + "\r\n";
  unsigned char block[kTarBlockSize];
  BuildHeader(name, text.size(), static_cast<int64_t>(std::time(nullptr)), block);
  if (!WriteWithRoom(outputPath, block)) return false;
  for (size_t at = 0; at < text.size(); at += kTarBlockSize) {
    std::memset(block, 0, sizeof block);
    std::memcpy(block, text.data() + at, std::min(kTarBlockSize, text.size() - at));
    if (!WriteWithRoom(outputPath, block)) return false;
  }
  return true;
}

void TarWriter::Finish(const std::string& outputPath) {
  unsigned char zeros[kTarBlockSize] = {};
  if (!Room(outputPath)) {
    RaiseWriteFailure();
    return;
  }
  Write(zeros);
  Write(zeros);
}

void TarWriter::Settle(bool streamClosed) {
  if (streamClosed) {
    Release();
  } else {
    Forget();
  }
  StopRemoving();
}
