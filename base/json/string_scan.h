#ifndef BASE_JSON_STRING_SCAN_H_
#define BASE_JSON_STRING_SCAN_H_

// What the JSON reader and writer share to get through string text quickly.

#include <stdint.h>
#include <string.h>

#include <initializer_list>
#include <string>

namespace base {
namespace internal {

// The first byte in [p, end) that needs a closer look when JSON string
// text is read or written: one of the ASCII bytes |kStops|, a byte below
// |kFloor| (0 for none), or any byte of 0x80 or above. |end| when there is
// none. Eight bytes are tested at a time while eight are left, so that
// plain text is skipped about as fast as it can be copied.
template <unsigned char kFloor, char... kStops>
inline const char* FindSpecialByte(const char* p, const char* end) {
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
                "the first byte found is the lowest one marked");
  const uint64_t kOnes = 0x0101010101010101ULL;
  const uint64_t kHighBits = 0x8080808080808080ULL;
  while (end - p >= 8) {
    uint64_t word;
    memcpy(&word, p, sizeof(word));
    // (x - ones) & ~x marks the bytes of x that are zero (or below the
    // subtracted value); a borrow can mark bytes above a marked one too,
    // never one below it.
    uint64_t marks = word;
    if (kFloor)
      marks |= (word - kOnes * kFloor) & ~word;
    for (const char stop : {kStops...}) {
      const uint64_t equal = word ^ (kOnes * static_cast<unsigned char>(stop));
      marks |= (equal - kOnes) & ~equal;
    }
    marks &= kHighBits;
    if (marks)
      return p + (__builtin_ctzll(marks) >> 3);
    p += sizeof(word);
  }
  for (; p != end; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 0x80 || c < kFloor)
      return p;
    for (const char stop : {kStops...}) {
      if (*p == stop)
        return p;
    }
  }
  return p;
}

// Appends to a string through a block on the stack, so that the many
// small pieces of an escaped or unescaped string cost a few stores each
// instead of an append each; pieces longer than the block go straight
// through. The destructor appends what is left.
class BufferedAppender {
 public:
  explicit BufferedAppender(std::string* dest) : dest_(dest), used_(0) {}
  BufferedAppender(const BufferedAppender&) = delete;
  BufferedAppender& operator=(const BufferedAppender&) = delete;
  ~BufferedAppender() { Flush(); }

  void Append(const char* bytes, size_t length) {
    if (length > sizeof(block_) - used_) {
      Flush();
      if (length > sizeof(block_)) {
        dest_->append(bytes, length);
        return;
      }
    }
    memcpy(block_ + used_, bytes, length);
    used_ += length;
  }

  // The same for a piece followed by at least |readable| - |length| bytes
  // that may be read too: a short piece then moves as one block of 16,
  // whatever its length.
  void Append(const char* bytes, size_t length, size_t readable) {
    const size_t kBlock = 16;
    if (length <= kBlock && readable >= kBlock &&
        sizeof(block_) - used_ >= kBlock) {
      memcpy(block_ + used_, bytes, kBlock);
      used_ += length;
      return;
    }
    Append(bytes, length);
  }

  void AppendByte(char byte) {
    if (used_ == sizeof(block_))
      Flush();
    block_[used_++] = byte;
  }

  // Room for |length| (at most the block's size) bytes, written in place
  // and then kept with Commit().
  char* Claim(size_t length) {
    if (length > sizeof(block_) - used_)
      Flush();
    return block_ + used_;
  }
  void Commit(size_t length) { used_ += length; }

  void Flush() {
    // The first piece is built at its exact size, without the general
    // append's growth path.
    if (dest_->empty())
      *dest_ = std::string(block_, used_);
    else
      dest_->append(block_, used_);
    used_ = 0;
  }

 private:
  std::string* dest_;
  size_t used_;
  char block_[256];
};

}  // namespace internal
}  // namespace base

#endif  // BASE_JSON_STRING_SCAN_H_
