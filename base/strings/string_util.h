#ifndef BASE_STRINGS_STRING_UTIL_H_
#define BASE_STRINGS_STRING_UTIL_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

// Whitespace sets, NUL-terminated. The wide set is Unicode's whitespace and
// is what wide text is trimmed and split with; the narrow set is ASCII only.
extern const char16 kWhitespaceUTF16[];
extern const char kWhitespaceASCII[];

// How text is compared: exactly, or with only 'A' to 'Z' folded to lower
// case on both sides.
enum CompareCase {
  SENSITIVE = 0,
  INSENSITIVE_ASCII = 1,
};

// Which ends TrimString16 removed anything from.
enum TrimPositions {
  TRIM_NONE = 0,
  TRIM_LEADING = 1 << 0,
  TRIM_TRAILING = 1 << 1,
  TRIM_ALL = TRIM_LEADING | TRIM_TRAILING,
};

// Bytes 'A' to 'Z' (or 'a' to 'z') change case; every other byte, UTF-8
// included, is copied as it is.
std::string ToLowerASCII(StringPiece str);
std::string ToUpperASCII(StringPiece str);

// True when |str|, with 'A' to 'Z' lowered, equals |lowercase_ascii| unit
// for byte. A byte of 0x80 or above in |lowercase_ascii| matches nothing.
bool LowerCaseEqualsASCII16(StringPiece16 str, StringPiece lowercase_ascii);

// True when |str| ends with |search|; an empty |search| always does.
bool EndsWith16(StringPiece16 str, StringPiece16 search,
                CompareCase case_sensitivity);

// True when no unit is 0x80 or above; empty text is ASCII.
bool IsStringASCII(StringPiece str);
bool IsStringASCII16(StringPiece16 str);
bool IsStringASCII16Str(const string16& str);

// True for a code point that may stand in interchanged text: no surrogate,
// no noncharacter (U+FDD0 to U+FDEF, U+xxFFFE, U+xxFFFF), nothing above
// U+10FFFF.
bool IsValidCharacter(uint32_t code_point);

// Removes units of |trim_chars| from both ends of |input| into |output|
// (which may be |input|) and says which ends lost any.
TrimPositions TrimString16(const string16& input, StringPiece16 trim_chars,
                           string16* output);

// Drops leading and trailing ASCII whitespace, turns each inner run into
// one space, and drops a run entirely when it holds a CR or LF.
std::string CollapseWhitespaceASCII(const std::string& text);

// Copies |input| to |output| (which may be |input|) with every byte found
// in |replace_chars| replaced by |replace_with|. Inserted text is not
// searched again. Returns whether anything was replaced.
bool ReplaceChars(const std::string& input, StringPiece replace_chars,
                  const std::string& replace_with, std::string* output);

// Replaces the first, or with |replace_all| every, non-overlapping
// occurrence of |find_this| at or after |start_offset| by |replace_with|.
// An empty |find_this| changes nothing.
void ReplaceSubstringsAfterOffset(std::string* str, size_t start_offset,
                                  StringPiece find_this,
                                  StringPiece replace_with, bool replace_all);

// The parts with |separator| between each two; no parts give "".
std::string JoinString(const std::vector<std::string>& parts,
                       StringPiece separator);
string16 JoinString16(const std::vector<string16>& parts,
                      StringPiece16 separator);

// Expands $1 to $9 in |format_string| with the matching entry of |subst|;
// "$$" stands for "$". A placeholder without a substitution, '$' before any
// other unit and a final '$' vanish. When |offsets| is given, the output
// position of every placeholder is appended to it, ordered by placeholder
// number (repeated uses of one placeholder latest first).
string16 ReplaceStringPlaceholders16(const string16& format_string,
                                     const std::vector<string16>& subst,
                                     std::vector<size_t>* offsets);
std::string ReplaceStringPlaceholders(StringPiece format_string,
                                      const std::vector<std::string>& subst,
                                      std::vector<size_t>* offsets);

}  // namespace base

#endif  // BASE_STRINGS_STRING_UTIL_H_
