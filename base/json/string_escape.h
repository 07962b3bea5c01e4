#ifndef BASE_JSON_STRING_ESCAPE_H_
#define BASE_JSON_STRING_ESCAPE_H_

#include <string>

#include "base/strings/string_piece.h"

namespace base {

// Appends |str| to |dest| as a quoted JSON string. Quotes, backslashes and
// control characters are escaped, and so are '<', U+2028 and U+2029 so that
// the text is also safe inside a script. Returns false when some of |str|
// was not valid UTF-8 and was written as U+FFFD instead.
bool EscapeJSONString(StringPiece str, std::string* dest);

}  // namespace base

#endif  // BASE_JSON_STRING_ESCAPE_H_
