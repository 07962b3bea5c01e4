#include "base/strings/pattern.h"

#include <stdint.h>

#include <algorithm>
#include <vector>

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

// The recursive matcher, remembering which tries failed. Every level of
// recursion passes exactly one wildcard token ('?', or a run of wildcards
// that starts with '*'), so the pattern position of a try is fixed by its
// depth: a try is known by its depth and its text position alone. A failed
// try fails again whenever it is repeated, so each is worked out at most
// once, and a hostile pattern costs polynomial time instead of exponential.
class Matcher {
 public:
  Matcher(StringPiece text, StringPiece pattern, int start_depth)
      : text_begin_(text.begin()),
        text_end_(text.end()),
        pattern_end_(pattern.end()),
        start_depth_(start_depth) {
    // No try goes deeper than the pattern has wildcards.
    const size_t wildcards =
        static_cast<size_t>(std::count(pattern.begin(), pattern.end(), '*') +
                            std::count(pattern.begin(), pattern.end(), '?'));
    rows_ = start_depth >= kMaxDepth
                ? 0
                : std::min(static_cast<size_t>(kMaxDepth - start_depth), wildcards);
  }

  bool Match(const char* text, const char* pattern, int depth) {
    EatSameChars(&pattern, pattern_end_, &text, text_end_);

    if (text == text_end_) {
      EatWildcard(&pattern, pattern_end_);
      return pattern == pattern_end_;
    }
    if (pattern == pattern_end_)
      return false;

    if (*pattern == '?') {
      const char* rest = pattern + 1;
      if (Try(text, rest, depth + 1))
        return true;
      const char* next_text = text;
      uint32_t ignored;
      NextCharacter(&next_text, text_end_, &ignored);
      return Try(next_text, rest, depth + 1);
    }

    if (*pattern == '*') {
      EatWildcard(&pattern, pattern_end_);
      for (; text != text_end_; ++text) {
        if (Try(text, pattern, depth + 1))
          return true;
      }
      return pattern == pattern_end_;
    }

    return false;
  }

 private:
  bool Try(const char* text, const char* pattern, int depth) {
    // Deeper tries would grow the stack without bound on hostile patterns;
    // they count as failed.
    if (depth > kMaxDepth)
      return false;
    const size_t row = static_cast<size_t>(depth - start_depth_ - 1);
    if (row >= rows_)
      return Match(text, pattern, depth);
    const size_t positions = static_cast<size_t>(text_end_ - text_begin_) + 1;
    if (failed_.empty())
      failed_.assign(rows_ * positions, false);
    const size_t slot = row * positions + static_cast<size_t>(text - text_begin_);
    if (failed_[slot])
      return false;
    // A success ends the whole match, so only failures need remembering.
    if (Match(text, pattern, depth))
      return true;
    failed_[slot] = true;
    return false;
  }

  const char* const text_begin_;
  const char* const text_end_;
  const char* const pattern_end_;
  const int start_depth_;
  size_t rows_ = 0;
  std::vector<bool> failed_;
};

}  // namespace

bool MatchPatternT(const char* text,
                   const char* text_end,
                   const char* pattern,
                   const char* pattern_end,
                   int depth) {
  // Callers start at 0; less would only lift the limit.
  depth = std::max(depth, 0);
  Matcher matcher(StringPiece(text, static_cast<size_t>(text_end - text)),
                  StringPiece(pattern, static_cast<size_t>(pattern_end - pattern)),
                  depth);
  return matcher.Match(text, pattern, depth);
}

bool MatchPattern(StringPiece text, StringPiece pattern) {
  return MatchPatternT(text.begin(), text.end(), pattern.begin(),
                       pattern.end(), 0);
}

}  // namespace base
