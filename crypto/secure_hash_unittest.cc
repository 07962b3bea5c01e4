#include "crypto/secure_hash.h"

#include <openssl/evp.h>
#include <string.h>

#include <string>

#include "base/logging.h"
#include "gtest/gtest.h"

namespace crypto {
namespace {

// SHA-256 of "abc" (FIPS 180-2).
const uint8_t kAbcDigest[32] = {
    0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40,
    0xde, 0x5d, 0xae, 0x22, 0x23, 0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17,
    0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};

TEST(SecureHashTest, DigestInPiecesAndShortOutputs) {
  std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
  ASSERT_TRUE(hash);
  EXPECT_EQ(32u, hash->GetHashLength());
  hash->Update("a", 1);
  hash->Update("", 0);
  hash->Update("bc", 2);
  std::unique_ptr<SecureHash> clone = hash->Clone();

  uint8_t output[40];
  memset(output, 0xee, sizeof(output));
  hash->Finish(output, sizeof(output));
  EXPECT_EQ(0, memcmp(kAbcDigest, output, 32));
  EXPECT_EQ(0xee, output[32]);  // Only the digest is written.

  uint8_t half[16];
  clone->Finish(half, sizeof(half));
  EXPECT_EQ(0, memcmp(kAbcDigest, half, sizeof(half)));
}

TEST(SecureHashTest, CloneContinuesIndependently) {
  std::string data(1000, 'x');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 31);
  std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
  hash->Update(data.data(), 300);
  std::unique_ptr<SecureHash> clone = hash->Clone();
  clone->Update("other", 5);  // Must not disturb the original.
  hash->Update(data.data() + 300, data.size() - 300);
  uint8_t digest[32];
  hash->Finish(digest, sizeof(digest));

  uint8_t reference[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  ASSERT_EQ(1, EVP_Digest(data.data(), data.size(), reference, &size,
                          EVP_sha256(), nullptr));
  ASSERT_EQ(32u, size);
  EXPECT_EQ(0, memcmp(reference, digest, 32));
}

std::string* g_logged = nullptr;

bool CaptureLog(int severity, const char*, int, size_t start,
                const std::string& text) {
  if (severity == base::LOG_ERROR)
    *g_logged += text.substr(start);
  return true;
}

TEST(SecureHashTest, UnknownAlgorithmIsRefusedWithAnError) {
  std::string logged;
  g_logged = &logged;
  base::LogMessageHandlerFunction old = base::GetLogMessageHandler();
  base::SetLogMessageHandler(&CaptureLog);
  std::unique_ptr<SecureHash> hash =
      SecureHash::Create(static_cast<SecureHash::Algorithm>(1));
  base::SetLogMessageHandler(old);
  g_logged = nullptr;
  EXPECT_FALSE(hash);
  EXPECT_NE(std::string::npos, logged.find("NOT IMPLEMENTED"));
}

}  // namespace
}  // namespace crypto
