#include "base/json/json_parser.h"

#include <limits.h>
#include <string.h>

#include <cmath>
#include <utility>

#include "base/json/string_scan.h"
#include "base/strings/ascii_chars.h"
#include "base/strings/double_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"

namespace base {
namespace internal {

namespace {

// The value of |count| hexadecimal digits at |p|; a \u group of four may
// instead be 0x (or 0X) and two digits. No whitespace and no sign: "\x-1"
// escapes nothing.
bool ReadHexGroup(const char* p, size_t count, uint32_t* value) {
  if (count == 4 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    p += 2;
    count = 2;
  }
  uint32_t result = 0;
  for (size_t i = 0; i < count; ++i) {
    const int digit = HexDigitValue(p[i]);
    if (digit < 0)
      return false;
    result = result * 16 + static_cast<uint32_t>(digit);
  }
  *value = result;
  return true;
}

void AppendCodePoint(uint32_t code_point, BufferedAppender* out) {
  char bytes[4];
  out->Append(bytes, EncodeUTF8(code_point, bytes));
}

bool IsHighSurrogate(uint32_t code_point) {
  return code_point >= 0xD800 && code_point <= 0xDBFF;
}

bool IsLowSurrogate(uint32_t code_point) {
  return code_point >= 0xDC00 && code_point <= 0xDFFF;
}

// Keeps the nesting count right on every way out of a container.
class DepthScope {
 public:
  explicit DepthScope(int* depth) : depth_(depth) { ++*depth_; }
  ~DepthScope() { --*depth_; }
  bool too_deep() const { return *depth_ > JSONParser::kMaxDepth; }

