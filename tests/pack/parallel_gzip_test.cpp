#include "pack/parallel_gzip.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "support/test_support.h"

namespace {

// Text-like data compresses the way results do; random data not at all.
std::string Data(size_t size, unsigned seed, bool random) {
  static const char* const kWords[] = {"INFORMATION,", "C:\\Windows\\", "ERROR,", "\r\n",
                                       "setup.log"};
  std::mt19937 generator(seed);
  std::string data;
  while (data.size() < size) {
    data += random ? std::string(1, static_cast<char>(generator())) : kWords[generator() % 5];
  }
  data.resize(size);
  return data;
}

std::string Gunzip(const std::string& path, bool* ok) {
  gzFile in = gzopen(path.c_str(), "rb");
  std::string out;
  char buffer[65536];
  int got = 0;
  while (in != nullptr && (got = gzread(in, buffer, sizeof buffer)) > 0) out.append(buffer, got);
  int error = Z_OK;
  if (in != nullptr) gzerror(in, &error);
  *ok = in != nullptr && got == 0 && error == Z_OK && gzclose(in) == Z_OK;
  return out;
}

TEST(ParallelGzip, OneStandardStreamWhateverThePiecesAndFlushesAndFailuresAreSaid) {
  testing_support::ScratchFolder dir("pgz");
  const size_t piece = ParallelGzipWriter::kPieceSize;
  const struct {
    size_t size;
    bool random;
    size_t flushEvery;  // 0: never
    unsigned threads;
  } kCases[] = {
      {0, false, 0, 2},
      {piece, true, 0, 2},
      {5 * piece + 77, false, 100000, 4},
      {3 * piece, true, piece, 2},
  };
  for (const auto& c : kCases) {
    const std::string data = Data(c.size, static_cast<unsigned>(c.size), c.random);
    const std::string path = dir / "out.gz";
    {
      ParallelGzipWriter gzip(std::fopen(path.c_str(), "wb"), Z_DEFAULT_COMPRESSION, c.threads);
      // Uneven writes, like tar blocks and more.
      for (size_t at = 0, step = 1; at < data.size(); at += step, step = step * 3 % 70001 + 1) {
        const size_t take = std::min(step, data.size() - at);
        ASSERT_TRUE(gzip.Write(reinterpret_cast<const unsigned char*>(data.data() + at), take));
        if (c.flushEvery != 0 && (at / c.flushEvery) != ((at + take) / c.flushEvery)) {
          ASSERT_TRUE(gzip.Flush());
        }
      }
      ASSERT_TRUE(gzip.Finish());
    }
    bool ok = false;
    EXPECT_TRUE(testing_support::SameBytes(Gunzip(path, &ok), data)) << c.size;
    EXPECT_TRUE(ok) << "trailer CRC and length, size " << c.size;
  }
  ParallelGzipWriter nowhere(nullptr);
  EXPECT_FALSE(nowhere.Write(reinterpret_cast<const unsigned char*>("x"), 1));
  EXPECT_FALSE(nowhere.Finish());
}

}  // namespace
