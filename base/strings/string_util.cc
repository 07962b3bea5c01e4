#include "base/strings/string_util.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <type_traits>
#include <utility>

namespace base {

const char16 kWhitespaceUTF16[] = {
    0x0009, 0x000A, 0x000B, 0x000C, 0x000D,  // CHARACTER TABULATION to CR
    0x0020,                                  // SPACE
    0x0085,                                  // NEXT LINE
    0x00A0,                                  // NO-BREAK SPACE
    0x1680,                                  // OGHAM SPACE MARK
    0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005,
    0x2006, 0x2007, 0x2008, 0x2009, 0x200A,  // EN QUAD to HAIR SPACE
    0x2028,                                  // LINE SEPARATOR
    0x2029,                                  // PARAGRAPH SEPARATOR
    0x202F,                                  // NARROW NO-BREAK SPACE
    0x205F,                                  // MEDIUM MATHEMATICAL SPACE
    0x3000,                                  // IDEOGRAPHIC SPACE
    0};

const char kWhitespaceASCII[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0};

namespace {

template <typename Char>
Char FoldASCII(Char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c + ('a' - 'A')) : c;
}

// Compared as an unsigned byte: a UTF-8 byte is never whitespace.
bool IsASCIIWhitespace(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u == ' ' || (u >= '\t' && u <= '\r');
}

// The ORed units of a whole buffer, a 64-bit word at a time where the
// buffer allows. Each unit lands in the low bits of the result's lanes or
// of the word, which is all the caller's mask test needs.
template <typename Char>
uint64_t OrAllUnits(const Char* units, size_t length) {
  typedef typename std::make_unsigned<Char>::type Unit;
  const Char* p = units;
  const Char* const end = units + length;
  uint64_t acc = 0;
  while (p < end && reinterpret_cast<uintptr_t>(p) % sizeof(uint64_t) != 0)
    acc |= static_cast<Unit>(*p++);
  // Four words a step into two pairs of accumulators, which the compiler
  // can keep in two 16-byte registers.
  const size_t kPerStep = 4 * sizeof(uint64_t) / sizeof(Char);
  uint64_t pairs[2][2] = {{0, 0}, {0, 0}};
  while (static_cast<size_t>(end - p) >= kPerStep) {
    uint64_t w[4];
    memcpy(w, p, sizeof(w));
    pairs[0][0] |= w[0];
    pairs[0][1] |= w[1];
    pairs[1][0] |= w[2];
    pairs[1][1] |= w[3];
    p += kPerStep;
  }
  while (p < end)
    acc |= static_cast<Unit>(*p++);
  return acc | pairs[0][0] | pairs[0][1] | pairs[1][0] | pairs[1][1];
}

template <typename Char>
bool DoIsStringASCII(const Char* units, size_t length) {
  // The bits above 0x7F in every lane of a word.
  const uint64_t kNonASCIIMask =
      sizeof(Char) == 1 ? 0x8080808080808080ULL : 0xFF80FF80FF80FF80ULL;
  return (OrAllUnits(units, length) & kNonASCIIMask) == 0;
}

template <typename Char>
bool UnitsEqual(Char a, Char b, CompareCase case_sensitivity) {
  if (case_sensitivity == INSENSITIVE_ASCII)
    return FoldASCII(a) == FoldASCII(b);
  return a == b;
}

// memmove that accepts an empty range with a null pointer.
void MoveChars(char* dest, const char* src, size_t count) {
  if (count)
    memmove(dest, src, count);
}

// Whether |piece| views bytes of |str|, which the caller is about to change.
bool ViewsInto(StringPiece piece, const std::string& str) {
  if (piece.empty() || str.empty())
    return false;
  std::less_equal<const char*> le;
  return le(str.data(), piece.data()) &&
         le(piece.data(), str.data() + str.size());
}

// Everything from the first match on, for a replacement no longer than the
// text it replaces: one forward pass that moves the text between matches
// down behind each written replacement.
void ReplaceShrinking(std::string* str, size_t first, StringPiece find_this,
                      StringPiece replace_with) {
  char* buffer = &(*str)[0];
  size_t write = first;
  size_t read = first;
  for (size_t match = first; match != std::string::npos;
       match = str->find(find_this.data(), read, find_this.size())) {
    if (write != read)
      MoveChars(buffer + write, buffer + read, match - read);
    write += match - read;
    MoveChars(buffer + write, replace_with.data(), replace_with.size());
    write += replace_with.size();
    read = match + find_this.size();
  }
  if (write != read)
    MoveChars(buffer + write, buffer + read, str->size() - read);
  str->resize(write + (str->size() - read));
}

// For a longer replacement: the matches are found first, the string grows
// once, and the text is moved into place from the back.
void ReplaceGrowing(std::string* str, size_t first, StringPiece find_this,
                    StringPiece replace_with) {
  std::vector<size_t> matches;
  for (size_t match = first; match != std::string::npos;
       match = str->find(find_this.data(), match + find_this.size(),
                         find_this.size())) {
    matches.push_back(match);
  }
  const size_t old_size = str->size();
  str->resize(old_size +
              matches.size() * (replace_with.size() - find_this.size()));
  char* buffer = &(*str)[0];
  size_t read_end = old_size;
  size_t write_end = str->size();
  for (size_t i = matches.size(); i > 0; --i) {
    size_t tail = matches[i - 1] + find_this.size();
    write_end -= read_end - tail;
    MoveChars(buffer + write_end, buffer + tail, read_end - tail);
    write_end -= replace_with.size();
    MoveChars(buffer + write_end, replace_with.data(), replace_with.size());
    read_end = matches[i - 1];
  }
}

template <typename StringType>
StringType JoinStringImpl(const std::vector<StringType>& parts,
                          BasicStringPiece<StringType> separator) {
  StringType result;
  if (parts.empty())
    return result;
  size_t total = separator.size() * (parts.size() - 1);
  for (const StringType& part : parts)
    total += part.size();
  result.reserve(total);
  result.append(parts[0]);
  for (size_t i = 1; i < parts.size(); ++i) {
    separator.AppendToString(&result);
    result.append(parts[i]);
  }
  return result;
}

// Orders recorded placeholder positions by placeholder index.
struct ReplacementOffset {
  size_t parameter;
  size_t offset;
};

bool CompareReplacementOffset(const ReplacementOffset& elem1,
                              const ReplacementOffset& elem2) {
  return elem1.parameter < elem2.parameter;
}

template <typename StringType>
StringType DoReplaceStringPlaceholders(
    BasicStringPiece<StringType> format_string,
    const std::vector<StringType>& subst, std::vector<size_t>* offsets) {
  size_t reserve = format_string.size();
  for (const StringType& s : subst)
    reserve += s.size();
  StringType formatted;
  formatted.reserve(reserve);

  std::vector<ReplacementOffset> r_offsets;
  const size_t length = format_string.size();
  size_t i = 0;
  while (i < length) {
    const auto c = format_string[i];
    if (c != '$') {
      formatted.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 == length)
      break;  // A final '$' stands for nothing.
    const auto next = format_string[i + 1];
    if (next == '$') {
      // "$$" is one literal '$', "$$$" two; whatever follows the run is
      // plain text.
      for (++i; i < length && format_string[i] == '$'; ++i)
        formatted.push_back('$');
      continue;
    }
    i += 2;
    if (next < '1' || next > '9')
      continue;
    const size_t index = static_cast<size_t>(next - '1');
    if (offsets) {
      ReplacementOffset r_offset = {index, formatted.size()};
      r_offsets.insert(std::lower_bound(r_offsets.begin(), r_offsets.end(),
                                        r_offset, &CompareReplacementOffset),
                       r_offset);
    }
    if (index < subst.size())
      formatted.append(subst[index]);
  }
  if (offsets) {
    for (const ReplacementOffset& r : r_offsets)
      offsets->push_back(r.offset);
  }
  return formatted;
}

}  // namespace

