#include "base/hash/sha1.h"

#include <openssl/evp.h>

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

std::string Digest(const std::string& data) {
  uint8_t hash[kSHA1Length];
  SHA1HashBytes(reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                hash);
  return std::string(reinterpret_cast<const char*>(hash), sizeof(hash));
}

std::string ReferenceDigest(const std::string& data) {
  uint8_t out[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EXPECT_EQ(1, EVP_Digest(data.data(), data.size(), out, &size, EVP_sha1(),
                          nullptr));
  return std::string(reinterpret_cast<const char*>(out), size);
}

std::string FromHex(const char* hex) {
  std::string bytes;
  for (; hex[0] && hex[1]; hex += 2)
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex, 2), nullptr, 16)));
  return bytes;
}

TEST(SHA1Test, PublishedVectors) {
  EXPECT_EQ(FromHex("a9993e364706816aba3e25717850c26c9cd0d89d"),
            Digest("abc"));
  EXPECT_EQ(FromHex("84983e441c3bd26ebaae4aa1f95129e5e54670f1"),
            Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
  EXPECT_EQ(FromHex("34aa973cd4c4daa4f61eeb2bdbad27316534016f"),
            Digest(std::string(1000000, 'a')));
  EXPECT_EQ(FromHex("da39a3ee5e6b4b0d3255bfef95601890afd80709"), Digest(""));
}

TEST(SHA1Test, EveryLengthAroundTheBlockBoundaries) {
  std::string data;
  for (int length = 0; length <= 200; ++length) {
    EXPECT_EQ(ReferenceDigest(data), Digest(data)) << length;
    data.push_back(static_cast<char>(0xff - length * 3));
  }
}

}  // namespace
}  // namespace base