 private:
  int* depth_;
};

}  // namespace

JSONParser::JSONParser()
    : input_(nullptr),
      length_(0),
      pos_{0, 1, 0},
      token_search_start_{0, 1, 0},
      stack_depth_(0),
      error_code_(JSONReader::JSON_NO_ERROR),
      error_line_(0),
      error_column_(0) {}

JSONParser::~JSONParser() {}

std::unique_ptr<Value> JSONParser::Parse(StringPiece input) {
  // Offsets and columns are ints; larger texts are nothing we ever read.
  if (input.size() > static_cast<size_t>(INT_MAX)) {
    error_code_ = JSONReader::JSON_SYNTAX_ERROR;
    return nullptr;
  }
  input_ = input.data();
  length_ = input.size();
  if (length_ >= 3 && memcmp(input_, "\xEF\xBB\xBF", 3) == 0)
    pos_.index = 3;

  std::unique_ptr<Value> root = ParseNextToken();
  if (!root)
    return nullptr;
  Token token = GetNextToken();
  if (token != T_END_OF_INPUT) {
    ReportErrorAtToken(JSONReader::JSON_UNEXPECTED_DATA_AFTER_ROOT, token);
    return nullptr;
  }
  return root;
}

std::string JSONParser::GetErrorMessage() const {
  std::string text = JSONReader::ErrorCodeToString(error_code_);
  if (error_line_ == 0 && error_column_ == 0)
    return text;
  return StringPrintf("Line: %i, column: %i, %s", error_line_, error_column_,
                      text.c_str());
}

JSONParser::Token JSONParser::GetNextToken() {
  token_search_start_ = pos_;
  EatWhitespaceAndComments();
  if (pos_.index >= length_)
    return T_END_OF_INPUT;
  switch (input_[pos_.index]) {
    case '{':
      return T_OBJECT_BEGIN;
    case '}':
      return T_OBJECT_END;
    case '[':
      return T_ARRAY_BEGIN;
    case ']':
      return T_ARRAY_END;
    case '"':
      return T_STRING;
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
      return T_NUMBER;
    case 't':
      return T_BOOL_TRUE;
    case 'f':
      return T_BOOL_FALSE;
    case 'n':
      return T_NULL;
    case ',':
      return T_LIST_SEPARATOR;
    case ':':
      return T_OBJECT_PAIR_SEPARATOR;
    default:
      return T_INVALID_TOKEN;
  }
}

JSONParser::Token JSONParser::PeekNextToken() {
  Position saved_pos = pos_;
  Position saved_search_start = token_search_start_;
  Token token = GetNextToken();
  pos_ = saved_pos;
  token_search_start_ = saved_search_start;
  return token;
}

void JSONParser::EatWhitespaceAndComments() {
  while (pos_.index < length_) {
    char c = input_[pos_.index];
    if (c == ' ' || c == '\t') {
      ++pos_.index;
    } else if (c == '\r' || c == '\n') {
      // CR LF is one line break.
      bool second_half = c == '\n' && pos_.index > 0 &&
                         input_[pos_.index - 1] == '\r';
      if (!second_half)
        ++pos_.line_number;
      pos_.index_last_line = pos_.index;
      ++pos_.index;
    } else if (c != '/' || !EatComment()) {
      return;
    }
  }
}

bool JSONParser::EatComment() {
  size_t start = pos_.index;
  if (length_ - start < 2)
    return false;
  StringPiece rest(input_ + start + 2, length_ - start - 2);
  if (input_[start + 1] == '/') {
    // Up to, not including, the line break, which counts as a line.
    size_t end = rest.find_first_of(StringPiece("\r\n", 2));
    pos_.index = end == StringPiece::npos ? length_ : start + 2 + end;
    return true;
  }
  if (input_[start + 1] == '*') {
    // An unterminated block comment runs to the end of input.
    size_t end = rest.find(StringPiece("*/", 2));
    pos_.index = end == StringPiece::npos ? length_ : start + 2 + end + 2;
    return true;
  }
  return false;
}

std::unique_ptr<Value> JSONParser::ParseNextToken() {
  return ParseToken(GetNextToken());
}

std::unique_ptr<Value> JSONParser::ParseToken(Token token) {
  switch (token) {
    case T_OBJECT_BEGIN:
      return ConsumeDictionary();
    case T_ARRAY_BEGIN:
      return ConsumeList();
    case T_STRING:
      return ConsumeString();
    case T_NUMBER:
      return ConsumeNumber();
    case T_BOOL_TRUE:
    case T_BOOL_FALSE:
    case T_NULL:
      return ConsumeLiteral();
    default:
      ReportErrorAtToken(JSONReader::JSON_UNEXPECTED_TOKEN, token);
      return nullptr;
  }
}

std::unique_ptr<Value> JSONParser::ConsumeDictionary() {
  DepthScope depth(&stack_depth_);
  if (depth.too_deep()) {
    ReportError(JSONReader::JSON_TOO_MUCH_NESTING, pos_.index);
    return nullptr;
  }
  ++pos_.index;  // the brace

  std::unique_ptr<DictionaryValue> dictionary(new DictionaryValue);
  Token token = GetNextToken();
  if (token == T_OBJECT_END) {
    ++pos_.index;
    return dictionary;
  }
  while (true) {
    if (token != T_STRING) {
      ReportErrorAtToken(JSONReader::JSON_UNQUOTED_DICTIONARY_KEY, token);
      return nullptr;
    }
    std::string key;
    if (!ConsumeStringRaw(&key))
      return nullptr;
    token = GetNextToken();
    if (token != T_OBJECT_PAIR_SEPARATOR) {
      ReportErrorAtToken(JSONReader::JSON_SYNTAX_ERROR, token);
      return nullptr;
    }
    ++pos_.index;
    std::unique_ptr<Value> value = ParseNextToken();
    if (!value)
      return nullptr;
    // A later duplicate key replaces the earlier value.
    dictionary->SetWithoutPathExpansion(key, std::move(value));

    token = GetNextToken();
    if (token == T_OBJECT_END) {
      ++pos_.index;
      return dictionary;
    }
    if (token != T_LIST_SEPARATOR) {
      if (token == T_END_OF_INPUT)
        ReportErrorAtToken(JSONReader::JSON_SYNTAX_ERROR, token);
      else  // pointed at the byte before the one found
        ReportError(JSONReader::JSON_SYNTAX_ERROR, pos_.index - 1);
      return nullptr;
    }
    ++pos_.index;
    token = GetNextToken();
    if (token == T_OBJECT_END) {
      ReportError(JSONReader::JSON_TRAILING_COMMA, pos_.index);
      return nullptr;
    }
  }
}

std::unique_ptr<Value> JSONParser::ConsumeList() {
  DepthScope depth(&stack_depth_);
  if (depth.too_deep()) {
    ReportError(JSONReader::JSON_TOO_MUCH_NESTING, pos_.index);
    return nullptr;
  }
  ++pos_.index;  // the bracket

  std::unique_ptr<ListValue> list(new ListValue);
  Token token = GetNextToken();
  if (token == T_ARRAY_END) {
    ++pos_.index;
    return list;
  }
  const size_t first = pending_elements_.size();
  while (true) {
    std::unique_ptr<Value> value = ParseToken(token);
    if (!value)
      return nullptr;
    pending_elements_.push_back(std::move(value));

    token = GetNextToken();
    if (token == T_ARRAY_END) {
      ++pos_.index;
      list->Reserve(pending_elements_.size() - first);
      for (size_t i = first; i < pending_elements_.size(); ++i)
        list->Append(std::move(pending_elements_[i]));
      pending_elements_.resize(first);
      return list;
    }
    if (token != T_LIST_SEPARATOR) {
      ReportErrorAtToken(JSONReader::JSON_SYNTAX_ERROR, token);
      return nullptr;
    }
    ++pos_.index;
    token = GetNextToken();
    if (token == T_ARRAY_END) {
      ReportError(JSONReader::JSON_TRAILING_COMMA, pos_.index);
      return nullptr;
    }
  }
}

std::unique_ptr<Value> JSONParser::ConsumeString() {
  std::string text;
  if (!ConsumeStringRaw(&text))
    return nullptr;
  return std::unique_ptr<Value>(new StringValue(std::move(text)));
}

bool JSONParser::ConsumeStringRaw(std::string* out) {
  out->clear();
  BufferedAppender text(out);
  const char* const end = input_ + length_;
  const char* p = input_ + pos_.index + 1;  // after the opening quote
  // Bytes that stand for themselves gather into runs, each appended whole:
  // ASCII (control characters included) and well-formed UTF-8.
  const char* run = p;
  while ((p = FindSpecialByte<0, '"', '\\'>(p, end)) != end) {
    if (static_cast<unsigned char>(*p) >= 0x80) {
      // Noncharacters are fine; malformed UTF-8, encoded surrogates and
      // values above U+10FFFF are not. Non-ASCII characters tend to come
      // together, so the ones that follow are checked here too.
      do {
        const size_t length = WellFormedUTF8Length(p, end - p);
        if (!length) {
          size_t next = static_cast<size_t>(p - input_);
          uint32_t code_point;
          ReadUTF8CodePoint(input_, length_, &next, &code_point);
          ReportError(JSONReader::JSON_UNSUPPORTED_ENCODING, next);
          return false;
        }
        p += length;
      } while (p != end && static_cast<unsigned char>(*p) >= 0x80);
      continue;
    }
    text.Append(run, p - run);
    pos_.index = static_cast<size_t>(p - input_);
    if (*p == '"') {
      ++pos_.index;
      return true;
    }
    if (!ConsumeEscape(&text))
      return false;
    p = run = input_ + pos_.index;
  }
  // No closing quote before the end.
  ReportError(JSONReader::JSON_SYNTAX_ERROR, length_ - 1);
  return false;
}

bool JSONParser::ConsumeEscape(BufferedAppender* out) {
  const size_t backslash = pos_.index;
  if (length_ - backslash < 2) {
    ReportError(JSONReader::JSON_INVALID_ESCAPE, backslash);
    return false;
  }
  char letter = input_[backslash + 1];
  pos_.index = backslash + 2;
  uint32_t code_point;
  switch (letter) {
    case '"':
    case '\\':
    case '/':
      break;
    case 'b':
      letter = '\b';
      break;
    case 'f':
      letter = '\f';
      break;
    case 'n':
      letter = '\n';
      break;
    case 'r':
      letter = '\r';
      break;
    case 't':
      letter = '\t';
      break;
    case 'v':
      letter = '\v';
      break;
    case 'x':
      if (length_ - pos_.index < 2) {
        ReportError(JSONReader::JSON_INVALID_ESCAPE, backslash + 1);
        return false;
      }
      if (!ReadHexGroup(input_ + pos_.index, 2, &code_point)) {
        ReportError(JSONReader::JSON_INVALID_ESCAPE, backslash);
        return false;
      }
      pos_.index += 2;
      // \x00 is a NUL byte; \x80 and above are code points, not bytes.
      AppendCodePoint(code_point, out);
      return true;
    case 'u':
      if (!ConsumeUnicodeEscape(backslash, &code_point))
        return false;
      // \u0000 is kept as a NUL, which is how the writer escapes one.
      AppendCodePoint(code_point, out);
      return true;
    default:
      ReportError(JSONReader::JSON_INVALID_ESCAPE, backslash);
      return false;
  }
  out->Append(&letter, 1);
  return true;
}

bool JSONParser::ReadUnicodeGroup(size_t offset, uint32_t* value) const {
  const size_t kGroup = 4;
  return length_ - offset >= kGroup &&
         ReadHexGroup(input_ + offset, kGroup, value);
}

bool JSONParser::ConsumeUnicodeEscape(size_t backslash, uint32_t* code_point) {
  uint32_t first;
  if (!ReadUnicodeGroup(pos_.index, &first) || IsLowSurrogate(first)) {
    ReportError(JSONReader::JSON_INVALID_ESCAPE, backslash);
    return false;
  }
  pos_.index += 4;
  if (!IsHighSurrogate(first)) {
    *code_point = first;
    return true;
  }
  // The low half must follow at once, as another \u escape.
  const size_t second = pos_.index;
  uint32_t low;
  if (length_ - second < 2 || input_[second] != '\\' ||
      input_[second + 1] != 'u' || !ReadUnicodeGroup(second + 2, &low) ||
      !IsLowSurrogate(low)) {
    ReportError(JSONReader::JSON_INVALID_ESCAPE, second);
    return false;
  }
  pos_.index = second + 6;
  *code_point = 0x10000 + ((first - 0xD800) << 10) + (low - 0xDC00);
  return true;
}

std::unique_ptr<Value> JSONParser::ConsumeNumber() {
  const size_t start = pos_.index;
  size_t i = start;
  // The digits are gathered while the grammar is checked, so that most
  // numbers need no second look at their text.
  uint64_t mantissa = 0;
  int mantissa_digits = 0;  // counted up to 20, past what a uint64 holds
  auto take_digits = [this, &mantissa, &mantissa_digits](size_t index) {
    for (; index < length_ && IsAsciiDigit(input_[index]); ++index) {
      if (mantissa_digits < 20) {
        mantissa = mantissa * 10 + static_cast<uint64_t>(input_[index] - '0');
        ++mantissa_digits;
      }
    }
    return index;
  };
  auto digit_at = [this](size_t index) {
    return index < length_ && IsAsciiDigit(input_[index]);
  };

  const bool negative = input_[i] == '-';
  if (negative)
    ++i;
  if (!digit_at(i)) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, i);
    return nullptr;
  }
  if (input_[i] == '0') {
    ++i;
    mantissa_digits = 1;
    if (digit_at(i)) {  // no leading zeros
      ReportError(JSONReader::JSON_SYNTAX_ERROR, i);
      return nullptr;
    }
  } else {
    i = take_digits(i);
  }
  bool integral = true;
  int fraction_digits = 0;
  if (i < length_ && input_[i] == '.') {
    integral = false;
    ++i;
    if (!digit_at(i)) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, i);
      return nullptr;
    }
    const int before = mantissa_digits;
    i = take_digits(i);
    fraction_digits = mantissa_digits - before;
  }
  int exponent = 0;
  if (i < length_ && (input_[i] == 'e' || input_[i] == 'E')) {
    integral = false;
    ++i;
    bool exponent_negative = false;
    if (i < length_ && (input_[i] == '+' || input_[i] == '-'))
      exponent_negative = input_[i++] == '-';
    if (!digit_at(i)) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, i);
      return nullptr;
    }
    for (; i < length_ && IsAsciiDigit(input_[i]); ++i) {
      if (exponent < 100000)  // far beyond any double either way
        exponent = exponent * 10 + (input_[i] - '0');
    }
    if (exponent_negative)
      exponent = -exponent;
  }
  pos_.index = i;

  // A separator or a closing bracket right after the number is the common
  // case; anything else needs the full token search.
  const char following = i < length_ ? input_[i] : ',';
  if (following != ',' && following != ']' && following != '}') {
    Token next = PeekNextToken();
    if (next != T_LIST_SEPARATOR && next != T_OBJECT_END &&
        next != T_ARRAY_END && next != T_END_OF_INPUT) {
      GetNextToken();
      ReportErrorAtToken(JSONReader::JSON_SYNTAX_ERROR, next);
      return nullptr;
    }
  }

  // Integers of the int range.
  if (integral && mantissa_digits <= 10) {
    const int64_t value = negative ? -static_cast<int64_t>(mantissa)
                                   : static_cast<int64_t>(mantissa);
    if (value >= INT_MIN && value <= INT_MAX)
      return std::unique_ptr<Value>(new FundamentalValue(static_cast<int>(value)));
  }
  double number = 0;
  if (mantissa_digits < 20 &&
      ExactDecimalToDouble(mantissa, exponent - fraction_digits, &number)) {
    return std::unique_ptr<Value>(new FundamentalValue(negative ? -number : number));
  }
  // The text is a well-formed number, so only its range can be wrong: an
  // underflow reads as the nearest double (0), an overflow is refused.
  const char* begin = input_ + start;
  const char* end = input_ + i;
  const char* used_end = end;
  if (!ParsePlainDouble(begin, end, &number, &used_end)) {
    bool range_error = false;
    number = ParseDouble(begin, end, &used_end, &range_error);
  }
  if (!std::isfinite(number)) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, start);
    return nullptr;
  }
  return std::unique_ptr<Value>(new FundamentalValue(number));
}

