#include "desktop/windows/installer/service/install_log.h"

#include <string.h>

#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"

namespace installer {

namespace {

constexpr const char* kRegistryTypeNames[] = {
    "REG_NONE",
    "REG_SZ",
    "REG_EXPAND_SZ",
    "REG_BINARY",
    "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN",
    "REG_LINK",
    "REG_MULTI_SZ",
    "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR",
    "REG_RESOURCE_REQUIREMENTS_LIST",
    "REG_QWORD",
};

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// The string up to its first zero unit, but never past `size` bytes: a
// value whose terminator is missing must not make us read beyond it.
std::string StringDataText(const uint8_t* bytes, uint32_t size) {
  string16 text;
  const uint32_t units = size / 2;
  for (uint32_t i = 0; i < units; ++i) {
    char16 unit;
    memcpy(&unit, bytes + i * 2, sizeof(unit));
    if (unit == 0)
      break;
    text.push_back(unit);
  }
  return base::UTF16ToUTF8(text);
}

std::string BinaryDataText(const uint8_t* bytes, uint32_t size) {
  std::string text;
  text.reserve(size * 3);
  for (uint32_t i = 0; i < size; ++i)
    base::StringAppendF(&text, i == 0 ? "%.2x" : ",%.2x", bytes[i]);
  return text;
}

std::string DwordDataText(const uint8_t* bytes, uint32_t size) {
  // Fewer than four bytes hold no DWORD; reading them would overrun.
  if (size < 4)
    return std::string();
  const uint32_t value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                         (static_cast<uint32_t>(bytes[3]) << 24);
  return base::StringPrintf("%.8x", value);
}

}  // namespace

InstallLog::InstallLog() = default;
InstallLog::InstallLog(const InstallLog& other) = default;
InstallLog& InstallLog::operator=(const InstallLog& other) = default;
InstallLog::~InstallLog() = default;

void RecordRegistryValue(std::vector<InstallLogRegistryKey>* keys,
                         const string16& key_path, const string16& value_name,
                         const void* data, uint32_t type, uint32_t size,
                         int32_t clean) {
  if (type == kRegistryValueRemoved)
    return;
  const std::string path = base::UTF16ToUTF8(key_path);
  const std::string lower_path = base::ToLowerASCII(path);
  InstallLogRegistryKey* key = nullptr;
  for (size_t i = keys->size(); i > 0; --i) {
    InstallLogRegistryKey& candidate = (*keys)[i - 1];
    if (base::ToLowerASCII(candidate.path) == lower_path) {
      key = &candidate;
      break;
    }
  }
  if (key) {
    if (clean > key->clean)
      key->clean = clean;
  } else {
    keys->emplace_back();
    key = &keys->back();
    key->path = path;
    key->clean = clean;
  }
  InstallLogRegistryValue value;
  value.name = base::UTF16ToUTF8(value_name);
  value.type = RegistryTypeName(type);
  value.data = RegistryDataText(data, type, size);
  key->values.push_back(std::move(value));
}

const char* RegistryTypeName(uint32_t type) {
  if (type >= sizeof(kRegistryTypeNames) / sizeof(kRegistryTypeNames[0]))
    return "";
  return kRegistryTypeNames[type];
}

std::string RegistryDataText(const void* data, uint32_t type, uint32_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  if (!bytes)
    size = 0;
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
      return StringDataText(bytes, size);
    case kRegBinary:
      return BinaryDataText(bytes, size);
    case kRegDword:
      return DwordDataText(bytes, size);
    default:
      return std::string();
  }
}

const char* InstallLogFlagText(bool flag) {
  return flag ? "True" : "False";
}

bool ParseInstallLogFlag(const std::string& text) {
  return text == "True";
}

string16 InstallLogWideField(const std::string& utf8) {
  string16 text;
  base::TrimString16(base::UTF8ToUTF16(utf8), base::kWhitespaceUTF16, &text);
  const size_t zero = text.find(char16(0));
  if (zero != string16::npos)
    text.resize(zero);
  return text;
}

std::string TrimRegistryDataText(const std::string& text) {
  const size_t first = text.find_first_not_of(base::kWhitespaceASCII);
  if (first == std::string::npos)
    return std::string();
  const size_t last = text.find_last_not_of(base::kWhitespaceASCII);
  return text.substr(first, last - first + 1);
}

}  // namespace installer
