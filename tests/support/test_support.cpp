#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "run/signature.h"
#include "run/text.h"

namespace fs = std::filesystem;

namespace testing_support {

namespace {
#ifdef _WIN32
const char kSeparator[] = "\\";
std::string Base() { return GetDriveTypeA("D:\\") == DRIVE_FIXED ? "D:\\" : "C:\\"; }
#else
const char kSeparator[] = "/";
std::string Base() { return fs::temp_directory_path().string() + "/"; }
#endif
}  // namespace

ScratchFolder::ScratchFolder(const std::string& tag) {
  static std::atomic<int> counter{0};
  std::random_device rd;
  path_ = Base() + "brt_" + tag + "_" + std::to_string(rd() % 1000000) + "_" +
          std::to_string(counter++);
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  // Read-only files would stop remove_all on Windows.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string ScratchFolder::operator/(const std::string& name) const {
  return path_ + kSeparator + name;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

bool FileExists(const std::string& path) { return fs::exists(path); }

std::vector<std::string> FileLines(const std::string& path) {
  std::vector<std::string> lines;
  const std::string text = ReadFile(path);
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return testing::AssertionSuccess();
  const auto excerpt = [](const std::string& bytes, size_t at) {
    std::string shown;
    for (size_t i = at; i < bytes.size() && i < at + 16; ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02x ", static_cast<unsigned char>(bytes[i]));
      shown += hex;
    }
    return shown.empty() ? "(end)" : shown;
  };
  const size_t common = std::min(actual.size(), expected.size());
  const size_t at = std::mismatch(actual.begin(), actual.begin() + common, expected.begin()).first -
                    actual.begin();
  return testing::AssertionFailure()
         << "sizes " << actual.size() << " and " << expected.size() << ", CRC "
         << CrcText(TextCrc(actual)) << " and " << CrcText(TextCrc(expected))
         << "; first difference at byte " << at << ": " << excerpt(actual, at) << "| "
         << excerpt(expected, at);
}

std::string Signed(std::string text) {
  EXPECT_TRUE(InsertSignature(&text, TextCrc(text)));
  return text;
}

#ifndef _WIN32
void MakeUnopenableFile(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
  EXPECT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
  ::close(socket);
}
#endif

std::string Tovkit(int (*command)(const std::vector<std::string>&, std::ostream&, std::ostream&),
                   const std::vector<std::string>& args) {
  std::ostringstream out;
  const int status = command(args, out, out);
  return std::to_string(status) + " " + out.str();
}

}  // namespace testing_support
