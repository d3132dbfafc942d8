#pragma once
// Where the compressed result goes: the file itself, or a layer in front of
// it (the envelope that encrypts it).

#include <cstddef>
#include <cstdio>

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual bool Write(const void* bytes, size_t size) = 0;
  // Hands what was written to the system.
  virtual bool Flush() = 0;
  // Completes and closes the output; false when any step failed.
  virtual bool Close() = 0;
};

// A file opened by the caller, owned from then on.
class FileOutput : public OutputSink {
 public:
  explicit FileOutput(std::FILE* file) : file_(file) {}
  ~FileOutput() override {
    if (file_ != nullptr) std::fclose(file_);
  }
  FileOutput(const FileOutput&) = delete;
  FileOutput& operator=(const FileOutput&) = delete;
  bool Write(const void* bytes, size_t size) override {
    return file_ != nullptr && std::fwrite(bytes, 1, size, file_) == size;
  }
  bool Flush() override { return file_ != nullptr && std::fflush(file_) == 0; }
  bool Close() override {
    if (file_ == nullptr) return false;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return closed;
  }

 private:
  std::FILE* file_;
};
