#include "base/hash/sha1.h"

#include <string.h>

namespace base {

namespace {

const size_t kBlockSize = 64;

inline uint32_t RotateLeft(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

inline uint32_t LoadBigEndian(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 |
         uint32_t{p[3]};
}

inline void StoreBigEndian(uint32_t value, uint8_t* p) {
  p[0] = static_cast<uint8_t>(value >> 24);
  p[1] = static_cast<uint8_t>(value >> 16);
  p[2] = static_cast<uint8_t>(value >> 8);
  p[3] = static_cast<uint8_t>(value);
}

// The round functions and constants of the four quarters of the 80 steps.
inline uint32_t Choose(uint32_t b, uint32_t c, uint32_t d) {
  return d ^ (b & (c ^ d));
}
inline uint32_t Parity(uint32_t b, uint32_t c, uint32_t d) {
  return b ^ c ^ d;
}
inline uint32_t Majority(uint32_t b, uint32_t c, uint32_t d) {
  return (b & c) | (d & (b | c));
}

// The schedule is kept as a ring of 16 words: word t (t >= 16) replaces
// word t - 16 in place.
inline uint32_t Schedule(uint32_t* w, int t) {
  const uint32_t next = RotateLeft(
      w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15], 1);
  w[t & 15] = next;
  return next;
}

// One step with the working variables passed in rotated order, so that no
// step moves them: e takes the new value and b its rotation.
#define SHA1_STEP(f, k, a, b, c, d, e, word)            \
  do {                                                  \
    e += RotateLeft(a, 5) + f(b, c, d) + (k) + (word);  \
    b = RotateLeft(b, 30);                              \
  } while (0)

// Five steps bring the variables back to their starting roles.
#define SHA1_FIVE(f, k, t, word)                 \
  SHA1_STEP(f, k, a, b, c, d, e, word(t));       \
  SHA1_STEP(f, k, e, a, b, c, d, word(t + 1));   \
  SHA1_STEP(f, k, d, e, a, b, c, word(t + 2));   \
  SHA1_STEP(f, k, c, d, e, a, b, word(t + 3));   \
  SHA1_STEP(f, k, b, c, d, e, a, word(t + 4))

// Runs the compression on whole blocks read straight from |data|.
void ProcessBlocks(uint32_t* h, const uint8_t* data, size_t blocks) {
  const uint32_t k0 = 0x5a827999, k1 = 0x6ed9eba1, k2 = 0x8f1bbcdc,
                 k3 = 0xca62c1d6;
  for (; blocks; --blocks, data += kBlockSize) {
    uint32_t w[16];
    for (int t = 0; t < 16; ++t)
      w[t] = LoadBigEndian(data + 4 * t);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];

#define SHA1_LOADED(t) w[(t)]
#define SHA1_SCHEDULED(t) Schedule(w, (t))
    SHA1_FIVE(Choose, k0, 0, SHA1_LOADED);
    SHA1_FIVE(Choose, k0, 5, SHA1_LOADED);
    SHA1_FIVE(Choose, k0, 10, SHA1_LOADED);
    SHA1_STEP(Choose, k0, a, b, c, d, e, w[15]);
    SHA1_STEP(Choose, k0, e, a, b, c, d, Schedule(w, 16));
    SHA1_STEP(Choose, k0, d, e, a, b, c, Schedule(w, 17));
    SHA1_STEP(Choose, k0, c, d, e, a, b, Schedule(w, 18));
    SHA1_STEP(Choose, k0, b, c, d, e, a, Schedule(w, 19));
    SHA1_FIVE(Parity, k1, 20, SHA1_SCHEDULED);
    SHA1_FIVE(Parity, k1, 25, SHA1_SCHEDULED);
    SHA1_FIVE(Parity, k1, 30, SHA1_SCHEDULED);
    SHA1_FIVE(Parity, k1, 35, SHA1_SCHEDULED);
    SHA1_FIVE(Majority, k2, 40, SHA1_SCHEDULED);
    SHA1_FIVE(Majority, k2, 45, SHA1_SCHEDULED);
    SHA1_FIVE(Majority, k2, 50, SHA1_SCHEDULED);
    SHA1_FIVE(Majority, k2, 55, SHA1_SCHEDULED);
    SHA1_FIVE(Parity, k3, 60, SHA1_SCHEDULED);
    SHA1_FIVE(Parity, k3, 65, SHA1_SCHEDULED);
    SHA1_FIVE(Parity, k3, 70, SHA1_SCHEDULED);
    SHA1_FIVE(Parity, k3, 75, SHA1_SCHEDULED);
#undef SHA1_LOADED
#undef SHA1_SCHEDULED

    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
  }
}

#undef SHA1_FIVE
#undef SHA1_STEP

}  // namespace

void SHA1HashBytes(const uint8_t* data, size_t len, uint8_t* hash) {
  uint32_t h[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476,
                   0xc3d2e1f0};
  const size_t whole = len / kBlockSize;
  ProcessBlocks(h, data, whole);

  // The rest, 0x80, zeros and the bit length fill one block, or two when
  // fewer than 9 bytes are left in the first.
  uint8_t tail[2 * kBlockSize] = {};
  const size_t rest = len % kBlockSize;
  if (rest)
    memcpy(tail, data + whole * kBlockSize, rest);
  tail[rest] = 0x80;
  const size_t tail_size = rest < kBlockSize - 8 ? kBlockSize : 2 * kBlockSize;
  const uint64_t length_bits = static_cast<uint64_t>(len) * 8;
  StoreBigEndian(static_cast<uint32_t>(length_bits >> 32), tail + tail_size - 8);
  StoreBigEndian(static_cast<uint32_t>(length_bits), tail + tail_size - 4);
  ProcessBlocks(h, tail, tail_size / kBlockSize);

  for (int i = 0; i < 5; ++i)
    StoreBigEndian(h[i], hash + 4 * i);
}

}  // namespace base
