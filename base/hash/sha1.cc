#include "base/hash/sha1.h"

#include <string.h>

namespace base {

namespace {

uint32_t RotateLeft(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

// The working state of one digest.
class SHA1State {
 public:
  SHA1State() = default;

  void Update(const uint8_t* data, size_t len) {
    length_bits_ += static_cast<uint64_t>(len) * 8;
    while (len--) {
      block_[cursor_++] = *data++;
      if (cursor_ == 64)
        Process();
    }
  }

  void Final(uint8_t* hash) {
    const uint64_t length_bits = length_bits_;
    Pad(0x80);
    while (cursor_ != 56)
      Pad(0);
    for (int i = 7; i >= 0; --i)
      Pad(static_cast<uint8_t>(length_bits >> (8 * i)));
    for (int i = 0; i < 5; ++i) {
      for (int j = 0; j < 4; ++j)
        hash[4 * i + j] = static_cast<uint8_t>(h_[i] >> (24 - 8 * j));
    }
  }

 private:
  void Pad(uint8_t byte) {
    block_[cursor_++] = byte;
    if (cursor_ == 64)
      Process();
  }

  void Process() {
    for (int t = 0; t < 16; ++t) {
      const uint8_t* p = block_ + 4 * t;
      w_[t] = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 |
              uint32_t{p[2]} << 8 | uint32_t{p[3]};
    }
    for (int t = 16; t < 80; ++t)
      w_[t] = RotateLeft(w_[t - 3] ^ w_[t - 8] ^ w_[t - 14] ^ w_[t - 16], 1);

    uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
    for (int t = 0; t < 80; ++t) {
      uint32_t f, k;
      if (t < 20) {
        f = (b & c) | (~b & d);
        k = 0x5a827999;
      } else if (t < 40) {
        f = b ^ c ^ d;
        k = 0x6ed9eba1;
      } else if (t < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8f1bbcdc;
      } else {
        f = b ^ c ^ d;
        k = 0xca62c1d6;
      }
      const uint32_t temp = RotateLeft(a, 5) + f + e + w_[t] + k;
      e = d;
      d = c;
      c = RotateLeft(b, 30);
      b = a;
      a = temp;
    }
    h_[0] += a;
    h_[1] += b;
    h_[2] += c;
    h_[3] += d;
    h_[4] += e;
    cursor_ = 0;
  }

  uint32_t h_[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476,
                    0xc3d2e1f0};
  uint8_t block_[64];
  uint32_t w_[80];
  uint32_t cursor_ = 0;
  uint64_t length_bits_ = 0;
};

}  // namespace

void SHA1HashBytes(const uint8_t* data, size_t len, uint8_t* hash) {
  SHA1State state;
  state.Update(data, len);
  state.Final(hash);
}

}  // namespace base
