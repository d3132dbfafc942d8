#pragma once
// A branded copy of the program carries its organisation's certificates in
// a block reserved inside the executable: tovkit writes them there, no
// relink needed. The block is a fixed-size array with a recognisable head:
//   0  magic "BRINDLE-BRAND-1\n"   16  version (1)   20  capacity
//   24 bytes used after the head   28  zero
// then records: kind (1 byte: 1 trusted signer, 2 result recipient),
// length (4 bytes), a DER certificate. Numbers are little-endian. An empty
// block (0 bytes used) is an unbranded copy.

#include <cstddef>
#include <string>

#include "run/certificate.h"

constexpr size_t kBrandBlockSize = 16384;
constexpr size_t kBrandHeadSize = 32;
constexpr unsigned char kBrandTrust = 1;
constexpr unsigned char kBrandRecipient = 2;

struct BrandCertificates {
  std::string trust;      // DER, empty when absent
  std::string recipient;  // DER, empty when absent
};

// The block of an unbranded copy: the head, then zeros.
std::string EmptyBrandBlock();
// False when the certificates do not fit.
bool BuildBrandBlock(const BrandCertificates& certificates, std::string* block);
// False for a block that is not one as written above; *out is then empty.
bool ParseBrandBlock(const unsigned char* block, size_t size, BrandCertificates* out);
// The one place in an executable's bytes where a block with a valid head
// starts; false when there is none or more than one.
bool FindBrandBlock(const std::string& file, size_t* offset);

// What this program's own block says.
struct Brand {
  enum class State { Unbranded, Branded, Unreadable } state = State::Unbranded;
  bool hasTrust = false, hasRecipient = false;
  Certificate trust, recipient;
};
Brand ReadBrand(const unsigned char* block, size_t size);
const Brand& ProgramBrand();
