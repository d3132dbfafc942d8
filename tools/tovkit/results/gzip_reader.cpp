#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "result_inspector.h"

ByteSource FileSource(std::FILE* file) {
  return [file](unsigned char* buffer, size_t size) -> long {
    const size_t got = std::fread(buffer, 1, size, file);
    if (got == 0 && std::ferror(file)) return -1;
    return static_cast<long>(got);
  };
}

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
        // A second member begun but not whole.
        trailingBytes_ = z.total_in > 0;
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
      ended_ = true;  // read no further, as gzip(1) does, but say so
      trailingBytes_ = true;
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
