#ifndef BASE_STRINGS_STRING_PIECE_H_
#define BASE_STRINGS_STRING_PIECE_H_

// Temporary local stand-in until the real view lands; never landed.
#include <cstddef>
#include <cstring>
#include <string>

#include "base/strings/string16.h"

namespace base {

template <typename C>
class BasicStringPieceStandIn {
 public:
  typedef std::basic_string<C> StringType;
  BasicStringPieceStandIn() : ptr_(nullptr), length_(0) {}
  BasicStringPieceStandIn(const C* str)
      : ptr_(str), length_(str ? std::char_traits<C>::length(str) : 0) {}
  BasicStringPieceStandIn(const StringType& str)
      : ptr_(str.data()), length_(str.size()) {}
  BasicStringPieceStandIn(const C* str, size_t len) : ptr_(str), length_(len) {}
  const C* data() const { return ptr_; }
  size_t size() const { return length_; }
  size_t length() const { return length_; }
  bool empty() const { return length_ == 0; }
  C operator[](size_t i) const { return ptr_[i]; }
  const C* begin() const { return ptr_; }
  const C* end() const { return ptr_ + length_; }
  StringType as_string() const {
    return empty() ? StringType() : StringType(ptr_, length_);
  }

 private:
  const C* ptr_;
  size_t length_;
};

typedef BasicStringPieceStandIn<char> StringPiece;
typedef BasicStringPieceStandIn<char16> StringPiece16;

inline bool operator==(StringPiece a, StringPiece b) {
  return a.size() == b.size() &&
         (a.empty() || memcmp(a.data(), b.data(), a.size()) == 0);
}

}  // namespace base

#endif  // BASE_STRINGS_STRING_PIECE_H_
