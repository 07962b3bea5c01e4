#include "desktop/windows/installer/service/registry_entry.h"

#include <string.h>

#include "base/logging.h"
#include "desktop/windows/installer/service/install_log.h"

namespace installer {

namespace {

// Windows value types a row may write.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

void AppendBytes(const void* bytes, size_t size, std::vector<uint8_t>* data) {
  const uint8_t* begin = static_cast<const uint8_t*>(bytes);
  data->insert(data->end(), begin, begin + size);
}

}  // namespace

RegistryEntry::Change::Change() = default;
RegistryEntry::Change::Change(const Change& other) = default;
RegistryEntry::Change& RegistryEntry::Change::operator=(const Change& other) =
    default;
RegistryEntry::Change::~Change() = default;

RegistryEntry::RegistryEntry(const RegistryEntryRow& row,
                             VariableExpander* expander)
    : row_(row), expander_(expander) {}

RegistryEntry::~RegistryEntry() = default;

string16 RegistryEntry::ExpandTemplate(const char16* text) const {
  string16 result;
  if (!text)
    return result;
  result = text;
  // What a variable supplies goes in as it is and is not searched again:
  // an install folder may well hold braces, as in "C:\Apps\{x64}".
  size_t from = 0;
  while (true) {
    const size_t open = result.find(u'{', from);
    if (open == string16::npos)
      return result;
    const size_t close = result.find(u'}', open + 1);
    if (close == string16::npos)
      return result;
    const string16 value =
        expander_->Expand(result.substr(open + 1, close - open - 1));
    result.replace(open, close - open + 1, value);
    from = open + value.size();
  }
}

bool RegistryEntry::BuildChange(RegistryRoot root,
                                int windows_version,
                                int channel,
                                Change* change) const {
  *change = Change();
  if (windows_version < row_.min_windows_version ||
      (row_.root && row_.root != root) || row_.min_channel > channel) {
    return true;
  }

  change->key = ExpandTemplate(row_.key);
  change->type = row_.type;
  if (row_.type == kRowDeleteKey) {
    // An empty path names the root: deleting it would empty the hive.
    if (change->key.find_first_not_of(u'\\') == string16::npos) {
      LOG(ERROR) << "Refusing to delete a registry root";
      return false;
    }
    change->delete_key = true;
    change->applies = true;
    return true;
  }

  switch (row_.type) {
    case kRegDword: {
      if (row_.data > 0xFFFFFFFFu) {
        LOG(ERROR) << "DWORD " << row_.data << " out of range for "
                   << change->key;
        return false;
      }
      const uint32_t number = static_cast<uint32_t>(row_.data);
      AppendBytes(&number, sizeof(number), &change->data);
      break;
    }
    case kRowRemoveValue:
    case kRegNone:
      break;
    case kRegBinary: {
      const char* bytes =
          reinterpret_cast<const char*>(static_cast<uintptr_t>(row_.data));
      if (bytes)
        AppendBytes(bytes, strlen(bytes), &change->data);
      break;
    }
    case kRegSz:
    case kRegExpandSz: {
      const string16 text = ExpandTemplate(
          reinterpret_cast<const char16*>(static_cast<uintptr_t>(row_.data)));
      // The stored string keeps its terminating NUL.
      if (!text.empty())
        AppendBytes(text.c_str(), (text.size() + 1) * sizeof(char16),
                    &change->data);
      break;
    }
    default:
      LOG(ERROR) << "Unsupported registry type " << row_.type << " for "
                 << change->key;
      return false;
  }

  change->value_name = ExpandTemplate(row_.value_name);
  change->applies = true;
  return true;
}

void RegistryEntry::RecordChange(RegistryRoot root,
                                 const Change& change) const {
  if (!change.applies || change.delete_key)
    return;
  std::vector<InstallLogRegistryKey>* log = expander_->GetRegistryLog(root);
  if (!log)
    return;
  RecordRegistryValue(log, change.key, change.value_name,
                      change.data.empty() ? nullptr : change.data.data(),
                      change.type, static_cast<uint32_t>(change.data.size()),
                      row_.clean_level);
}

}  // namespace installer
