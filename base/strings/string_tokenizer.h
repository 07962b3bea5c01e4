#ifndef BASE_STRINGS_STRING_TOKENIZER_H_
#define BASE_STRINGS_STRING_TOKENIZER_H_

#include <string>

#include "base/strings/string_piece.h"

namespace base {

// Walks the tokens of a string separated by any of a set of delimiter
// characters. Optionally delimiters are returned as one-character tokens,
// and quote characters keep delimiters inside a token (a backslash inside
// quotes escapes the next character; quotes and backslashes stay in the
// token). The tokenizer views |string|, which must outlive it.
//
//   StringTokenizer t(text, ",");
//   while (t.GetNext())
//     Use(t.token());
class StringTokenizer {
 public:
  enum {
    // Delimiters are tokens too; token_is_delim() tells them apart.
    RETURN_DELIMS = 1 << 0,
  };

  StringTokenizer(const std::string& string, const std::string& delims)
      : start_(string.data()),
        token_begin_(start_),
        token_end_(start_),
        end_(start_ + string.size()),
        delims_(delims) {}

  // Set these before the first GetNext().
  void set_options(int options) { options_ = options; }
  void set_quote_chars(const std::string& quotes) { quotes_ = quotes; }

  // Moves to the next token; false when there is none.
  bool GetNext() {
    if (quotes_.empty() && options_ == 0)
      return QuickGetNext();
    return FullGetNext();
  }

  // Starts again from the first token.
  void Reset() { token_end_ = start_; }

  bool token_is_delim() const { return token_is_delim_; }
  const char* token_begin() const { return token_begin_; }
  const char* token_end() const { return token_end_; }
  std::string token() const { return std::string(token_begin_, token_end_); }
  StringPiece token_piece() const {
    return StringPiece(token_begin_,
                       static_cast<size_t>(token_end_ - token_begin_));
  }

 private:
  bool IsDelim(char c) const { return delims_.find(c) != std::string::npos; }
  bool IsQuote(char c) const { return quotes_.find(c) != std::string::npos; }

  // Without quotes and options: skip delimiters, then take what follows.
  bool QuickGetNext() {
    token_is_delim_ = false;
    for (;;) {
      token_begin_ = token_end_;
      if (token_end_ == end_)
        return false;
      ++token_end_;
      if (!IsDelim(*token_begin_))
        break;
    }
    while (token_end_ != end_ && !IsDelim(*token_end_))
      ++token_end_;
    return true;
  }

  bool FullGetNext() {
    token_is_delim_ = false;
    bool in_quote = false;
    bool in_escape = false;
    char quote_char = '\0';
    for (;;) {
      token_begin_ = token_end_;
      if (token_end_ == end_)
        return false;
      ++token_end_;
      const char c = *token_begin_;
      if (!IsDelim(c)) {
        in_quote = IsQuote(c);
        quote_char = c;
        break;
      }
      if (options_ & RETURN_DELIMS) {
        token_is_delim_ = true;
        return true;
      }
    }
    while (token_end_ != end_) {
      const char c = *token_end_;
      if (in_quote) {
        if (in_escape)
          in_escape = false;
        else if (c == '\\')
          in_escape = true;
        else if (c == quote_char)
          in_quote = false;
      } else {
        if (IsDelim(c))
          break;
        if (IsQuote(c)) {
          in_quote = true;
          quote_char = c;
        }
      }
      ++token_end_;
    }
    return true;
  }

  const char* start_;
  const char* token_begin_;
  const char* token_end_;
  const char* end_;
  std::string delims_;
  std::string quotes_;
  int options_ = 0;
  bool token_is_delim_ = false;
};

}  // namespace base

#endif  // BASE_STRINGS_STRING_TOKENIZER_H_
