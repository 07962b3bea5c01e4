#include "bench/bench_inputs.h"

#include <string.h>

#include <charconv>

namespace bench {

namespace {

const char* const kWords[] = {
    "lorem", "ipsum", "dolor", "sit", "amet", "consectetur", "adipiscing",
    "elit", "sed", "do", "eiusmod", "tempor", "incididunt", "ut", "labore",
    "et", "dolore", "magna", "aliqua", "enim", "minim", "veniam", "quis",
    "nostrud", "exercitation", "ullamco", "laboris", "nisi", "aliquip"};

// Pieces of string contents as they stand in JSON text: plain words,
// escapes of every kind the reader knows, and raw UTF-8 of 2, 3 and 4
// bytes.
const char* const kStringPieces[] = {
    "plain words here ", "more text ", "\\n", "\\t", "\\\"quoted\\\"",
    "C:\\\\Program Files\\\\Palvo", "\\/", "\\u00e9t\\u00e9 ", "\\u4e2d\\u6587 ",
    "\\ud83d\\ude00", "<b>bold</b> ", "Gr\xC3\xBC\xC3\x9F" "e ",
    "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 ",
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E ", "\xF0\x9F\x98\x80 ",
    "caf\xC3\xA9 ", "line\\r\\n", "\\u2028"};

const char* const kFruits[] = {"apple", "banana", "strawberry", "cherry"};

void AppendWord(Random* random, std::string* out) {
  out->append(kWords[random->Below(sizeof(kWords) / sizeof(kWords[0]))]);
}

void AppendInt(long long value, std::string* out) {
  char buffer[24];
  std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  out->append(buffer, result.ptr);
}

void AppendDouble(double value, std::string* out) {
  char buffer[32];
  std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  out->append(buffer, result.ptr);
}

// A number as a JSON producer would write one: several shapes, so that
// integer, short, long and exponent paths all run.
void AppendNumber(Random* random, std::string* out) {
  switch (random->Below(10)) {
    case 0:
    case 1:
    case 2:
    case 3: {
      // A random double of full precision.
      double value = static_cast<double>(random->Next() >> 11) / 9007199254740992.0;
      AppendDouble((value - 0.5) * 2000.0, out);
      return;
    }
    case 4:
    case 5:
      AppendInt(static_cast<long long>(random->Below(2000000)) - 1000000, out);
      return;
    case 6:
    case 7: {
      // Short decimals such as prices and coordinates.
      AppendInt(static_cast<long long>(random->Below(100000)), out);
      out->push_back('.');
      AppendInt(static_cast<long long>(random->Below(100)), out);
      return;
    }
    case 8:
      // Beyond 32 bits: read as doubles.
      AppendInt(static_cast<long long>(random->Next() >> 20), out);
      return;
    default: {
      AppendInt(static_cast<long long>(random->Below(9) + 1), out);
      out->push_back('.');
      AppendInt(static_cast<long long>(random->Below(1000)), out);
      out->push_back('e');
      AppendInt(static_cast<long long>(random->Below(60)) - 30, out);
      return;
    }
  }
}

void AppendRecord(Random* random, int id, std::string* out) {
  out->append("{\"id\":");
  AppendInt(id, out);
  out->append(",\"guid\":\"");
  for (int i = 0; i < 4; ++i) {
    static const char kHex[] = "0123456789abcdef";
    for (int j = 0; j < 8; ++j)
      out->push_back(kHex[random->Below(16)]);
    if (i < 3)
      out->push_back('-');
  }
  out->append("\",\"active\":");
  out->append(random->Below(2) ? "true" : "false");
  out->append(",\"balance\":");
  AppendInt(static_cast<long long>(random->Below(10000)), out);
  out->push_back('.');
  AppendInt(static_cast<long long>(random->Below(90) + 10), out);
  out->append(",\"age\":");
  AppendInt(static_cast<long long>(random->Below(60) + 18), out);
  out->append(",\"name\":\"");
  AppendWord(random, out);
  out->push_back(' ');
  AppendWord(random, out);
  out->append("\",\"email\":\"");
  AppendWord(random, out);
  out->push_back('.');
  AppendWord(random, out);
  out->append("@example.com\",\"about\":\"");
  const int words = 8 + static_cast<int>(random->Below(24));
  for (int i = 0; i < words; ++i) {
    if (i)
      out->push_back(' ');
    AppendWord(random, out);
  }
  out->append(".\",\"registered\":\"2014-0");
  AppendInt(static_cast<long long>(random->Below(9) + 1), out);
  out->append("-12T10:21:08\",\"latitude\":");
  AppendNumber(random, out);
  out->append(",\"longitude\":");
  AppendNumber(random, out);
  out->append(",\"tags\":[");
  const int tags = 1 + static_cast<int>(random->Below(6));
  for (int i = 0; i < tags; ++i) {
    if (i)
      out->push_back(',');
    out->push_back('"');
    AppendWord(random, out);
    out->push_back('"');
  }
  out->append("],\"friends\":[");
  const int friends = static_cast<int>(random->Below(4));
  for (int i = 0; i < friends; ++i) {
    if (i)
      out->push_back(',');
    out->append("{\"id\":");
    AppendInt(i, out);
    out->append(",\"name\":\"");
    AppendWord(random, out);
    out->append("\"}");
  }
  out->append("],\"greeting\":\"Hello, ");
  AppendWord(random, out);
  out->append("! You have ");
  AppendInt(static_cast<long long>(random->Below(20)), out);
  out->append(" unread messages.\",\"favoriteFruit\":\"");
  out->append(kFruits[random->Below(4)]);
  out->append("\",\"note\":null}");
}

}  // namespace

uint64_t Random::Next() {
  // xorshift64*
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  return state_ * 0x2545F4914F6CDD1DULL;
}

const char* DocumentName(Document document) {
  switch (document) {
    case Document::MIXED:
      return "mixed";
    case Document::NUMBERS:
      return "numbers";
    default:
      return "strings";
  }
}

std::string MakeDocument(Document document, size_t size) {
  Random random(0x5EED0000u + static_cast<unsigned>(document));
  std::string out;
  out.reserve(size + 4096);
  out.push_back('[');
  for (int id = 0; out.size() < size; ++id) {
    if (id)
      out.push_back(',');
    switch (document) {
      case Document::MIXED:
        AppendRecord(&random, id, &out);
        break;
      case Document::NUMBERS:
        out.push_back('[');
        for (int i = 0; i < 16; ++i) {
          if (i)
            out.push_back(',');
          AppendNumber(&random, &out);
        }
        out.push_back(']');
        break;
      case Document::STRINGS: {
        out.push_back('"');
        const int pieces = 2 + static_cast<int>(random.Below(10));
        for (int i = 0; i < pieces; ++i) {
          out.append(kStringPieces[random.Below(sizeof(kStringPieces) /
                                                sizeof(kStringPieces[0]))]);
        }
        out.push_back('"');
        break;
      }
    }
  }
  out.push_back(']');
  return out;
}

std::vector<std::string> MakeNumberTexts(size_t count) {
  Random random(0xD0B1E);
  std::vector<std::string> texts;
  texts.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    std::string text;
    AppendNumber(&random, &text);
    texts.push_back(text);
  }
  return texts;
}

}  // namespace bench
