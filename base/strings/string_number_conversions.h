#ifndef BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_
#define BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_

// Temporary local stand-in until the real conversions land; never landed.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "base/strings/double_conversions.h"
#include "base/strings/string_piece.h"

namespace base {

inline std::string IntToString(int value) { return std::to_string(value); }

inline bool StringToInt(StringPiece input, int* output) {
  std::string s = input.as_string();
  if (s.empty() || s[0] == ' ' || s[0] == '\t' || s[0] == '\n') return false;
  errno = 0;
  char* end;
  long long v = strtoll(s.c_str(), &end, 10);
  if (*end || errno || v > INT32_MAX || v < INT32_MIN) return false;
  *output = static_cast<int>(v);
  return true;
}

inline bool HexStringToUInt64(StringPiece input, uint64_t* output) {
  std::string s = input.as_string();
  size_t i = 0;
  if (s.size() >= 3 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) i = 2;
  if (i == s.size()) return false;
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
          : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return false;
    v = v * 16 + d;
  }
  *output = v;
  return true;
}

inline bool StringToDouble(const std::string& input, double* output) {
  int saved = errno;
  errno = 0;
  char* end;
  *output = dmg_strtod(input.c_str(), &end);
  bool ok = errno == 0 && !input.empty() &&
            end == input.c_str() + input.size() && input[0] != ' ';
  if (errno == 0) errno = saved;
  return ok;
}

}  // namespace base

#endif  // BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_
