#include "base/json/string_escape.h"

#include <limits.h>
#include <stdint.h>

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

// \ and a letter.
void AppendEscape(char letter, internal::BufferedAppender* out) {
  const char escape[2] = {'\\', letter};
  out->Append(escape, sizeof(escape));
}

// \uXXXX with four upper-case hexadecimal digits.
void AppendUnicodeEscape(uint32_t code_unit, internal::BufferedAppender* out) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  const char escape[6] = {'\\',
                          'u',
                          kHexDigits[(code_unit >> 12) & 0xF],
                          kHexDigits[(code_unit >> 8) & 0xF],
                          kHexDigits[(code_unit >> 4) & 0xF],
                          kHexDigits[code_unit & 0xF]};
  out->Append(escape, sizeof(escape));
}

}  // namespace

bool EscapeJSONString(StringPiece str, std::string* dest) {
  CHECK(str.size() <= static_cast<size_t>(INT_MAX));
  internal::BufferedAppender out(dest);
  out.Append("\"", 1);
  bool valid = true;
  const char* const begin = str.data();
  const char* const end = begin + str.size();
  // Text that needs no escape is appended in runs, as it stands: valid
  // UTF-8 written again would give the same bytes.
  const char* run = begin;
  const char* p = begin;
  while ((p = internal::FindSpecialByte<0x20, '"', '\\', '<'>(p, end)) != end) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x80) {
      out.Append(run, p - run);
      const char letter = kEscapeLetters[c];
      if (letter == 'u')
        AppendUnicodeEscape(c, &out);
      else
        AppendEscape(letter, &out);
      run = ++p;
      continue;
    }
    const size_t length = WellFormedUTF8Length(p, end - p);
    // U+2028 and U+2029 end a line in script text.
    if (length == 3 && c == 0xE2 && static_cast<unsigned char>(p[1]) == 0x80 &&
        (static_cast<unsigned char>(p[2]) & 0xFE) == 0xA8) {
      out.Append(run, p - run);
      AppendUnicodeEscape(0x2028 | (p[2] & 1), &out);
      run = p += length;
      continue;
    }
    if (length) {
      p += length;
      continue;
    }
    // Malformed: U+FFFD for the bytes the decoder takes as one error.
    out.Append(run, p - run);
    size_t index = static_cast<size_t>(p - begin);
    uint32_t code_point;
    ReadUTF8CodePoint(begin, str.size(), &index, &code_point);
    out.Append("\xEF\xBF\xBD", 3);
    valid = false;
    run = p = begin + index;
  }
  out.Append(run, p - run);
  out.Append("\"", 1);
  return valid;
}

}  // namespace base
