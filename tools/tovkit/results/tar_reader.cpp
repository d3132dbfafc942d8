#include <algorithm>
#include <cstring>

#include "pack/tar_layout.h"
#include "pack/tar_writer.h"
#include "result_inspector.h"

using namespace tar_layout;

namespace {

// Octal digits after optional spaces, ended by NUL, space or the field's
// end. False for anything else.
bool ParseOctal(const unsigned char* field, size_t width, uint64_t* value) {
  size_t i = 0;
  while (i < width && field[i] == ' ') ++i;
  uint64_t v = 0;
  for (; i < width && field[i] != 0 && field[i] != ' '; ++i) {
    if (field[i] < '0' || field[i] > '7' || v > (UINT64_MAX >> 3)) return false;
    v = v * 8 + (field[i] - '0');
  }
  for (; i < width; ++i) {
    if (field[i] != 0 && field[i] != ' ') return false;
  }
  *value = v;
  return true;
}

// Octal, or base 256 (0x80, then big-endian binary) as the writer stores
// sizes from 8 GiB on. Negative values and values beyond 64 bits are
// refused.
bool ParseNumber(const unsigned char* field, size_t width, uint64_t* value) {
  if (field[0] != 0x80) return ParseOctal(field, width, value);
  uint64_t v = 0;
  for (size_t i = 1; i < width; ++i) {
    if (v > (UINT64_MAX >> 8)) return false;
    v = (v << 8) | field[i];
  }
  *value = v;
  return true;
}

bool ParseDecimal(const std::string& text, uint64_t* value) {
  if (text.empty()) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || v > (UINT64_MAX - 9) / 10) return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  *value = v;
  return true;
}

std::string Text(const unsigned char* field, size_t width) {
  const void* nul = std::memchr(field, 0, width);
  const size_t length = nul ? static_cast<const unsigned char*>(nul) - field : width;
  return std::string(reinterpret_cast<const char*>(field), length);
}

}  // namespace

TarReader::Result TarReader::Next(TarEntry* entry) {
  if ((dataLeft_ != 0 || padLeft_ != 0) && !ReadData(nullptr)) return kError;
  unsigned char block[kTarBlockSize];
  size_t got = 0;
  if (!input_->Read(block, sizeof block, &got)) {
    error_ = input_->error();
    return kError;
  }
  if (got < sizeof block) {
    error_ = got == 0 ? "archive ends without its end blocks" : "truncated archive";
    return kError;
  }
  if (std::all_of(block, block + sizeof block, [](unsigned char c) { return c == 0; })) {
    if (havePaxPath_ || havePaxSize_) {
      error_ = "pax header without its member";
      return kError;
    }
    return ReadToEnd() ? kEnd : kError;
  }
  const std::string header = " (header " + std::to_string(++headers_) + ")";
  uint64_t stored = 0;
  if (!ParseOctal(block + kChecksumAt, kChecksumWidth, &stored)) {
    error_ = "bad header checksum field" + header;
    return kError;
  }
  uint64_t sum = 0;
  int64_t signedSum = 0;
  for (size_t i = 0; i < sizeof block; ++i) {
    const unsigned char c = (i >= kChecksumAt && i < kChecksumAt + kChecksumWidth) ? ' ' : block[i];
    sum += c;
    signedSum += static_cast<signed char>(c);
  }
  if (stored != sum && static_cast<int64_t>(stored) != signedSum) {
    error_ = "header checksum mismatch" + header;
    return kError;
  }
  uint64_t size = 0;
  if (!ParseNumber(block + kSizeAt, kSizeWidth, &size)) {
    error_ = "bad size field" + header;
    return kError;
  }
  entry->name = Text(block + kNameAt, kNameWidth);
  if (std::memcmp(block + kMagicAt, "ustar", 5) == 0 && block[kPrefixAt] != 0) {
    entry->name = Text(block + kPrefixAt, kPrefixWidth) + "/" + entry->name;
  }
  entry->headerName = entry->name;
  entry->type = static_cast<char>(block[kTypeAt]);
  entry->size = size;
  if (entry->type == kPaxType) {
    if (size > kInspectMaxPaxHeader) {
      error_ = "pax header too large" + header;
      return kError;
    }
    if (!ReadPaxRecords(size)) {
      if (error_.empty()) error_ = "bad pax header" + header;
      return kError;
    }
    return kEntry;
  }
  entry->paxPath = havePaxPath_;
  if (havePaxPath_) entry->name = paxPath_;
  if (havePaxSize_) entry->size = paxSize_;
  havePaxPath_ = havePaxSize_ = false;
  dataLeft_ = entry->size;
  padLeft_ = (kTarBlockSize - entry->size % kTarBlockSize) % kTarBlockSize;
  return kEntry;
}

// Records "LEN key=value\n", LEN counting the whole record. Only the keys
// that change what a reader unpacks matter here: path and size.
bool TarReader::ReadPaxRecords(uint64_t size) {
  std::string records;
  dataLeft_ = size;
  padLeft_ = (kTarBlockSize - size % kTarBlockSize) % kTarBlockSize;
  if (!ReadData([&](const unsigned char* data, size_t n) {
        records.append(reinterpret_cast<const char*>(data), n);
      })) {
    return false;
  }
  size_t at = 0;
  while (at < records.size()) {
    const size_t space = records.find(' ', at);
    uint64_t length = 0;
    if (space == std::string::npos || !ParseDecimal(records.substr(at, space - at), &length) ||
        length > records.size() - at || at + length <= space + 1 ||
        records[at + length - 1] != '\n') {
      return false;
    }
    const std::string record = records.substr(space + 1, at + length - space - 2);
    at += length;
    const size_t equals = record.find('=');
    if (equals == std::string::npos) return false;
    const std::string key = record.substr(0, equals), value = record.substr(equals + 1);
    // An empty value takes the key back to the header's own field.
    if (key == "path") {
      havePaxPath_ = !value.empty();
      paxPath_ = value;
    } else if (key == "size") {
      havePaxSize_ = !value.empty();
      if (havePaxSize_ && !ParseDecimal(value, &paxSize_)) return false;
    }
  }
  return true;
}

// The end blocks and whatever padding follows, to the gzip trailer, whose
// CRC and length inflate checks: a result cut short in its last bytes
// must not pass.
bool TarReader::ReadToEnd() {
  if (buffer_.empty()) buffer_.resize(64 * 1024);
  for (;;) {
    size_t got = 0;
    if (!input_->Read(buffer_.data(), buffer_.size(), &got)) {
      error_ = input_->error();
      return false;
    }
    if (!std::all_of(buffer_.begin(), buffer_.begin() + got,
                     [](unsigned char c) { return c == 0; })) {
      dataAfterEnd_ = true;
    }
    if (got < buffer_.size()) return true;
  }
}

bool TarReader::ReadData(const std::function<void(const unsigned char*, size_t)>& consume) {
  if (buffer_.empty()) buffer_.resize(64 * 1024);
  while (dataLeft_ + padLeft_ > 0) {
    const uint64_t left = dataLeft_ + padLeft_;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer_.size()));
    size_t got = 0;
    if (!input_->Read(buffer_.data(), want, &got)) {
      error_ = input_->error();
      return false;
    }
    if (got < want) {
      error_ = "truncated archive (member data)";
      return false;
    }
    const size_t data = static_cast<size_t>(std::min<uint64_t>(dataLeft_, got));
    if (consume && data > 0) consume(buffer_.data(), data);
    dataLeft_ -= data;
    padLeft_ -= got - data;
  }
  return true;
}
