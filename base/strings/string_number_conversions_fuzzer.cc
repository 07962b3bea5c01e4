// Any bytes as number text, hexadecimal, version and key-value text: the
// parsers stay inside their input, keep their promises about the output,
// and every double they accept prints and reads back as the same bits.

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "base/logging.h"
#include "base/strings/double_conversions.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/string_tokenizer.h"
#include "base/version.h"

namespace {

void CheckIntegers(const std::string& text) {
  // What parses prints as a number that parses to the same value.
  int value = 0;
  if (base::StringToInt(text, &value)) {
    int again = 0;
    CHECK(base::StringToInt(base::IntToString(value), &again));
    CHECK_EQ(value, again);
  }
  uint64_t value64 = 0;
  if (base::StringToUint64(text, &value64)) {
    uint64_t again = 0;
    CHECK(base::StringToUint64(base::Uint64ToString(value64), &again));
    CHECK_EQ(value64, again);
  }
  uint64_t hex = 0;
  base::HexStringToUInt64(text, &hex);
  std::vector<uint8_t> bytes;
  if (base::HexStringToBytes(text, &bytes))
    CHECK_EQ(text.size(), bytes.size() * 2);
  base::HexEncode(text.data(), text.size());
}

void CheckDouble(const std::string& text) {
  double value = 0;
  const bool ok = base::StringToDouble(text, &value);
  char* end = nullptr;
  const double parsed = base::dmg_strtod(text.c_str(), &end);
  CHECK(end >= text.c_str() && end <= text.c_str() + text.size());
  CHECK_EQ(0, memcmp(&parsed, &value, sizeof(value)));
  if (!ok)
    return;
  char buffer[base::kGFmtBufferSize];
  base::g_fmt(buffer, value);
  CHECK_LT(strlen(buffer), base::kGFmtBufferSize);
  const double back = base::dmg_strtod(buffer, nullptr);
  if (value == value)
    CHECK_EQ(0, memcmp(&back, &value, sizeof(value)));
}

void CheckSplitting(const std::string& text) {
  base::Version version(text);
  if (version.IsValid())
    CHECK_EQ(0, version.CompareTo(version));
  base::StringPairs pairs;
  base::SplitStringIntoKeyValuePairs(text, &pairs);
  base::StringTokenizer tokenizer(text, ",; ");
  tokenizer.set_quote_chars("\"'");
  tokenizer.set_options(base::StringTokenizer::RETURN_DELIMS);
  size_t covered = 0;
  while (tokenizer.GetNext()) {
    CHECK(tokenizer.token_end() > tokenizer.token_begin());
    covered += static_cast<size_t>(tokenizer.token_end() - tokenizer.token_begin());
  }
  // With delimiters returned, the tokens cover the whole text.
  CHECK_EQ(covered, text.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckIntegers(text);
  CheckDouble(text);
  CheckSplitting(text);
  return 0;
}
