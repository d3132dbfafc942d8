#pragma once
// Shared by the pack tests: a scratch folder with clean run flags, a block
// sink in memory, files placed by "\\"-separated paths as the product names them.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "pack/tar_writer.h"
#include "run/run_settings.h"
#include "support/test_support.h"

using testing_support::FileExists;
using testing_support::ReadFile;

constexpr char kSep = static_cast<char>(std::filesystem::path::preferred_separator);

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override { Settings().Reset(); }
  void TearDown() override { Settings().Reset(); }

  testing_support::ScratchFolder dir_{"pack"};
};

class MemorySink : public TarBlockSink {
 public:
  bool WriteBlock(const unsigned char* block) override {
    if (failAfter == 0) return false;
    if (failAfter > 0) --failAfter;
    data.append(reinterpret_cast<const char*>(block), kTarBlockSize);
    return true;
  }
  bool Flush() override { return failAfter != 0; }

  std::string data;
  int failAfter = -1;  // blocks accepted before the stream fails; -1 never
};

// Writes root\relative (parents created) and returns its native path.
inline std::string Put(const std::string& root, const std::string& relative,
                       const std::string& data) {
  std::string path = root;
  for (char c : "\\" + relative) path += c == '\\' ? kSep : c;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  testing_support::WriteFile(path, data);
  return path;
}