std::unique_ptr<Value> JSONParser::ConsumeLiteral() {
  const size_t start = pos_.index;
  StringPiece rest(input_ + start, length_ - start);
  const char* word;
  std::unique_ptr<Value> value;
  switch (input_[start]) {
    case 't':
      word = "true";
      value.reset(new FundamentalValue(true));
      break;
    case 'f':
      word = "false";
      value.reset(new FundamentalValue(false));
      break;
    default:
      word = "null";
      value = Value::CreateNullValue();
      break;
  }
  const size_t word_length = strlen(word);
  if (rest.size() < word_length || memcmp(rest.data(), word, word_length)) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, start);
    return nullptr;
  }
  pos_.index += word_length;
  return value;
}

void JSONParser::ReportError(JSONReader::JSONParseError code, size_t offset) {
  if (error_code_ != JSONReader::JSON_NO_ERROR)
    return;
  error_code_ = code;
  error_line_ = pos_.line_number;
  // Lines after the first count from their line break, as they always have.
  error_column_ = static_cast<int>(offset) -
                  static_cast<int>(pos_.index_last_line) + 1;
}

void JSONParser::ReportErrorAtToken(JSONReader::JSONParseError code,
                                    Token token) {
  if (token != T_END_OF_INPUT) {
    ReportError(code, pos_.index);
    return;
  }
  pos_ = token_search_start_;
  ReportError(code, pos_.index);
}

}  // namespace internal
}  // namespace base