std::string ToLowerASCII(StringPiece str) {
  std::string result;
  result.reserve(str.size());
  for (char c : str)
    result.push_back(FoldASCII(c));
  return result;
}

std::string ToUpperASCII(StringPiece str) {
  std::string result;
  result.reserve(str.size());
  for (char c : str)
    result.push_back((c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c);
  return result;
}

bool LowerCaseEqualsASCII16(StringPiece16 str, StringPiece lowercase_ascii) {
  if (str.size() != lowercase_ascii.size())
    return false;
  for (size_t i = 0; i < str.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(lowercase_ascii[i]);
    if (b >= 0x80 || FoldASCII(str[i]) != b)
      return false;
  }
  return true;
}

bool EndsWith16(StringPiece16 str, StringPiece16 search,
                CompareCase case_sensitivity) {
  if (search.size() > str.size())
    return false;
  StringPiece16 tail = str.substr(str.size() - search.size());
  for (size_t i = 0; i < search.size(); ++i) {
    if (!UnitsEqual(tail[i], search[i], case_sensitivity))
      return false;
  }
  return true;
}

bool IsStringASCII(StringPiece str) {
  return DoIsStringASCII(str.data(), str.size());
}

bool IsStringASCII16(StringPiece16 str) {
  return DoIsStringASCII(str.data(), str.size());
}

bool IsStringASCII16Str(const string16& str) {
  return DoIsStringASCII(str.data(), str.size());
}

bool IsValidCharacter(uint32_t code_point) {
  return code_point < 0xD800u ||
         (code_point >= 0xE000u && code_point < 0xFDD0u) ||
         (code_point > 0xFDEFu && code_point <= 0x10FFFFu &&
          (code_point & 0xFFFEu) != 0xFFFEu);
}

TrimPositions TrimString16(const string16& input, StringPiece16 trim_chars,
                           string16* output) {
  const StringPiece16 text(input);
  const size_t first = text.find_first_not_of(trim_chars);
  if (input.empty() || first == StringPiece16::npos) {
    TrimPositions result = input.empty() ? TRIM_NONE : TRIM_ALL;
    output->clear();
    return result;
  }
  const size_t last = text.find_last_not_of(trim_chars);
  int trimmed = (first != 0 ? TRIM_LEADING : TRIM_NONE) |
                (last != input.size() - 1 ? TRIM_TRAILING : TRIM_NONE);
  // Copied out first: |output| may be |input|.
  string16 kept = input.substr(first, last - first + 1);
  output->swap(kept);
  return static_cast<TrimPositions>(trimmed);
}

std::string CollapseWhitespaceASCII(const std::string& text) {
  std::string result(text.size(), '\0');
  size_t written = 0;
  // Both start true so that leading whitespace is dropped.
  bool in_whitespace = true;
  bool already_trimmed = true;
  for (char c : text) {
    if (!IsASCIIWhitespace(c)) {
      result[written++] = c;
      in_whitespace = false;
      already_trimmed = false;
      continue;
    }
    if (!in_whitespace) {
      result[written++] = ' ';
      in_whitespace = true;
    }
    // A run that holds a line break joins its neighbours without a space.
    if (!already_trimmed && (c == '\n' || c == '\r')) {
      --written;
      already_trimmed = true;
    }
  }
  if (in_whitespace && !already_trimmed)
    --written;
  result.resize(written);
  return result;
}

bool ReplaceChars(const std::string& input, StringPiece replace_chars,
                  const std::string& replace_with, std::string* output) {
  // Built apart and swapped in at the end, so that any argument may alias
  // |output|.
  std::string result;
  result.reserve(input.size());
  bool replaced = false;
  size_t copied = 0;
  StringPiece text(input);
  for (size_t pos = text.find_first_of(replace_chars); pos != StringPiece::npos;
       pos = text.find_first_of(replace_chars, pos + 1)) {
    result.append(input, copied, pos - copied);
    result.append(replace_with);
    copied = pos + 1;
    replaced = true;
  }
  result.append(input, copied, std::string::npos);
  output->swap(result);
  return replaced;
}

void ReplaceSubstringsAfterOffset(std::string* str, size_t start_offset,
                                  StringPiece find_this,
                                  StringPiece replace_with, bool replace_all) {
  // Nothing to look for; searching for it would match everywhere and
  // never advance.
  if (find_this.empty())
    return;
  // The texts may view into |str|, which is about to move under them.
  std::string find_copy;
  std::string replace_copy;
  if (ViewsInto(find_this, *str)) {
    find_copy = find_this.as_string();
    find_this = find_copy;
  }
  if (ViewsInto(replace_with, *str)) {
    replace_copy = replace_with.as_string();
    replace_with = replace_copy;
  }

  const size_t first =
      str->find(find_this.data(), start_offset, find_this.size());
  if (first == std::string::npos)
    return;
  if (!replace_all) {
    str->replace(first, find_this.size(), replace_with.data(),
                 replace_with.size());
    return;
  }
  if (replace_with.size() <= find_this.size())
    ReplaceShrinking(str, first, find_this, replace_with);
  else
    ReplaceGrowing(str, first, find_this, replace_with);
}

std::string JoinString(const std::vector<std::string>& parts,
                       StringPiece separator) {
  return JoinStringImpl(parts, separator);
}

string16 JoinString16(const std::vector<string16>& parts,
                      StringPiece16 separator) {
  return JoinStringImpl(parts, separator);
}

string16 ReplaceStringPlaceholders16(const string16& format_string,
                                     const std::vector<string16>& subst,
                                     std::vector<size_t>* offsets) {
  return DoReplaceStringPlaceholders(StringPiece16(format_string), subst,
                                     offsets);
}

std::string ReplaceStringPlaceholders(StringPiece format_string,
                                      const std::vector<std::string>& subst,
                                      std::vector<size_t>* offsets) {
  return DoReplaceStringPlaceholders(format_string, subst, offsets);
}

}  // namespace base
