// Key signatures and encrypted results against OpenSSL itself (its
// command for keys, certificates and `cms -decrypt`). Native only: the
// Windows side is covered by the whole runs under Wine.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstdlib>

#include "keys.h"
#include "pack/envelope_output.h"
#include "run/key_signature.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

class Crypto : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new testing_support::ScratchFolder;
    const std::string d = *folder_ / "";
    const std::string rsa = " -newkey rsa:2048",
                      ec = " -newkey ec -pkeyopt ec_paramgen_curve:P-256";
    for (const auto& [name, kind] :
         {std::pair<std::string, std::string>{"org", rsa}, {"ec", ec}, {"other", rsa}}) {
      const std::string command = "openssl req -x509 -nodes -days 30 -subj /CN=" + name + kind +
                                  " -keyout " + d + name + ".key -out " + d + name +
                                  ".pem 2>/dev/null";
      ASSERT_EQ(std::system(command.c_str()), 0);
    }
  }
  static void TearDownTestSuite() { delete folder_; }
  static std::string At(const std::string& name) { return *folder_ / name; }
  static Certificate Cert(const std::string& name) {
    Certificate certificate;
    std::string error;
    EXPECT_TRUE(tovkit::ReadCertificateFile(At(name + ".pem"), &certificate, &error)) << error;
    return certificate;
  }
  static testing_support::ScratchFolder* folder_;
};
testing_support::ScratchFolder* Crypto::folder_ = nullptr;

TEST_F(Crypto, KeySignaturesVerifyOnlyForTheirKeyAndText) {
  const std::string script = "<S>\r\n<FILES Logs=\"x\"/>\r\n</S>\r\n";
  struct Case {
    const char* signer;
    const char* trusted;
    const char* edit;  // replaces "Logs" after signing
    KeyCheck expected;
  } cases[] = {
      {"ec", "ec", "Dump", KeyCheck::Changed},
      {"other", "org", nullptr, KeyCheck::OtherKey},
      {nullptr, "org", nullptr, KeyCheck::Missing},
  };
  for (const Case& c : cases) {
    std::string text = script;
    if (c.signer != nullptr) {
      KeySignature signature;
      std::string error;
      ASSERT_TRUE(tovkit::SignWithKey(At(std::string(c.signer) + ".key"), Cert(c.signer), false,
                                      script, &signature, &error))
          << error;
      text = WithKeySignature(script, signature);
    }
    if (c.edit != nullptr) text.replace(text.find("Logs"), 4, c.edit);
    EXPECT_EQ(CheckKeySignature(text, Cert(c.trusted)), c.expected)
        << (c.signer ? c.signer : "unsigned");
  }
  // A key that is not the certificate's signs nothing.
  KeySignature signature;
  std::string error;
  EXPECT_FALSE(
      tovkit::SignWithKey(At("other.key"), Cert("org"), false, script, &signature, &error));
}

// Sizes around the block and around the 16 MiB where the head's lengths
// change size (the content moves once below it).
TEST_F(Crypto, EnvelopesOpenWithOpenSslAndTovkitToTheSameBytes) {
  for (size_t size : {size_t{0}, size_t{16}, size_t{(16 << 20) + 5}}) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 7919) >> 5);
    const std::string sealed = At("r.p7m");
    {
      EnvelopeOutput out(std::fopen(sealed.c_str(), "w+b"), Cert("org"));
      for (size_t at = 0; at < size; at += 70001)
        ASSERT_TRUE(out.Write(content.data() + at, std::min<size_t>(70001, size - at)));
      ASSERT_TRUE(out.Close());
    }
    const std::string command = "openssl cms -decrypt -inform DER -binary -in " + sealed +
                                " -inkey " + At("org.key") + " -recip " + At("org.pem") + " -out " +
                                At("r.openssl") + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << size;
    EXPECT_TRUE(ReadFile(At("r.openssl")) == content) << size;
    std::FILE* in = std::fopen(sealed.c_str(), "rb");
    std::FILE* plain = std::tmpfile();
    std::string error;
    EXPECT_TRUE(tovkit::DecryptEnvelope(in, At("org.key"), plain, &error)) << error;
    std::rewind(plain);
    std::string back(size + 1, '\0');
    EXPECT_EQ(std::fread(&back[0], 1, back.size(), plain), size);
    EXPECT_TRUE(back.substr(0, size) == content) << size;
    std::fclose(in);
    std::fclose(plain);
  }
}

}  // namespace
#endif
