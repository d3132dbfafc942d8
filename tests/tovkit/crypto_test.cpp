// Key signatures and encrypted results against OpenSSL itself (its
// command for keys, certificates and `cms -decrypt`). Native only: the
// Windows side is covered by the whole runs under Wine.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "brand.h"
#include "decrypt.h"
#include "envelope_reader.h"
#include "keys.h"
#include "pack/envelope_output.h"
#include "run/brand.h"
#include "run/der.h"
#include "run/key_signature.h"
#include "sign.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::Tovkit;
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
      // "other" is issued by "org": its issuer is not its subject.
      const std::string command =
          "openssl req -nodes -subj /O=Acme/CN=" + name + kind + " -keyout " + d + name + ".key" +
          (name == "other" ? " 2>/dev/null | openssl x509 -req -set_serial 128 -CA " + d +
                                 "org.pem -CAkey " + d + "org.key"
                           : " -x509") +
          " -days 30 -out " + d + name + ".pem 2>/dev/null";
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
  // The commands: --pss signs with PSS; a check value alone does not pass
  // the certificate's check, the key signature does.
  const std::string crc = At("crc.tov"), pss = At("pss.tov");
  WriteFile(crc, testing_support::Signed(script));
  WriteFile(pss, script);
  EXPECT_EQ(
      Tovkit(tovkit::Sign, {"--pss", "--key", At("org.key"), "--cert", At("org.pem"), pss})[0],
      '0');
  const std::string verified = Tovkit(tovkit::Verify, {"--cert", At("org.pem"), crc, pss});
  EXPECT_EQ(verified.substr(0, verified.find(": verified with ")),
            "1 BAD " + crc + ": no key signature\nOK  " + pss + " (key signature rsa-pss-sha256");
}

// Sizes around the block, a content of 128 bytes (its length no longer
// fits in one byte), one moved in several chunks and one past the 16 MiB
// where the head's lengths change size (the content moves below it).
TEST_F(Crypto, EnvelopesOpenWithOpenSslAndTovkitToTheSameBytes) {
  const std::string sealed = At("r.p7m"), plain = At("r");
  for (size_t size : {size_t{0}, size_t{200000}, size_t{(16 << 20) + 5}, size_t{112}}) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 7919) >> 5);
    const std::string recipient = size == 112 ? "other" : "org";
    {
      EnvelopeOutput out(std::fopen(sealed.c_str(), "w+b"), Cert(recipient));
      for (size_t at = 0; at < size; at += 70001)
        ASSERT_TRUE(out.Write(content.data() + at, std::min<size_t>(70001, size - at)));
      ASSERT_TRUE(out.Close());
    }
    const std::string command = "openssl cms -decrypt -inform DER -binary -in " + sealed +
                                " -inkey " + At(recipient + ".key") + " -recip " +
                                At(recipient + ".pem") + " -out " + At("r.openssl") +
                                " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << size;
    EXPECT_TRUE(ReadFile(At("r.openssl")) == content) << size;
    const std::string bytes = ReadFile(sealed);  // one DER item, nothing after it
    der::Reader whole(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    der::Item item;
    EXPECT_TRUE(whole.Next(&item) && whole.AtEnd()) << size;
    std::remove(plain.c_str());
    EXPECT_EQ(Tovkit(tovkit::Decrypt, {sealed, "--key", At(recipient + ".key")}),
              "0 " + plain + ": decrypted\n");
    EXPECT_TRUE(ReadFile(plain) == content) << size;
  }
  EXPECT_EQ(Tovkit(tovkit::Decrypt, {sealed, "--key", At("org.key")}),
            "1 tovkit decrypt: " + plain + " exists already; name another with -o\n");
  // Another key names the recipient, and leaves nothing behind.
  EXPECT_EQ(
      Tovkit(tovkit::Decrypt, {sealed, "--key", At("org.key"), "-o", At("w")}),
      "1 tovkit decrypt: " + sealed +
          ": this key does not open the file; it was encrypted for:\n  O=Acme, CN=org, serial "
          "0080\n");
  EXPECT_FALSE(testing_support::FileExists(At("w.part")));
}

// A block full to its last byte reads; a second record of a kind, an EC
// recipient or a second block in the file make the brand unusable.
TEST_F(Crypto, BrandBlocksHoldOneOfEachKind) {
  const auto bytes = [](const std::string& b) {
    return reinterpret_cast<const unsigned char*>(b.data());
  };
  std::string block, full(kBrandBlockSize - kBrandHeadSize - 5, 'x');
  BrandCertificates read;
  ASSERT_TRUE(BuildBrandBlock({full, ""}, &block));
  EXPECT_TRUE(ParseBrandBlock(bytes(block), block.size(), &read) && read.trust == full);
  size_t offset = 0;
  EXPECT_FALSE(FindBrandBlock(block + block, &offset));
  ASSERT_TRUE(BuildBrandBlock({Cert("org").der, Cert("ec").der}, &block));
  EXPECT_EQ(ReadBrand(bytes(block), block.size()).state, Brand::State::Unreadable);
  block[kBrandHeadSize + 5 + Cert("org").der.size()] = static_cast<char>(kBrandTrust);
  EXPECT_FALSE(ParseBrandBlock(bytes(block), block.size(), &read));
}

