#include "base/strings/pattern.h"

#include <stdint.h>

#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

constexpr int kMaxDepth = 16;

bool IsWildcard(char c) {
  return c == '*' || c == '?';
}

// Decodes the character at |*p| and moves past it. False for bytes that
// are no valid character.
bool NextCharacter(const char** p, const char* end, uint32_t* code_point) {
  size_t index = 0;
  const bool valid =
      ReadUTF8CodePoint(*p, static_cast<size_t>(end - *p), &index, code_point);
  *p += index;
  return valid;
}

// Advances both while their characters are equal, up to an unescaped
// wildcard. On a mismatch after a backslash the pattern is left at the
// backslash, so that the caller sees no wildcard there.
void EatSameChars(const char** pattern,
                  const char* pattern_end,
                  const char** text,
                  const char* text_end) {
  const char* escape = nullptr;
  while (*pattern != pattern_end && *text != text_end) {
    if (!escape && IsWildcard(**pattern))
      return;
    if (!escape && **pattern == '\\') {
      escape = *pattern;
      ++*pattern;
      continue;
    }
    const char* next_pattern = *pattern;
    const char* next_text = *text;
    uint32_t pattern_char = 0;
    uint32_t text_char = 0;
    const bool pattern_valid =
        NextCharacter(&next_pattern, pattern_end, &pattern_char);
    const bool text_valid = NextCharacter(&next_text, text_end, &text_char);
    if (!pattern_valid || !text_valid || pattern_char != text_char) {
      if (escape)
        *pattern = escape;
      return;
    }
    *pattern = next_pattern;
    *text = next_text;
    escape = nullptr;
  }
}

void EatWildcard(const char** pattern, const char* pattern_end) {
  while (*pattern != pattern_end && IsWildcard(**pattern))
    ++*pattern;
}

}  // namespace

bool MatchPatternT(const char* text,
                   const char* text_end,
                   const char* pattern,
                   const char* pattern_end,
                   int depth) {
  EatSameChars(&pattern, pattern_end, &text, text_end);

  if (text == text_end) {
    EatWildcard(&pattern, pattern_end);
    return pattern == pattern_end;
  }
  if (pattern == pattern_end)
    return false;

  // Deeper tries than this would grow the stack without bound on hostile
  // patterns; they count as failed.
  const bool may_recurse = depth + 1 <= kMaxDepth;

  if (*pattern == '?') {
    const char* rest = pattern + 1;
    if (may_recurse &&
        MatchPatternT(text, text_end, rest, pattern_end, depth + 1))
      return true;
    const char* next_text = text;
    uint32_t ignored;
    NextCharacter(&next_text, text_end, &ignored);
    return may_recurse &&
           MatchPatternT(next_text, text_end, rest, pattern_end, depth + 1);
  }

  if (*pattern == '*') {
    EatWildcard(&pattern, pattern_end);
    for (; text != text_end; ++text) {
      if (may_recurse &&
          MatchPatternT(text, text_end, pattern, pattern_end, depth + 1))
        return true;
    }
    return pattern == pattern_end;
  }

  return false;
}

bool MatchPattern(StringPiece text, StringPiece pattern) {
  return MatchPatternT(text.begin(), text.end(), pattern.begin(),
                       pattern.end(), 0);
}

}  // namespace base
