#include "base/hash/md5.h"

#include <openssl/evp.h>
#include <stdio.h>

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

std::string Hex(const uint8_t* bytes, size_t size) {
  std::string hex;
  char two[3];
  for (size_t i = 0; i < size; ++i) {
    snprintf(two, sizeof(two), "%02x", bytes[i]);
    hex += two;
  }
  return hex;
}

std::string MD5Hex(StringPiece data) {
  MD5Context context;
  MD5Init(&context);
  MD5Update(&context, data);
  MD5Digest digest;
  MD5Final(&digest, &context);
  return Hex(digest.a, sizeof(digest.a));
}

// The same digest from the linked libcrypto, as a second opinion.
std::string ReferenceHex(const std::string& data, const EVP_MD* md) {
  uint8_t out[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EXPECT_EQ(1, EVP_Digest(data.data(), data.size(), out, &size, md, nullptr));
  return Hex(out, size);
}

TEST(MD5Test, PublishedVectors) {
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", MD5Hex(""));
  EXPECT_EQ("0cc175b9c0f1b6a831c399e269772661", MD5Hex("a"));
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", MD5Hex("abc"));
  EXPECT_EQ("f96b697d7cb7938d525a2f31aaf161d0", MD5Hex("message digest"));
  EXPECT_EQ("c3fcd3d76192e4007dfb496cca67e13b",
            MD5Hex("abcdefghijklmnopqrstuvwxyz"));
  EXPECT_EQ("d174ab98d277d9f5a5611c2c9f419d9f",
            MD5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                   "0123456789"));
  EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
            MD5Hex("1234567890123456789012345678901234567890"
                   "1234567890123456789012345678901234567890"));
}

TEST(MD5Test, EveryLengthAroundTheBlockBoundaries) {
  // 55 bytes fit the length into one block, 56 need a second; 64 is one
  // whole block before the padding.
  std::string data;
  for (int length = 0; length <= 200; ++length) {
    EXPECT_EQ(ReferenceHex(data, EVP_md5()), MD5Hex(data)) << length;
    data.push_back(static_cast<char>(length * 7 + 1));
  }
}

TEST(MD5Test, SplitUpdatesGiveTheSameDigest) {
  std::string data(300, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i ^ 0x5a);
  const std::string whole = MD5Hex(data);
  for (size_t split : {1u, 55u, 56u, 63u, 64u, 65u, 128u, 299u}) {
    MD5Context context;
    MD5Init(&context);
    StringPiece piece(data);
    MD5Update(&context, piece.substr(0, split));
    MD5Update(&context, StringPiece());
    MD5Update(&context, piece.substr(split));
    MD5Digest digest;
    MD5Final(&digest, &context);
    EXPECT_EQ(whole, Hex(digest.a, sizeof(digest.a))) << split;
  }
}

TEST(MD5Test, FinalWipesTheContext) {
  MD5Context context;
  MD5Init(&context);
  MD5Update(&context, "secret");
  MD5Digest digest;
  MD5Final(&digest, &context);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&context);
  for (size_t i = 0; i < sizeof(context); ++i)
    ASSERT_EQ(0, bytes[i]) << i;
}

}  // namespace
}  // namespace base