// Envelopes tovkit cannot open are refused for what they are.
TEST_F(Crypto, EnvelopesRefusedForTheRightReason) {
  WriteFile(At("plain"), "result");
  for (const auto& [option, why] :
       {std::pair<std::string, std::string>{
            "-stream",
            "streamed (BER) CMS; re-encode it with `openssl cms -cmsout -inform DER -outform DER`"},
        {"-keyopt rsa_padding_mode:oaep", "RSA-OAEP key transport is not supported"}}) {
    ASSERT_EQ(std::system(("openssl cms -encrypt -binary -aes256 -outform DER -in " + At("plain") +
                           " -recip " + At("org.pem") + " " + option + " -out " + At("e.p7m") +
                           " 2>/dev/null")
                              .c_str()),
              0);
    const std::string head = ReadFile(At("e.p7m"));
    const auto* bytes = reinterpret_cast<const unsigned char*>(head.data());
    EXPECT_TRUE(tovkit::LooksLikeEnvelope(bytes, head.size())) << option;
    tovkit::EnvelopeHead envelope;
    std::string error;
    EXPECT_FALSE(tovkit::ReadEnvelopeHead(bytes, head.size(), head.size(), &envelope, &error));
    EXPECT_EQ(error, why);
  }
}

// A copy trusts one certificate, says which by the fingerprint OpenSSL
// gives it, and says what it replaces.
TEST_F(Crypto, BrandSaysExactlyWhatItTrusts) {
  std::string pe(0x200, '\0');
  pe[0] = 'M', pe[1] = 'Z', pe[0x3c] = 0x40;
  pe.replace(0x40, 4, std::string("PE\0\0", 4));
  pe[0x58] = 0x0b, pe[0x59] = 0x01;  // 32-bit optional header
  WriteFile(At("plain.exe"), pe + EmptyBrandBlock());
  WriteFile(At("two.pem"), ReadFile(At("org.pem")) + ReadFile(At("ec.pem")));
  const auto brand = [](std::vector<std::string> args, std::string* out) {
    std::ostringstream text;
    const int status = tovkit::Brand(args, text, text);
    *out = text.str();
    return status;
  };
  std::string out;
  EXPECT_EQ(
      brand({At("plain.exe"), "--trust", At("org.pem"), "--trust", At("ec.pem"), "-o", At("b.exe")},
            &out),
      2);
  EXPECT_NE(out.find("--trust is given more than once"), std::string::npos);
  EXPECT_EQ(brand({At("plain.exe"), "--trust", At("two.pem"), "-o", At("b.exe")}, &out), 1);
  EXPECT_NE(out.find("holds 2 certificates"), std::string::npos);
  EXPECT_EQ(brand({At("plain.exe"), "--trust", At("org.key"), "-o", At("b.exe")}, &out), 1);
  EXPECT_NE(out.find("is a private key, not a certificate"), std::string::npos);

  ASSERT_EQ(brand({At("plain.exe"), "--trust", At("org.pem"), "-o", At("b.exe")}, &out), 0) << out;
  ASSERT_EQ(std::system(("openssl x509 -noout -fingerprint -sha256 -in " + At("org.pem") + " >" +
                         At("fp") + " 2>/dev/null")
                            .c_str()),
            0);
  std::string fingerprint = ReadFile(At("fp"));
  fingerprint = fingerprint.substr(fingerprint.find('=') + 1, 95);
  EXPECT_NE(out.find("SHA256 Fingerprint=" + fingerprint), std::string::npos) << out;
  EXPECT_EQ(brand({At("b.exe"), "--trust", At("ec.pem"), "-o", At("c.exe")}, &out), 0);
  EXPECT_NE(out.find("is branded already; the copy replaces that brand:\n"
                     "  ran scripts signed by: O=Acme, CN=org"),
            std::string::npos)
      << out;

  // A certificate in the block that no longer reads: --show fails.
  std::string damaged = ReadFile(At("b.exe"));
  size_t block = 0;
  ASSERT_TRUE(FindBrandBlock(damaged, &block));
  damaged[block + kBrandHeadSize + 5] = 0x05;
  WriteFile(At("d.exe"), damaged);
  EXPECT_EQ(brand({"--show", At("d.exe")}, &out), 1);
  EXPECT_NE(out.find("unreadable certificate"), std::string::npos);
}

}  // namespace
#endif
