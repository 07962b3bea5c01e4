#include "base/strings/string_piece.h"

#include <algorithm>
#include <ostream>

namespace base {
namespace {

// Membership in a set of narrow units. One unit is compared directly;
// larger sets are looked up in a table indexed by the unsigned byte, so
// that bytes of 0x80 and above never turn negative.
class NarrowSet {
 public:
  explicit NarrowSet(const StringPiece& set) : set_(set) {
    if (set.size() < 2)
      return;
    std::fill(table_, table_ + 256, false);
    for (char c : set)
      table_[static_cast<unsigned char>(c)] = true;
  }
  bool Contains(char c) const {
    if (set_.size() < 2)
      return set_.size() == 1 && set_[0] == c;
    return table_[static_cast<unsigned char>(c)];
  }

 private:
  StringPiece set_;
  bool table_[256];
};

// Wide sets are small (whitespace, separators), so a scan serves.
class WideSet {
 public:
  explicit WideSet(const StringPiece16& set) : set_(set) {}
  bool Contains(char16 c) const {
    return std::find(set_.begin(), set_.end(), c) != set_.end();
  }

 private:
  StringPiece16 set_;
};

template <typename Piece, typename Set>
size_t FindForward(const Piece& self, const Set& set, size_t pos, bool in_set) {
  for (size_t i = pos; i < self.size(); ++i) {
    if (set.Contains(self[i]) == in_set)
      return i;
  }
  return Piece::npos;
}

template <typename Piece, typename Set>
size_t FindBackward(const Piece& self, const Set& set, size_t pos,
                    bool in_set) {
  if (self.empty())
    return Piece::npos;
  for (size_t i = std::min(pos, self.size() - 1) + 1; i > 0; --i) {
    if (set.Contains(self[i - 1]) == in_set)
      return i - 1;
  }
  return Piece::npos;
}

template <typename Piece>
size_t FindT(const Piece& self, const Piece& s, size_t pos) {
  if (pos > self.size())
    return Piece::npos;
  auto result = std::search(self.begin() + pos, self.end(), s.begin(), s.end());
  size_t found = static_cast<size_t>(result - self.begin());
  return found + s.size() <= self.size() ? found : Piece::npos;
}

template <typename Piece>
size_t RFindT(const Piece& self, const Piece& s, size_t pos) {
  if (self.size() < s.size())
    return Piece::npos;
  if (s.empty())
    return std::min(self.size(), pos);
  auto last = self.begin() + std::min(self.size() - s.size(), pos) + s.size();
  auto result = std::find_end(self.begin(), last, s.begin(), s.end());
  return result != last ? static_cast<size_t>(result - self.begin())
                        : Piece::npos;
}

}  // namespace

namespace internal {

size_t find(const StringPiece& self, const StringPiece& s, size_t pos) {
  return FindT(self, s, pos);
}
size_t find(const StringPiece16& self, const StringPiece16& s, size_t pos) {
  return FindT(self, s, pos);
}

size_t rfind(const StringPiece& self, const StringPiece& s, size_t pos) {
  return RFindT(self, s, pos);
}
size_t rfind(const StringPiece16& self, const StringPiece16& s, size_t pos) {
  return RFindT(self, s, pos);
}

size_t find_first_of(const StringPiece& self, const StringPiece& s,
                     size_t pos) {
  return FindForward(self, NarrowSet(s), pos, true);
}
size_t find_first_of(const StringPiece16& self, const StringPiece16& s,
                     size_t pos) {
  return FindForward(self, WideSet(s), pos, true);
}

size_t find_first_not_of(const StringPiece& self, const StringPiece& s,
                         size_t pos) {
  return FindForward(self, NarrowSet(s), pos, false);
}
size_t find_first_not_of(const StringPiece16& self, const StringPiece16& s,
                         size_t pos) {
  return FindForward(self, WideSet(s), pos, false);
}

size_t find_last_of(const StringPiece& self, const StringPiece& s, size_t pos) {
  return FindBackward(self, NarrowSet(s), pos, true);
}
size_t find_last_of(const StringPiece16& self, const StringPiece16& s,
                    size_t pos) {
  return FindBackward(self, WideSet(s), pos, true);
}

size_t find_last_not_of(const StringPiece& self, const StringPiece& s,
                        size_t pos) {
  return FindBackward(self, NarrowSet(s), pos, false);
}
size_t find_last_not_of(const StringPiece16& self, const StringPiece16& s,
                        size_t pos) {
  return FindBackward(self, WideSet(s), pos, false);
}

}  // namespace internal

std::ostream& operator<<(std::ostream& o, const StringPiece& piece) {
  o.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  return o;
}

}  // namespace base
