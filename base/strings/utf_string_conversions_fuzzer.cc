// Any bytes, read as UTF-8 and as UTF-16 units: conversion never stops
// early, every output is well-formed, and text that converted without a
// replacement converts back to exactly the input.

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace {

bool IsWellFormedUTF16(const string16& units) {
  for (size_t i = 0; i < units.size(); ++i) {
    const char16 u = units[i];
    if (u >= 0xDC00 && u <= 0xDFFF)
      return false;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 == units.size() || units[i + 1] < 0xDC00 ||
          units[i + 1] > 0xDFFF) {
        return false;
      }
      ++i;
    }
  }
  return true;
}

void CheckUTF8(const char* bytes, size_t size) {
  // The decoder moves forward by one to six bytes and never past the end.
  size_t index = 0;
  size_t replacements = 0;
  while (index < size) {
    const size_t before = index;
    uint32_t code_point;
    if (!base::ReadUTF8CodePoint(bytes, size, &index, &code_point))
      ++replacements;
    CHECK_GT(index, before);
    CHECK_LE(index - before, 6u);
    CHECK_LE(index, size);
  }

  string16 utf16;
  const bool clean = base::ConvertUTF8ToUTF16(bytes, size, &utf16);
  CHECK_EQ(clean, replacements == 0);
  CHECK(utf16 == base::UTF8ToUTF16(base::StringPiece(bytes, size)));
  CHECK(IsWellFormedUTF16(utf16));
  const std::string back = base::UTF16ToUTF8(utf16);
  if (clean)
    CHECK(back == std::string(bytes, size));
  else
    CHECK(utf16.find(0xFFFD) != string16::npos);
  CHECK(base::UTF8ToUTF16(back) == utf16);
}

void CheckUTF16(const char16* units, size_t size) {
  std::string utf8;
  const bool clean = base::ConvertUTF16ToUTF8(units, size, &utf8);
  CHECK(utf8 == base::UTF16ToUTF8(base::StringPiece16(units, size)));
  string16 back;
  CHECK(base::ConvertUTF8ToUTF16(utf8.data(), utf8.size(), &back));
  if (clean)
    CHECK(back == string16(units, size));
  CHECK(IsWellFormedUTF16(back));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckUTF8(reinterpret_cast<const char*>(data), size);
  string16 units(size / 2, 0);
  if (!units.empty())
    memcpy(&units[0], data, units.size() * sizeof(char16));
  CheckUTF16(units.data(), units.size());
  return 0;
}
