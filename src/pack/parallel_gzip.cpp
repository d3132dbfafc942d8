#include "pack/parallel_gzip.h"

#include <algorithm>

namespace {

constexpr size_t kWindow = 32 * 1024;
// Raw deflate: no zlib header, the gzip frame is ours.
constexpr int kRawWindowBits = -15;
constexpr int kMemLevel = 8;

}  // namespace

ParallelGzipWriter::ParallelGzipWriter(std::FILE* file, int level, unsigned threads)
    : ParallelGzipWriter(file == nullptr ? nullptr : std::make_unique<FileOutput>(file), level,
                         threads) {}

ParallelGzipWriter::ParallelGzipWriter(std::unique_ptr<OutputSink> sink, int level,
                                       unsigned threads)
    : sink_(std::move(sink)), level_(level), crc_(crc32(0L, Z_NULL, 0)) {
  if (threads == 0) threads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
  maxInFlight_ = threads + 2;
  current_.reserve(kPieceSize);
  if (sink_ == nullptr) {
    failed_ = true;
    return;
  }
  for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
}

ParallelGzipWriter::~ParallelGzipWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  workToDo_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

bool ParallelGzipWriter::Put(const void* bytes, size_t size) {
  if (!failed_ && size > 0 && !sink_->Write(bytes, size)) failed_ = true;
  return !failed_;
}

bool ParallelGzipWriter::Write(const unsigned char* data, size_t size) {
  while (size > 0 && !failed_) {
    const size_t take = std::min(size, kPieceSize - current_.size());
    current_.insert(current_.end(), data, data + take);
    length_ += take;
    data += take;
    size -= take;
    if (current_.size() == kPieceSize) {
      Submit(false);
      if (!WriteFinished(maxInFlight_)) break;
    }
  }
  return !failed_;
}

void ParallelGzipWriter::Submit(bool last) {
  auto piece = std::make_unique<Piece>();
  piece->input.swap(current_);
  piece->dictionary = tail_;
  piece->last = last;
  // The next piece is primed with the end of the data before it.
  const std::vector<unsigned char>& input = piece->input;
  if (input.size() >= kWindow) {
    tail_.assign(input.end() - kWindow, input.end());
  } else {
    tail_.insert(tail_.end(), input.begin(), input.end());
    if (tail_.size() > kWindow) tail_.erase(tail_.begin(), tail_.end() - kWindow);
  }
  current_.clear();
  current_.reserve(kPieceSize);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pieces_.push_back(std::move(piece));
  }
  workToDo_.notify_one();
}

// Writes finished pieces in order until at most `keepInFlight` remain.
bool ParallelGzipWriter::WriteFinished(size_t keepInFlight) {
  for (;;) {
    std::unique_ptr<Piece> piece;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (pieces_.size() <= keepInFlight) return !failed_;
      pieceDone_.wait(lock, [this] { return pieces_.front()->done; });
      piece = std::move(pieces_.front());
      pieces_.pop_front();
      --nextToStart_;
    }
    if (piece->failed) failed_ = true;
    crc_ = crc32_combine(crc_, piece->crc, static_cast<z_off_t>(piece->length));
    if (!headerWritten_) {
      // Magic, deflate, no flags, no time, no extra flags, unknown system.
      static const unsigned char kHeader[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 255};
      headerWritten_ = Put(kHeader, sizeof kHeader);
    }
    if (!Put(piece->output.data(), piece->output.size())) return false;
  }
}

void ParallelGzipWriter::Work() {
  z_stream stream{};
  const bool ready = deflateInit2(&stream, level_, Z_DEFLATED, kRawWindowBits, kMemLevel,
                                  Z_DEFAULT_STRATEGY) == Z_OK;
  for (;;) {
    Piece* piece = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      workToDo_.wait(lock, [this] { return stopping_ || nextToStart_ < pieces_.size(); });
      if (nextToStart_ >= pieces_.size()) break;  // stopping with nothing left
      piece = pieces_[nextToStart_++].get();
    }
    if (ready) {
      Compress(piece, &stream);
    } else {
      piece->failed = true;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      piece->done = true;
    }
    pieceDone_.notify_all();
  }
  if (ready) deflateEnd(&stream);
}

void ParallelGzipWriter::Compress(Piece* piece, z_stream* stream) {
  if (deflateReset(stream) != Z_OK ||
      (!piece->dictionary.empty() &&
       deflateSetDictionary(stream, piece->dictionary.data(),
                            static_cast<uInt>(piece->dictionary.size())) != Z_OK)) {
    piece->failed = true;
    return;
  }
  piece->length = piece->input.size();
  piece->crc = crc32(0L, piece->input.data(), static_cast<uInt>(piece->input.size()));
  piece->output.resize(deflateBound(stream, static_cast<uLong>(piece->input.size())) + 16);
  stream->next_in = piece->input.data();
  stream->avail_in = static_cast<uInt>(piece->input.size());
  stream->next_out = piece->output.data();
  stream->avail_out = static_cast<uInt>(piece->output.size());
  // A sync flush ends the piece on a byte boundary, so the next one joins
  // it; only the last piece ends the stream.
  const int result = deflate(stream, piece->last ? Z_FINISH : Z_SYNC_FLUSH);
  const bool complete = piece->last ? result == Z_STREAM_END : result == Z_OK;
  if (!complete || stream->avail_in != 0) piece->failed = true;
  piece->output.resize(piece->output.size() - stream->avail_out);
  piece->input.clear();
  piece->input.shrink_to_fit();
}

bool ParallelGzipWriter::Flush() {
  if (failed_ || finished_) return false;
  if (!current_.empty()) Submit(false);
  return WriteFinished(0) && sink_->Flush();
}

bool ParallelGzipWriter::Finish() {
  if (finished_ || sink_ == nullptr) return false;
  finished_ = true;
  Submit(true);
  WriteFinished(0);
  unsigned char trailer[8];
  const uint32_t crc = static_cast<uint32_t>(crc_);
  const uint32_t size = static_cast<uint32_t>(length_);  // modulo 2^32, as gzip keeps it
  for (int i = 0; i < 4; ++i) {
    trailer[i] = static_cast<unsigned char>(crc >> (8 * i));
    trailer[4 + i] = static_cast<unsigned char>(size >> (8 * i));
  }
  Put(trailer, sizeof trailer);
  // Closed even after a failure, so that nothing stays open.
  const bool closed = sink_->Close();
  return closed && !failed_;
}
