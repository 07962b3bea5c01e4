#ifndef BASE_STRINGS_PATTERN_H_
#define BASE_STRINGS_PATTERN_H_

#include "base/strings/string_piece.h"

namespace base {

// Wildcard matching of UTF-8 text: '*' matches any run of characters, '?'
// zero or one character, a backslash makes the next pattern character
// literal. Bytes that do not form a valid UTF-8 character match nothing.
// At most 16 nested wildcard branches are tried, which bounds the stack
// for any pattern; a match that needs more fails. Tries that failed are
// remembered, so the time stays polynomial in the lengths instead of
// growing exponentially with the number of wildcards.
bool MatchPattern(StringPiece text, StringPiece pattern);

// The worker; callers start at depth 0.
bool MatchPatternT(const char* text,
                   const char* text_end,
                   const char* pattern,
                   const char* pattern_end,
                   int depth);

}  // namespace base

#endif  // BASE_STRINGS_PATTERN_H_
