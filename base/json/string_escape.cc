#include "base/json/string_escape.h"

#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>

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

// The escaper keeps room at the output for the rest of the input written
// as it stands, plus kSlack: the closing quote and the eight bytes a word
// copy may store past the text it keeps. Before an escape it makes room
// for kMaxGrowth more, the most any escape writes beyond what it reads (a
// \uXXXX escape of one byte).
const size_t kSlack = 1 + 8;
const size_t kMaxGrowth = 5;

void ReserveForRest(const char* p, const char* end, internal::JSONOutput* out) {
  out->Reserve(static_cast<size_t>(end - p) + kMaxGrowth + kSlack);
}

// Writes bytes into room already reserved; short, so a plain loop.
void Put(const char* bytes, size_t length, internal::JSONOutput* out) {
  char* to = out->out();
  for (size_t i = 0; i < length; ++i)
    to[i] = bytes[i];
  out->Advance(length);
}

// Copies the bytes from |p| up to the first one that FindSpecialByte() of
// the escaper would stop at, and returns that byte's address. Words are
// stored whole before they are tested; only the kept bytes count.
const char* CopyPlainRun(const char* p,
                         const char* end,
                         internal::JSONOutput* out) {
  while (end - p >= 8) {
    memcpy(out->out(), p, 8);
    const char* stop =
        internal::FindSpecialByte<0x20, '"', '\\', '<'>(p, p + 8);
    out->Advance(static_cast<size_t>(stop - p));
    if (stop != p + 8)
      return stop;
    p += 8;
  }
  const char* stop = internal::FindSpecialByte<0x20, '"', '\\', '<'>(p, end);
  Put(p, static_cast<size_t>(stop - p), out);
  return stop;
}

// \uXXXX with four upper-case hexadecimal digits.
void PutUnicodeEscape(uint32_t code_unit, internal::JSONOutput* out) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  const char escape[6] = {'\\',
                          'u',
                          kHexDigits[(code_unit >> 12) & 0xF],
                          kHexDigits[(code_unit >> 8) & 0xF],
                          kHexDigits[(code_unit >> 4) & 0xF],
                          kHexDigits[code_unit & 0xF]};
  Put(escape, sizeof(escape), out);
}

bool IsLineOrParagraphSeparator(const char* p) {
  // U+2028 and U+2029 end a line in script text: E2 80 A8 and E2 80 A9.
  return static_cast<unsigned char>(p[0]) == 0xE2 &&
         static_cast<unsigned char>(p[1]) == 0x80 &&
         (static_cast<unsigned char>(p[2]) & 0xFE) == 0xA8;
}

}  // namespace

bool EscapeJSONString(StringPiece str, std::string* dest) {
  internal::JSONOutput out(dest);
  return internal::EscapeJSONStringTo(str, &out);
}

namespace internal {

JSONOutput::JSONOutput(std::string* dest) : dest_(dest), start_(dest->size()) {
  out_ = limit_ = &(*dest_)[0] + start_;
}

JSONOutput::~JSONOutput() {
  dest_->resize(static_cast<size_t>(out_ - dest_->data()));
}

// Spares a string of small writes from growing a few bytes at a time.
const size_t kMinGrowth = 256;

void JSONOutput::Grow(size_t size) {
  // At least doubles what this output has written, so that growing costs
  // a constant share of the writes; never more, whatever the string
  // held before.
  const size_t used = static_cast<size_t>(out_ - dest_->data());
  dest_->resize(used + size + std::max<size_t>(used - start_, kMinGrowth));
  char* base = &(*dest_)[0];
  out_ = base + used;
  limit_ = base + dest_->size();
}

bool EscapeJSONStringTo(StringPiece str, JSONOutput* out) {
  CHECK(str.size() <= static_cast<size_t>(INT_MAX));
  const char* const begin = str.data();
  const char* const end = begin + str.size();
  out->Reserve(str.size() + 1 + kSlack);
  Put("\"", 1, out);
  bool valid = true;
  const char* p = begin;
  while ((p = CopyPlainRun(p, end, out)) != end) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x80) {
      ReserveForRest(p, end, out);
      const char letter = kEscapeLetters[c];
      if (letter == 'u') {
        PutUnicodeEscape(c, out);
      } else {
        const char escape[2] = {'\\', letter};
        Put(escape, sizeof(escape), out);
      }
      ++p;
      continue;
    }
    // Non-ASCII characters tend to come together: valid ones are copied
    // as they stand, without going back to the word scan between them.
    size_t length;
    while ((length = WellFormedUTF8Length(p, end - p)) != 0) {
      if (length == 3 && IsLineOrParagraphSeparator(p)) {
        ReserveForRest(p, end, out);
        PutUnicodeEscape(0x2028 | (p[2] & 1), out);
      } else {
        Put(p, length, out);
      }
      p += length;
      if (p == end || static_cast<unsigned char>(*p) < 0x80)
        break;
    }
    if (length)
      continue;
    // Malformed: U+FFFD for the bytes the decoder takes as one error.
    ReserveForRest(p, end, out);
    size_t index = static_cast<size_t>(p - begin);
    uint32_t code_point;
    ReadUTF8CodePoint(begin, str.size(), &index, &code_point);
    Put("\xEF\xBF\xBD", 3, out);
    valid = false;
    p = begin + index;
  }
  Put("\"", 1, out);
  return valid;
}

}  // namespace internal

}  // namespace base
