#include "base/json/string_escape.h"

#include <limits.h>
#include <stdint.h>

#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

const uint32_t kReplacementCharacter = 0xFFFD;

// Appends the escape for |code_point| when it needs one.
bool EscapeSpecialCodePoint(uint32_t code_point, std::string* dest) {
  switch (code_point) {
    case '\b':
      dest->append("\\b");
      return true;
    case '\f':
      dest->append("\\f");
      return true;
    case '\n':
      dest->append("\\n");
      return true;
    case '\r':
      dest->append("\\r");
      return true;
    case '\t':
      dest->append("\\t");
      return true;
    case '"':
      dest->append("\\\"");
      return true;
    case '\\':
      dest->append("\\\\");
      return true;
    case '<':
    case 0x2028:
    case 0x2029:
      dest->append(StringPrintf("\\u%04X", code_point));
      return true;
    default:
      if (code_point >= 0x20)
        return false;
      dest->append(StringPrintf("\\u%04X", code_point));
      return true;
  }
}

}  // namespace

bool EscapeJSONString(StringPiece str, std::string* dest) {
  CHECK(str.size() <= static_cast<size_t>(INT_MAX));
  dest->push_back('"');
  bool valid = true;
  size_t index = 0;
  while (index < str.size()) {
    uint32_t code_point;
    if (!ReadUTF8CodePoint(str.data(), str.size(), &index, &code_point)) {
      code_point = kReplacementCharacter;
      valid = false;
    }
    if (!EscapeSpecialCodePoint(code_point, dest))
      WriteUnicodeCharacter(code_point, dest);
  }
  dest->push_back('"');
  return valid;
}

}  // namespace base
