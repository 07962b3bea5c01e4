#ifndef BASE_JSON_JSON_PARSER_H_
#define BASE_JSON_JSON_PARSER_H_

#include <stddef.h>
#include <stdint.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "base/json/json_reader.h"
#include "base/strings/string_piece.h"

namespace base {

class DictionaryValue;
class ListValue;
class Value;

namespace internal {

class BufferedAppender;

// One recursive-descent parse of one text; JSONReader is the public entry.
// The returned tree owns all its strings, so values taken out of it live
// on their own.
class JSONParser {
 public:
  JSONParser();
  JSONParser(const JSONParser&) = delete;
  JSONParser& operator=(const JSONParser&) = delete;
  ~JSONParser();

  // Null on failure; the error stays readable below. Parse once per parser.
  std::unique_ptr<Value> Parse(StringPiece input);

  JSONReader::JSONParseError error_code() const { return error_code_; }
  int error_line() const { return error_line_; }
  int error_column() const { return error_column_; }
  // The code's text, prefixed with "Line: L, column: C, " when the error
  // has a position.
  std::string GetErrorMessage() const;

 private:
  enum Token {
    T_OBJECT_BEGIN,
    T_OBJECT_END,
    T_ARRAY_BEGIN,
    T_ARRAY_END,
    T_STRING,
    T_NUMBER,
    T_BOOL_TRUE,
    T_BOOL_FALSE,
    T_NULL,
    T_LIST_SEPARATOR,
    T_OBJECT_PAIR_SEPARATOR,
    T_END_OF_INPUT,
    T_INVALID_TOKEN,
    T_SKIPPABLE,  // whitespace or a comment comes first
  };

  // Where the parse stands: the next unread byte and the line count there.
  struct Position {
    size_t index;
    int line_number;
    size_t index_last_line;
  };

  static constexpr std::array<Token, 256> MakeTokenTable();
  // The token that each byte starts.
  static const std::array<Token, 256> kTokenOfByte;

  // Skips whitespace and comments and names the token that starts at the
  // next byte, without consuming it.
  Token GetNextToken();
  // The same, leaving the position where it was.
  Token PeekNextToken();
  void EatWhitespaceAndComments();
  // At a '/': skips a comment; false when none starts here.
  bool EatComment();

  std::unique_ptr<Value> ParseNextToken();
  std::unique_ptr<Value> ParseToken(Token token);
  std::unique_ptr<Value> ConsumeDictionary();
  std::unique_ptr<Value> ConsumeList();
  std::unique_ptr<Value> ConsumeString();
  std::unique_ptr<Value> ConsumeNumber();
  std::unique_ptr<Value> ConsumeLiteral();

  // At an opening quote: the unescaped contents, with the closing quote
  // consumed.
  bool ConsumeStringRaw(std::string* out);
  // At a backslash that starts no escape of one letter: appends the
  // character of an x or u escape, or reports the error.
  bool ConsumeEscape(BufferedAppender* out);
  // After "\u": one code point, joining a surrogate pair.
  bool ConsumeUnicodeEscape(size_t backslash, uint32_t* code_point);
  // Four hexadecimal digits at |offset| (an optional 0x prefix counts
  // among them).
  bool ReadUnicodeGroup(size_t offset, uint32_t* value) const;

  // Records the first error, at the byte |offset|, on the current line.
  void ReportError(JSONReader::JSONParseError code, size_t offset);
  // Records an error at |token|; an error at the end of input points just
  // after the last thing that was read instead of the end itself.
  void ReportErrorAtToken(JSONReader::JSONParseError code, Token token);

  // Elements of the lists being read, innermost last; each list takes its
  // own when it closes, so that its storage is allocated once.
  std::vector<std::unique_ptr<Value>> pending_elements_;

  const char* input_;
  size_t length_;
  Position pos_;
  // The position before the whitespace that the last token search skipped.
  Position token_search_start_;
  int stack_depth_;

  JSONReader::JSONParseError error_code_;
  int error_line_;
  int error_column_;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_JSON_JSON_PARSER_H_
