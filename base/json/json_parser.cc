#include "base/json/json_parser.h"

#include <limits.h>
#include <string.h>

#include <array>
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

// The value of each hexadecimal digit of either case, -1 for other bytes.
constexpr std::array<int8_t, 256> kHexValue = [] {
  std::array<int8_t, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[c] = static_cast<int8_t>(HexDigitValue(c));
  return table;
}();

// The value of |count| (2 or 4) hexadecimal digits at |p|; a \u group of
// four may instead be 0x (or 0X) and two digits. No whitespace and no
// sign: "\x-1" escapes nothing.
bool ReadHexGroup(const char* p, size_t count, uint32_t* value) {
  if (count == 4 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    p += 2;
    count = 2;
  }
  // A bad digit is all ones, which sets bits above any group's value.
  auto digit = [p](size_t i) {
    return static_cast<uint32_t>(kHexValue[static_cast<unsigned char>(p[i])]);
  };
  uint32_t result = digit(0) << 4 | digit(1);
  if (count == 4)
    result = result << 8 | digit(2) << 4 | digit(3);
  if (result > 0xFFFF)
    return false;
  *value = result;
  return true;
}

// What each escape letter of one character stands for; 0 for the letters
// that take digits and for the ones that are no escape.
constexpr std::array<char, 256> kEscapedByte = [] {
  std::array<char, 256> table{};
  table['"'] = '"';
  table['\\'] = '\\';
  table['/'] = '/';
  table['b'] = '\b';
  table['f'] = '\f';
  table['n'] = '\n';
  table['r'] = '\r';
  table['t'] = '\t';
  table['v'] = '\v';
  return table;
}();

// How many of the eight bytes at |p| are decimal digits before the first
// other byte, with the value of those digits in |*value|. Branch-free, so
// that numbers of any length cost the same few steps.
int LoadDigits(const char* p, uint64_t* value) {
  uint64_t word;
  memcpy(&word, p, sizeof(word));
  // A byte is a digit when it is 0x3N with N at most 9. The nibbles are
  // tested apart so that no carry crosses into the next byte.
  const uint64_t x = word ^ 0x3030303030303030ULL;
  const uint64_t low_above_nine =
      ((x & 0x0F0F0F0F0F0F0F0FULL) + 0x0606060606060606ULL) &
      0x1010101010101010ULL;
  const uint64_t other = (x & 0xF0F0F0F0F0F0F0F0ULL) | low_above_nine;
  const int count = other ? __builtin_ctzll(other) >> 3 : 8;
  // The first digit is the lowest byte: shift the digits up so that the
  // bytes after them drop out and zeros lead, then combine neighbours.
  uint64_t digits = count ? x << (8 * (8 - count)) : 0;
  digits = ((digits & 0x0F0F0F0F0F0F0F0FULL) * 2561) >> 8;
  digits = ((digits & 0x00FF00FF00FF00FFULL) * 6553601) >> 16;
  digits = ((digits & 0x0000FFFF0000FFFFULL) * 42949672960001ULL) >> 32;
  *value = digits;
  return count;
}

constexpr uint64_t kPowersOfTen[] = {1,      10,      100,      1000,     10000,
                                     100000, 1000000, 10000000, 100000000};

