#ifndef BASE_STRINGS_STRING_SPLIT_H_
#define BASE_STRINGS_STRING_SPLIT_H_

#include <string>
#include <utility>
#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

enum WhitespaceHandling {
  KEEP_WHITESPACE = 0,
  // Pieces lose whitespace at both ends: kWhitespaceASCII for narrow text,
  // kWhitespaceUTF16 for wide text.
  TRIM_WHITESPACE = 1,
};

enum SplitResult {
  // Every piece, empty ones included: n separators give n + 1 pieces.
  SPLIT_WANT_ALL = 0,
  // Pieces that are empty (after any trimming) are dropped.
  SPLIT_WANT_NONEMPTY = 1,
};

// Splits |input| at every character that is in |separators|. Empty input
// gives no piece; an empty separator set gives the whole input.
std::vector<std::string> SplitString(StringPiece input,
                                     StringPiece separators,
                                     WhitespaceHandling whitespace,
                                     SplitResult result_type);
std::vector<string16> SplitString16(StringPiece16 input,
                                    StringPiece16 separators,
                                    WhitespaceHandling whitespace,
                                    SplitResult result_type);

// As SplitString at one character, but the pieces view |input|.
std::vector<StringPiece> SplitStringPieceByChar(StringPiece input,
                                                char separator,
                                                WhitespaceHandling whitespace,
                                                SplitResult result_type);

using StringPairs = std::vector<std::pair<std::string, std::string>>;

// Splits "k1=v1,k2=v2" into pairs. Items are split at ',' and trimmed;
// inside an item nothing is trimmed. |output| is cleared first. Every item
// appends one pair, also an item that fails (no '=', or nothing after the
// run of '=' that follows the key); such a pair keeps what was read. True
// when every item succeeded; a failing item does not stop the others.
bool SplitStringIntoKeyValuePairs(StringPiece input, StringPairs* output);

// One item of the above, with |delimiter| between key and value.
bool SplitStringIntoKeyValuePairsImpl(StringPiece item,
                                      char delimiter,
                                      StringPairs* output);

}  // namespace base

#endif  // BASE_STRINGS_STRING_SPLIT_H_
