#pragma once
// One standard gzip stream written by several cores: the data is cut into
// fixed-size pieces, each compressed as raw deflate on a worker thread,
// primed with the 32 KB before it as dictionary and ended on a byte
// boundary, so the pieces join into one deflate stream behind one gzip
// header; the pieces' CRCs are combined for the trailer. Any gzip reader
// reads the result; its size stays within a fraction of a percent of a
// single-threaded stream at the same level.

#include <zlib.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pack/output_sink.h"

class ParallelGzipWriter {
 public:
  // Piece size; memory stays near (threads + 2) * 2 pieces.
  static constexpr size_t kPieceSize = 256 * 1024;

  // Writes to `file` (owned; closed by Finish or the destructor). threads 0:
  // one per core, at most 8.
  ParallelGzipWriter(std::FILE* file, int level = Z_DEFAULT_COMPRESSION, unsigned threads = 0);
  // Writes to `sink` (owned; closed by Finish). A null sink fails.
  ParallelGzipWriter(std::unique_ptr<OutputSink> sink, int level = Z_DEFAULT_COMPRESSION,
                     unsigned threads = 0);
  ~ParallelGzipWriter();
  ParallelGzipWriter(const ParallelGzipWriter&) = delete;
  ParallelGzipWriter& operator=(const ParallelGzipWriter&) = delete;

  // False once anything failed (compression, writing); the stream is then
  // of no use.
  bool Write(const unsigned char* data, size_t size);
  // Everything written so far is compressed and handed to the system.
  bool Flush();
  // The last block and the trailer, then closes the file. False when any
  // step of the stream failed, the close included.
  bool Finish();

 private:
  struct Piece {
    std::vector<unsigned char> input;
    std::vector<unsigned char> dictionary;
    std::vector<unsigned char> output;
    bool last = false;
    bool done = false;
    bool failed = false;
    uLong crc = 0;  // of the input alone, combined in stream order
    size_t length = 0;
  };

  void Submit(bool last);
  bool WriteFinished(size_t keepInFlight);
  void Work();
  static void Compress(Piece* piece, z_stream* stream);
  bool Put(const void* bytes, size_t size);

  std::unique_ptr<OutputSink> sink_;
  int level_;
  bool failed_ = false;
  bool headerWritten_ = false;
  bool finished_ = false;
  std::vector<unsigned char> current_;
  std::vector<unsigned char> tail_;  // the last 32 KB before `current_`
  uLong crc_;                        // of everything written out so far
  uint64_t length_ = 0;
  size_t maxInFlight_;

  std::mutex mutex_;
  std::condition_variable workToDo_;
  std::condition_variable pieceDone_;
  std::deque<std::unique_ptr<Piece>> pieces_;  // in stream order
  size_t nextToStart_ = 0;                     // index into pieces_
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};
