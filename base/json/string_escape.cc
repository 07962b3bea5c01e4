#include "base/json/string_escape.h"

#include <limits.h>
#include <stdint.h>
#include <string.h>

#include "base/json/string_scan.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

// The letter after the backslash for each ASCII byte that is escaped, 'u'
// for the \uXXXX form; 0 for a byte written as itself.
constexpr char kEscapeLetters[0x80] = {
    'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'b', 't', 'n', 'u', 'f', 'r', 'u', 'u',
    'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u',
    0,   0,   '"', 0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   'u', 0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   '\\', 0,  0,   0,
};

// Writes the escaped text straight into the destination string. The
// string is lengthened ahead of the writes and cut back to what was
// written at the end, so that each byte costs a store, not an append.
class EscapeWriter {
 public:
  // Room for |length| input bytes written as they stand, and the quotes.
  EscapeWriter(std::string* dest, size_t length) : dest_(dest) {
    start_ = dest_->size();
    Resize(start_, length + kSlack);
  }
  ~EscapeWriter() { dest_->resize(static_cast<size_t>(out_ - dest_->data())); }

  char* out() { return out_; }
  void Advance(size_t length) { out_ += length; }

  // Makes sure that |left| more input bytes written as they stand, and an
  // escape that writes up to kMaxGrowth bytes more than it reads, fit.
  void Reserve(size_t left) {
    const size_t needed = left + kMaxGrowth + kSlack;
    if (static_cast<size_t>(limit_ - out_) < needed)
      Resize(static_cast<size_t>(out_ - dest_->data()), needed + left);
  }

  void Put(const char* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i)
      out_[i] = bytes[i];
    out_ += length;
  }

 private:
  // A \uXXXX escape of one byte writes five bytes more than it reads.
  static const size_t kMaxGrowth = 5;
  // The closing quote, and the eight bytes a word copy may store past the
  // text it keeps.
  static const size_t kSlack = 1 + 8;

  void Resize(size_t used, size_t room) {
    dest_->resize(used + room);
    char* base = &(*dest_)[0];
    out_ = base + used;
    limit_ = base + dest_->size();
  }

  std::string* dest_;
  size_t start_;
  char* out_;
  char* limit_;
};

// Copies the bytes from |p| up to the first one that FindSpecialByte() of
// the escaper would stop at, and returns that byte's address. Words are
// stored whole before they are tested; only the kept bytes count.
const char* CopyPlainRun(const char* p, const char* end, EscapeWriter* out) {
  while (end - p >= 8) {
    memcpy(out->out(), p, 8);
    const char* stop = internal::FindSpecialByte<0x20, '"', '\\', '<'>(p, p + 8);
    out->Advance(static_cast<size_t>(stop - p));
    if (stop != p + 8)
      return stop;
    p += 8;
  }
  const char* stop = internal::FindSpecialByte<0x20, '"', '\\', '<'>(p, end);
  out->Put(p, static_cast<size_t>(stop - p));
  return stop;
}

// \uXXXX with four upper-case hexadecimal digits.
void PutUnicodeEscape(uint32_t code_unit, EscapeWriter* out) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  const char escape[6] = {'\\',
                          'u',
                          kHexDigits[(code_unit >> 12) & 0xF],
                          kHexDigits[(code_unit >> 8) & 0xF],
                          kHexDigits[(code_unit >> 4) & 0xF],
                          kHexDigits[code_unit & 0xF]};
  out->Put(escape, sizeof(escape));
}

bool IsLineOrParagraphSeparator(const char* p) {
  // U+2028 and U+2029 end a line in script text: E2 80 A8 and E2 80 A9.
  return static_cast<unsigned char>(p[0]) == 0xE2 &&
         static_cast<unsigned char>(p[1]) == 0x80 &&
         (static_cast<unsigned char>(p[2]) & 0xFE) == 0xA8;
}

}  // namespace

bool EscapeJSONString(StringPiece str, std::string* dest) {
  CHECK(str.size() <= static_cast<size_t>(INT_MAX));
  const char* const begin = str.data();
  const char* const end = begin + str.size();
  EscapeWriter out(dest, str.size() + 1);
  out.Put("\"", 1);
  bool valid = true;
  const char* p = begin;
  while ((p = CopyPlainRun(p, end, &out)) != end) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x80) {
      out.Reserve(static_cast<size_t>(end - p));
      const char letter = kEscapeLetters[c];
      if (letter == 'u') {
        PutUnicodeEscape(c, &out);
      } else {
        const char escape[2] = {'\\', letter};
        out.Put(escape, sizeof(escape));
      }
      ++p;
      continue;
    }
    // Non-ASCII characters tend to come together: valid ones are copied
    // as they stand, without going back to the word scan between them.
    size_t length;
    while ((length = WellFormedUTF8Length(p, end - p)) != 0) {
      if (length == 3 && IsLineOrParagraphSeparator(p)) {
        out.Reserve(static_cast<size_t>(end - p));
        PutUnicodeEscape(0x2028 | (p[2] & 1), &out);
      } else {
        out.Put(p, length);
      }
      p += length;
      if (p == end || static_cast<unsigned char>(*p) < 0x80)
        break;
    }
    if (length)
      continue;
    // Malformed: U+FFFD for the bytes the decoder takes as one error.
    out.Reserve(static_cast<size_t>(end - p));
    size_t index = static_cast<size_t>(p - begin);
    uint32_t code_point;
    ReadUTF8CodePoint(begin, str.size(), &index, &code_point);
    out.Put("\xEF\xBF\xBD", 3);
    valid = false;
    p = begin + index;
  }
  out.Put("\"", 1);
  return valid;
}

}  // namespace base
