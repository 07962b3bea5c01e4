#ifndef BASE_STRINGS_STRING_PIECE_H_
#define BASE_STRINGS_STRING_PIECE_H_

#include <stddef.h>

#include <iosfwd>
#include <string>

#include "base/strings/string16.h"

namespace base {

template <typename STRING_TYPE>
class BasicStringPiece;
typedef BasicStringPiece<std::string> StringPiece;
typedef BasicStringPiece<string16> StringPiece16;

// The searches live out of line, one set per unit width. Narrow set
// searches go through a 256-entry table built per call.
namespace internal {

size_t find(const StringPiece& self, const StringPiece& s, size_t pos);
size_t find(const StringPiece16& self, const StringPiece16& s, size_t pos);
size_t rfind(const StringPiece& self, const StringPiece& s, size_t pos);
size_t rfind(const StringPiece16& self, const StringPiece16& s, size_t pos);
size_t find_first_of(const StringPiece& self, const StringPiece& s, size_t pos);
size_t find_first_of(const StringPiece16& self, const StringPiece16& s,
                     size_t pos);
size_t find_first_not_of(const StringPiece& self, const StringPiece& s,
                         size_t pos);
size_t find_first_not_of(const StringPiece16& self, const StringPiece16& s,
                         size_t pos);
size_t find_last_of(const StringPiece& self, const StringPiece& s, size_t pos);
size_t find_last_of(const StringPiece16& self, const StringPiece16& s,
                    size_t pos);
size_t find_last_not_of(const StringPiece& self, const StringPiece& s,
                        size_t pos);
size_t find_last_not_of(const StringPiece16& self, const StringPiece16& s,
                        size_t pos);

}  // namespace internal

// A non-owning view of text: a pointer and a length in units. Cheap to
// copy and pass by value; it must not outlive the text it views.
template <typename STRING_TYPE>
class BasicStringPiece {
 public:
  typedef size_t size_type;
  typedef typename STRING_TYPE::value_type value_type;
  typedef const value_type* pointer;
  typedef const value_type& reference;
  typedef const value_type& const_reference;
  typedef const value_type* const_iterator;
  typedef const value_type* iterator;

  static constexpr size_type npos = static_cast<size_type>(-1);

  constexpr BasicStringPiece() : ptr_(nullptr), length_(0) {}
  // A NUL-terminated string; null gives the empty view.
  BasicStringPiece(const value_type* str)  // NOLINT: implicit on purpose
      : ptr_(str), length_(str ? STRING_TYPE::traits_type::length(str) : 0) {}
  BasicStringPiece(const STRING_TYPE& str)  // NOLINT: implicit on purpose
      : ptr_(str.data()), length_(str.size()) {}
  constexpr BasicStringPiece(const value_type* offset, size_type len)
      : ptr_(offset), length_(len) {}

  constexpr const value_type* data() const { return ptr_; }
  constexpr size_type size() const { return length_; }
  constexpr size_type length() const { return length_; }
  constexpr bool empty() const { return length_ == 0; }

  void clear() {
    ptr_ = nullptr;
    length_ = 0;
  }
  void set(const value_type* data, size_type len) {
    ptr_ = data;
    length_ = len;
  }

  constexpr value_type operator[](size_type i) const { return ptr_[i]; }
  value_type front() const { return ptr_[0]; }
  value_type back() const { return ptr_[length_ - 1]; }

  void remove_prefix(size_type n) {
    ptr_ += n;
    length_ -= n;
  }
  void remove_suffix(size_type n) { length_ -= n; }

  // Negative, zero or positive as this view sorts before, with or after
  // |x|: units compared as unsigned values, a prefix first.
  int compare(const BasicStringPiece& x) const {
    size_type common = length_ < x.length_ ? length_ : x.length_;
    int r =
        common ? STRING_TYPE::traits_type::compare(ptr_, x.ptr_, common) : 0;
    if (r == 0) {
      if (length_ < x.length_)
        r = -1;
      else if (length_ > x.length_)
        r = +1;
    }
    return r;
  }

