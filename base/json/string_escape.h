#ifndef BASE_JSON_STRING_ESCAPE_H_
#define BASE_JSON_STRING_ESCAPE_H_

#include <stddef.h>
#include <string.h>

#include <string>

#include "base/strings/string_piece.h"

namespace base {

// Appends |str| to |dest| as a quoted JSON string. Quotes, backslashes and
// control characters are escaped, and so are '<', U+2028 and U+2029 so that
// the text is also safe inside a script. Returns false when some of |str|
// was not valid UTF-8 and was written as U+FFFD instead.
bool EscapeJSONString(StringPiece str, std::string* dest);

namespace internal {

// Writes JSON text straight into a string: the string is lengthened ahead
// of the writes and cut back to what was written when the output is
// destroyed, so that each byte costs a store rather than an append. The
// string must not be touched otherwise meanwhile.
class JSONOutput {
 public:
  explicit JSONOutput(std::string* dest);
  JSONOutput(const JSONOutput&) = delete;
  JSONOutput& operator=(const JSONOutput&) = delete;
  ~JSONOutput();

  // Makes room for |size| bytes at out(); only those that Advance() keeps
  // count as written.
  char* Reserve(size_t size) {
    if (static_cast<size_t>(limit_ - out_) < size)
      Grow(size);
    return out_;
  }
  char* out() const { return out_; }
  void Advance(size_t size) { out_ += size; }

  void Append(const char* bytes, size_t size) {
    memcpy(Reserve(size), bytes, size);
    out_ += size;
  }
  void Append(char c) {
    *Reserve(1) = c;
    ++out_;
  }

 private:
  void Grow(size_t size);

  std::string* dest_;
  size_t start_;
  char* out_;
  char* limit_;
};

// EscapeJSONString() into an output.
bool EscapeJSONStringTo(StringPiece str, JSONOutput* out);

}  // namespace internal

}  // namespace base

#endif  // BASE_JSON_STRING_ESCAPE_H_
