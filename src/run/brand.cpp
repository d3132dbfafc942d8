#include "run/brand.h"

#include <cstring>

#include "run/bytes.h"

namespace {

// Built at run time so that the program's own bytes hold the magic once,
// in its block, where tovkit looks for it.
std::string Magic() { return std::string("BRINDLE-") + "BRAND-1\n"; }

void PutLittle32(std::string* out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

bool HeadValid(const unsigned char* block, size_t size) {
  const std::string magic = Magic();
  return size >= kBrandBlockSize && std::memcmp(block, magic.data(), magic.size()) == 0 &&
         ReadLittle32(block, 16) == 1 &&
         ReadLittle32(block, 20) == kBrandBlockSize - kBrandHeadSize &&
         ReadLittle32(block, 24) <= kBrandBlockSize - kBrandHeadSize &&
         ReadLittle32(block, 28) == 0;
}

}  // namespace

std::string EmptyBrandBlock() {
  std::string block(kBrandBlockSize, '\0');
  block.replace(0, 16, Magic());
  PutLittle32(&block, 16, 1);
  PutLittle32(&block, 20, kBrandBlockSize - kBrandHeadSize);
  return block;
}

bool BuildBrandBlock(const BrandCertificates& certificates, std::string* block) {
  std::string records;
  const std::pair<unsigned char, const std::string*> parts[] = {
      {kBrandTrust, &certificates.trust}, {kBrandRecipient, &certificates.recipient}};
  for (const auto& part : parts) {
    if (part.second->empty()) continue;
    std::string head(5, '\0');
    head[0] = static_cast<char>(part.first);
    PutLittle32(&head, 1, static_cast<uint32_t>(part.second->size()));
    records += head + *part.second;
  }
  if (records.size() > kBrandBlockSize - kBrandHeadSize) return false;
  *block = EmptyBrandBlock();
  PutLittle32(block, 24, static_cast<uint32_t>(records.size()));
  block->replace(kBrandHeadSize, records.size(), records);
  return true;
}

bool ParseBrandBlock(const unsigned char* block, size_t size, BrandCertificates* out) {
  *out = BrandCertificates();
  if (!HeadValid(block, size)) return false;
  const size_t used = ReadLittle32(block, 24);
  BrandCertificates found;
  for (size_t at = kBrandHeadSize; at < kBrandHeadSize + used;) {
    if (kBrandHeadSize + used - at < 5) return false;
    const unsigned char kind = block[at];
    const size_t length = ReadLittle32(block, at + 1);
    at += 5;
    if (length == 0 || length > kBrandHeadSize + used - at) return false;
    std::string* target = kind == kBrandTrust       ? &found.trust
                          : kind == kBrandRecipient ? &found.recipient
                                                    : nullptr;
    if (target == nullptr || !target->empty()) return false;
    target->assign(reinterpret_cast<const char*>(block + at), length);
    at += length;
  }
  *out = found;
  return true;
}

bool FindBrandBlock(const std::string& file, size_t* offset) {
  const std::string magic = Magic();
  size_t count = 0;
  for (size_t at = file.find(magic); at != std::string::npos; at = file.find(magic, at + 1)) {
    if (!HeadValid(reinterpret_cast<const unsigned char*>(file.data()) + at, file.size() - at))
      continue;
    *offset = at;
    ++count;
  }
  return count == 1;
}

Brand ReadBrand(const unsigned char* block, size_t size) {
  Brand brand;
  BrandCertificates certificates;
  if (!ParseBrandBlock(block, size, &certificates)) {
    brand.state = Brand::State::Unreadable;
    return brand;
  }
  if (certificates.trust.empty() && certificates.recipient.empty()) return brand;
  brand.state = Brand::State::Branded;
  brand.hasTrust = !certificates.trust.empty();
  brand.hasRecipient = !certificates.recipient.empty();
  if ((brand.hasTrust && !ParseCertificate(certificates.trust, &brand.trust)) ||
      (brand.hasRecipient && (!ParseCertificate(certificates.recipient, &brand.recipient) ||
                              brand.recipient.kind != Certificate::KeyKind::Rsa)))
    brand.state = Brand::State::Unreadable;
  return brand;
}