  STRING_TYPE as_string() const {
    return empty() ? STRING_TYPE() : STRING_TYPE(data(), size());
  }
  void CopyToString(STRING_TYPE* target) const {
    target->assign(empty() ? nullptr : data(), size());
  }
  void AppendToString(STRING_TYPE* target) const {
    if (!empty())
      target->append(data(), size());
  }

  // Hidden friends, so that strings and C strings convert on either side.
  // Two empty views are equal whatever their pointers.
  friend bool operator==(const BasicStringPiece& x, const BasicStringPiece& y) {
    return x.size() == y.size() && x.compare(y) == 0;
  }
  friend bool operator!=(const BasicStringPiece& x, const BasicStringPiece& y) {
    return !(x == y);
  }
  friend bool operator<(const BasicStringPiece& x, const BasicStringPiece& y) {
    return x.compare(y) < 0;
  }
  friend bool operator>(const BasicStringPiece& x, const BasicStringPiece& y) {
    return y < x;
  }
  friend bool operator<=(const BasicStringPiece& x, const BasicStringPiece& y) {
    return !(y < x);
  }
  friend bool operator>=(const BasicStringPiece& x, const BasicStringPiece& y) {
    return !(x < y);
  }

  const_iterator begin() const { return ptr_; }
  const_iterator end() const { return ptr_ + length_; }

  // Searches in the manner of the standard strings; every one answers
  // npos for "not found".
  size_type find(const BasicStringPiece& s, size_type pos = 0) const {
    return internal::find(*this, s, pos);
  }
  size_type find(value_type c, size_type pos = 0) const {
    return internal::find(*this, BasicStringPiece(&c, 1), pos);
  }
  size_type rfind(const BasicStringPiece& s, size_type pos = npos) const {
    return internal::rfind(*this, s, pos);
  }
  size_type rfind(value_type c, size_type pos = npos) const {
    return internal::rfind(*this, BasicStringPiece(&c, 1), pos);
  }
  size_type find_first_of(const BasicStringPiece& s, size_type pos = 0) const {
    return internal::find_first_of(*this, s, pos);
  }
  size_type find_first_of(value_type c, size_type pos = 0) const {
    return find(c, pos);
  }
  size_type find_first_not_of(const BasicStringPiece& s,
                              size_type pos = 0) const {
    return internal::find_first_not_of(*this, s, pos);
  }
  size_type find_first_not_of(value_type c, size_type pos = 0) const {
    return internal::find_first_not_of(*this, BasicStringPiece(&c, 1), pos);
  }
  size_type find_last_of(const BasicStringPiece& s,
                         size_type pos = npos) const {
    return internal::find_last_of(*this, s, pos);
  }
  size_type find_last_of(value_type c, size_type pos = npos) const {
    return rfind(c, pos);
  }
  size_type find_last_not_of(const BasicStringPiece& s,
                             size_type pos = npos) const {
    return internal::find_last_not_of(*this, s, pos);
  }
  size_type find_last_not_of(value_type c, size_type pos = npos) const {
    return internal::find_last_not_of(*this, BasicStringPiece(&c, 1), pos);
  }

  // Never fails: the start is clamped to the length and the count to what
  // remains after it.
  BasicStringPiece substr(size_type pos, size_type n = npos) const {
    if (pos > length_)
      pos = length_;
    if (n > length_ - pos)
      n = length_ - pos;
    return BasicStringPiece(ptr_ + pos, n);
  }

 private:
  const value_type* ptr_;
  size_type length_;
};

template <typename STRING_TYPE>
constexpr typename BasicStringPiece<STRING_TYPE>::size_type
    BasicStringPiece<STRING_TYPE>::npos;

std::ostream& operator<<(std::ostream& o, const StringPiece& piece);

}  // namespace base

#endif  // BASE_STRINGS_STRING_PIECE_H_
