#pragma once
// A block sink in memory for the tar and packaging tests.

#include <string>

#include "pack/tar_writer.h"

class MemorySink : public TarBlockSink {
 public:
  bool WriteBlock(const unsigned char* block) override {
    if (failAfter_ == 0) return false;
    if (failAfter_ > 0) --failAfter_;
    data.append(reinterpret_cast<const char*>(block), kTarBlockSize);
    ++writes;
    return true;
  }
  bool Flush() override {
    ++flushes;
    return failAfter_ != 0;
  }
  // Blocks accepted before the stream fails; -1 never.
  void FailAfter(int blocks) { failAfter_ = blocks; }

  std::string data;
  int writes = 0;
  int flushes = 0;

 private:
  int failAfter_ = -1;
};