void AppendCodePoint(uint32_t code_point, BufferedAppender* out) {
  out->Commit(EncodeUTF8(code_point, out->Claim(4)));
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
  bool too_deep() const { return *depth_ > JSONReader::kMaxDepth; }

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

// static
constexpr std::array<JSONParser::Token, 256> JSONParser::MakeTokenTable() {
  std::array<Token, 256> table{};
  for (Token& token : table)
    token = T_INVALID_TOKEN;
  auto set = [&table](char c, Token token) {
    table[static_cast<unsigned char>(c)] = token;
  };
  set('{', T_OBJECT_BEGIN);
  set('}', T_OBJECT_END);
  set('[', T_ARRAY_BEGIN);
  set(']', T_ARRAY_END);
  set('"', T_STRING);
  set('-', T_NUMBER);
  for (char c = '0'; c <= '9'; ++c)
    set(c, T_NUMBER);
  set('t', T_BOOL_TRUE);
  set('f', T_BOOL_FALSE);
  set('n', T_NULL);
  set(',', T_LIST_SEPARATOR);
  set(':', T_OBJECT_PAIR_SEPARATOR);
  for (char c : {' ', '\t', '\r', '\n', '/'})
    set(c, T_SKIPPABLE);
  return table;
}

const std::array<JSONParser::Token, 256> JSONParser::kTokenOfByte =
    JSONParser::MakeTokenTable();

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
  // Compact text has no whitespace between tokens: classify at once.
  if (pos_.index < length_) {
    const Token token =
        kTokenOfByte[static_cast<unsigned char>(input_[pos_.index])];
    if (token != T_SKIPPABLE)
      return token;
  }
  // Only an error at the end of input looks back at where the search began.
  token_search_start_ = pos_;
  EatWhitespaceAndComments();
  if (pos_.index >= length_)
    return T_END_OF_INPUT;
  const Token token =
      kTokenOfByte[static_cast<unsigned char>(input_[pos_.index])];
  // A slash that starts no comment.
  return token == T_SKIPPABLE ? T_INVALID_TOKEN : token;
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
    dictionary->SetWithoutPathExpansion(std::move(key), std::move(value));

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
      list->AppendRange(pending_elements_.begin() + first,
                        pending_elements_.end());
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
  const char* const end = input_ + length_;
  const char* p = input_ + pos_.index + 1;  // after the opening quote
  const char* run = p;
  // Most strings are plain ASCII: taken in one piece.
  p = FindSpecialByte<0, '"', '\\'>(p, end);
  if (p != end && *p == '"') {
    out->assign(run, static_cast<size_t>(p - run));
    pos_.index = static_cast<size_t>(p + 1 - input_);
    return true;
  }
  out->clear();
  BufferedAppender text(out);
  // Bytes that stand for themselves gather into runs, each appended whole:
  // ASCII (control characters included) and well-formed UTF-8.
  for (; p != end; p = FindSpecialByte<0, '"', '\\'>(p, end)) {
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
    text.Append(run, p - run, end - run);
    if (*p == '"') {
      pos_.index = static_cast<size_t>(p + 1 - input_);
      return true;
    }
    // Escapes of one letter are most of them.
    const char escaped =
        end - p >= 2 ? kEscapedByte[static_cast<unsigned char>(p[1])] : 0;
    if (escaped) {
      text.AppendByte(escaped);
      p = run = p + 2;
      continue;
    }
    // So are \u escapes of the basic plane.
    uint32_t code_point;
    if (end - p >= 6 && p[1] == 'u' && ReadHexGroup(p + 2, 4, &code_point) &&
        (code_point < 0xD800 || code_point > 0xDFFF)) {
      AppendCodePoint(code_point, &text);
      p = run = p + 6;
      continue;
    }
    pos_.index = static_cast<size_t>(p - input_);
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
  const char letter = input_[backslash + 1];
  pos_.index = backslash + 2;
  uint32_t code_point;
  if (letter == 'x') {
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
  }
  if (letter == 'u') {
    if (!ConsumeUnicodeEscape(backslash, &code_point))
      return false;
    // \u0000 is kept as a NUL, which is how the writer escapes one.
    AppendCodePoint(code_point, out);
    return true;
  }
  // The escapes of one letter were taken by the caller.
  ReportError(JSONReader::JSON_INVALID_ESCAPE, backslash);
  return false;
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
  // Read through local pointers: the members would be reloaded after every
  // store.
  const char* const begin = input_ + pos_.index;
  const char* const end = input_ + length_;
  const char* p = begin;
  // The digits are gathered while the grammar is checked, so that most
  // numbers need no second look at their text.
  uint64_t mantissa = 0;
  int mantissa_digits = 0;  // counted up to 20, past what a uint64 holds
  auto take_digits = [end, &mantissa, &mantissa_digits](const char* q) {
    // Up to eight digits at a time while they fit in the count.
    while (end - q >= 8) {
      uint64_t digits;
      const int count = LoadDigits(q, &digits);
      if (mantissa_digits + count > 20)
        break;
      mantissa = mantissa * kPowersOfTen[count] + digits;
      mantissa_digits += count;
      q += count;
      if (count < 8)
        return q;
    }
    for (; q != end && IsAsciiDigit(*q); ++q) {
      if (mantissa_digits < 20) {
        mantissa = mantissa * 10 + static_cast<uint64_t>(*q - '0');
        ++mantissa_digits;
      }
    }
    return q;
  };
  auto digit_at = [end](const char* q) {
    return q != end && IsAsciiDigit(*q);
  };
  auto fail_at = [this](const char* q) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR,
                static_cast<size_t>(q - input_));
    return nullptr;
  };

  const bool negative = *p == '-';
  if (negative)
    ++p;
  if (!digit_at(p))
    return fail_at(p);
  if (*p == '0') {
    ++p;
    mantissa_digits = 1;
    if (digit_at(p))  // no leading zeros
      return fail_at(p);
  } else {
    p = take_digits(p);
  }
  bool integral = true;
  int fraction_digits = 0;
  if (p != end && *p == '.') {
    integral = false;
    ++p;
    if (!digit_at(p))
      return fail_at(p);
    const int before = mantissa_digits;
    p = take_digits(p);
    fraction_digits = mantissa_digits - before;
  }
  int exponent = 0;
  if (p != end && (*p == 'e' || *p == 'E')) {
    integral = false;
    ++p;
    bool exponent_negative = false;
    if (p != end && (*p == '+' || *p == '-'))
      exponent_negative = *p++ == '-';
    if (!digit_at(p))
      return fail_at(p);
    for (; p != end && IsAsciiDigit(*p); ++p) {
      if (exponent < 100000)  // far beyond any double either way
        exponent = exponent * 10 + (*p - '0');
    }
    if (exponent_negative)
      exponent = -exponent;
  }
  pos_.index = static_cast<size_t>(p - input_);

  // A separator or a closing bracket right after the number is the common
  // case; anything else needs the full token search.
  const char following = p != end ? *p : ',';
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
  const char* used_end = p;
  if (!ParsePlainDouble(begin, p, &number, &used_end)) {
    bool range_error = false;
    number = ParseDouble(begin, p, &used_end, &range_error);
  }
  if (!std::isfinite(number))
    return fail_at(begin);
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
