#include "base/values.h"

#include <cmath>
#include <utility>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

double FiniteOrZero(double value) {
  return std::isfinite(value) ? value : 0.0;
}

}  // namespace

// Value ---------------------------------------------------------------------

Value::Value(Type type) : type_(type) {}

Value::~Value() {}

// static
std::unique_ptr<Value> Value::CreateNullValue() {
  return std::unique_ptr<Value>(new Value(TYPE_NULL));
}

bool Value::GetAsBoolean(bool* out) const { return false; }
bool Value::GetAsInteger(int* out) const { return false; }
bool Value::GetAsDouble(double* out) const { return false; }
bool Value::GetAsString(const StringValue** out) const { return false; }
bool Value::GetAsString(string16* out) const { return false; }
bool Value::GetAsString(std::string* out) const { return false; }
bool Value::GetAsList(ListValue** out) { return false; }
bool Value::GetAsList(const ListValue** out) const { return false; }
bool Value::GetAsDictionary(DictionaryValue** out) { return false; }
bool Value::GetAsDictionary(const DictionaryValue** out) const {
  return false;
}

Value* Value::DeepCopy() const {
  // Every other kind overrides this, so only null ends up here.
  DCHECK(IsType(TYPE_NULL));
  return new Value(TYPE_NULL);
}

std::unique_ptr<Value> Value::CreateDeepCopy() const {
  return std::unique_ptr<Value>(DeepCopy());
}

bool Value::Equals(const Value* other) const {
  DCHECK(IsType(TYPE_NULL));
  return other->IsType(TYPE_NULL);
}

// FundamentalValue ----------------------------------------------------------

FundamentalValue::FundamentalValue(bool in_value)
    : Value(TYPE_BOOLEAN), boolean_value_(in_value) {}

FundamentalValue::FundamentalValue(int in_value)
    : Value(TYPE_INTEGER), integer_value_(in_value) {}

FundamentalValue::FundamentalValue(double in_value)
    : Value(TYPE_DOUBLE), double_value_(FiniteOrZero(in_value)) {}

FundamentalValue::~FundamentalValue() {}

bool FundamentalValue::GetAsBoolean(bool* out) const {
  if (out && IsType(TYPE_BOOLEAN))
    *out = boolean_value_;
  return IsType(TYPE_BOOLEAN);
}

bool FundamentalValue::GetAsInteger(int* out) const {
  if (out && IsType(TYPE_INTEGER))
    *out = integer_value_;
  return IsType(TYPE_INTEGER);
}

bool FundamentalValue::GetAsDouble(double* out) const {
  if (out && IsType(TYPE_DOUBLE))
    *out = double_value_;
  else if (out && IsType(TYPE_INTEGER))
    *out = integer_value_;
  return IsType(TYPE_DOUBLE) || IsType(TYPE_INTEGER);
}

FundamentalValue* FundamentalValue::DeepCopy() const {
  switch (GetType()) {
    case TYPE_BOOLEAN:
      return new FundamentalValue(boolean_value_);
    case TYPE_INTEGER:
      return new FundamentalValue(integer_value_);
    case TYPE_DOUBLE:
      return new FundamentalValue(double_value_);
    default:
      NOTREACHED();
      return nullptr;
  }
}

bool FundamentalValue::Equals(const Value* other) const {
  if (other->GetType() != GetType())
    return false;
  switch (GetType()) {
    case TYPE_BOOLEAN: {
      bool lhs, rhs;
      return GetAsBoolean(&lhs) && other->GetAsBoolean(&rhs) && lhs == rhs;
    }
    case TYPE_INTEGER: {
      int lhs, rhs;
      return GetAsInteger(&lhs) && other->GetAsInteger(&rhs) && lhs == rhs;
    }
    case TYPE_DOUBLE: {
      double lhs, rhs;
      return GetAsDouble(&lhs) && other->GetAsDouble(&rhs) && lhs == rhs;
    }
    default:
      NOTREACHED();
      return false;
  }
}

// StringValue ---------------------------------------------------------------

StringValue::StringValue(const std::string& in_value)
    : Value(TYPE_STRING), value_(in_value) {}

StringValue::StringValue(std::string&& in_value)
    : Value(TYPE_STRING), value_(std::move(in_value)) {}

StringValue::StringValue(const string16& in_value)
    : Value(TYPE_STRING), value_(UTF16ToUTF8(in_value)) {}

StringValue::~StringValue() {}

bool StringValue::GetAsString(const StringValue** out) const {
  if (out)
    *out = this;
  return true;
}

bool StringValue::GetAsString(string16* out) const {
  if (out)
    *out = UTF8ToUTF16(value_);
  return true;
}

bool StringValue::GetAsString(std::string* out) const {
  if (out)
    *out = value_;
  return true;
}

StringValue* StringValue::DeepCopy() const {
  return new StringValue(value_);
}

bool StringValue::Equals(const Value* other) const {
  std::string other_value;
  return other->IsType(TYPE_STRING) && other->GetAsString(&other_value) &&
         other_value == value_;
}

// DictionaryValue -----------------------------------------------------------

DictionaryValue::DictionaryValue() : Value(TYPE_DICTIONARY) {}

DictionaryValue::~DictionaryValue() {}

DictionaryValue* DictionaryValue::ExpandPathForWrite(const std::string& path,
                                                     std::string* key) {
  DictionaryValue* current = this;
  size_t start = 0;
  for (size_t dot = path.find('.'); dot != std::string::npos;
       dot = path.find('.', start)) {
    std::string component = path.substr(start, dot - start);
    Value* child = nullptr;
    DictionaryValue* child_dictionary = nullptr;
    if (!current->GetWithoutPathExpansion(component, &child) ||
        !child->GetAsDictionary(&child_dictionary)) {
      child_dictionary = new DictionaryValue;
      current->SetWithoutPathExpansion(
          component, std::unique_ptr<Value>(child_dictionary));
    }
    current = child_dictionary;
    start = dot + 1;
  }
  *key = path.substr(start);
  return current;
}

const DictionaryValue* DictionaryValue::ExpandPathForRead(
    const std::string& path,
    std::string* key) const {
  const DictionaryValue* current = this;
  size_t start = 0;
  for (size_t dot = path.find('.'); dot != std::string::npos;
       dot = path.find('.', start)) {
    const Value* child = nullptr;
    if (!current->GetWithoutPathExpansion(path.substr(start, dot - start),
                                          &child) ||
        !child->GetAsDictionary(&current)) {
      return nullptr;
    }
    start = dot + 1;
  }
  *key = path.substr(start);
  return current;
}

void DictionaryValue::Set(const std::string& path,
                          std::unique_ptr<Value> in_value) {
  DCHECK(in_value);
  std::string key;
  ExpandPathForWrite(path, &key)->SetWithoutPathExpansion(key,
                                                          std::move(in_value));
}

void DictionaryValue::Set(const std::string& path, Value* in_value) {
  Set(path, std::unique_ptr<Value>(in_value));
}

void DictionaryValue::SetInteger(const std::string& path, int in_value) {
  Set(path, std::unique_ptr<Value>(new FundamentalValue(in_value)));
}

void DictionaryValue::SetString(const std::string& path,
                                const std::string& in_value) {
  Set(path, std::unique_ptr<Value>(new StringValue(in_value)));
}

void DictionaryValue::SetWithoutPathExpansion(const std::string& key,
                                              std::unique_ptr<Value> in_value) {
  DCHECK(in_value);
  dictionary_[key] = std::move(in_value);
}

void DictionaryValue::SetWithoutPathExpansion(std::string&& key,
                                              std::unique_ptr<Value> in_value) {
  DCHECK(in_value);
  // Keys that come in order, as this code writes them, go in without a
  // search.
  dictionary_.try_emplace(dictionary_.end(), std::move(key))->second =
      std::move(in_value);
}

void DictionaryValue::SetDoubleWithoutPathExpansion(const std::string& key,
                                                    double in_value) {
  SetWithoutPathExpansion(
      key, std::unique_ptr<Value>(new FundamentalValue(in_value)));
}

void DictionaryValue::SetStringWithoutPathExpansion(
    const std::string& key,
    const std::string& in_value) {
  SetWithoutPathExpansion(key,
                          std::unique_ptr<Value>(new StringValue(in_value)));
}

bool DictionaryValue::Get(const std::string& path,
                          const Value** out_value) const {
  std::string key;
  const DictionaryValue* holder = ExpandPathForRead(path, &key);
  return holder && holder->GetWithoutPathExpansion(key, out_value);
}

bool DictionaryValue::Get(const std::string& path, Value** out_value) {
  const Value* value = nullptr;
  if (!static_cast<const DictionaryValue*>(this)->Get(path, &value))
    return false;
  if (out_value)
    *out_value = const_cast<Value*>(value);
  return true;
}

bool DictionaryValue::GetBoolean(const std::string& path,
                                 bool* out_value) const {
  const Value* value;
  return Get(path, &value) && value->GetAsBoolean(out_value);
}

bool DictionaryValue::GetInteger(const std::string& path,
                                 int* out_value) const {
  const Value* value;
  return Get(path, &value) && value->GetAsInteger(out_value);
}

bool DictionaryValue::GetString(const std::string& path,
                                std::string* out_value) const {
  const Value* value;
  return Get(path, &value) && value->GetAsString(out_value);
}

bool DictionaryValue::GetString(const std::string& path,
                                string16* out_value) const {
  const Value* value;
  return Get(path, &value) && value->GetAsString(out_value);
}

bool DictionaryValue::GetStringASCII(const std::string& path,
                                     std::string* out_value) const {
  std::string text;
  if (!GetString(path, &text) || !IsStringASCII(text))
    return false;
  if (out_value)
    out_value->swap(text);
  return true;
}

bool DictionaryValue::GetList(const std::string& path,
                              const ListValue** out_value) const {
  const Value* value;
  return Get(path, &value) && value->GetAsList(out_value);
}

bool DictionaryValue::GetList(const std::string& path, ListValue** out_value) {
  Value* value;
  return Get(path, &value) && value->GetAsList(out_value);
}

bool DictionaryValue::GetWithoutPathExpansion(const std::string& key,
                                              const Value** out_value) const {
  Storage::const_iterator entry = dictionary_.find(key);
  if (entry == dictionary_.end())
    return false;
  if (out_value)
    *out_value = entry->second.get();
  return true;
}

bool DictionaryValue::GetWithoutPathExpansion(const std::string& key,
                                              Value** out_value) {
  Storage::iterator entry = dictionary_.find(key);
  if (entry == dictionary_.end())
    return false;
  if (out_value)
    *out_value = entry->second.get();
  return true;
}

bool DictionaryValue::Remove(const std::string& path,
                             std::unique_ptr<Value>* out_value) {
  std::string key;
  DictionaryValue* holder =
      const_cast<DictionaryValue*>(ExpandPathForRead(path, &key));
  return holder && holder->RemoveWithoutPathExpansion(key, out_value);
}

bool DictionaryValue::RemoveWithoutPathExpansion(
    const std::string& key,
    std::unique_ptr<Value>* out_value) {
  Storage::iterator entry = dictionary_.find(key);
  if (entry == dictionary_.end())
    return false;
  if (out_value)
    *out_value = std::move(entry->second);
  dictionary_.erase(entry);
  return true;
}

bool DictionaryValue::RemovePath(const std::string& path,
                                 std::unique_ptr<Value>* out_value) {
  size_t dot = path.find('.');
  if (dot == std::string::npos)
    return RemoveWithoutPathExpansion(path, out_value);

  std::string component = path.substr(0, dot);
  Value* child = nullptr;
  DictionaryValue* child_dictionary = nullptr;
  if (!GetWithoutPathExpansion(component, &child) ||
      !child->GetAsDictionary(&child_dictionary)) {
    return false;
  }
  bool removed = child_dictionary->RemovePath(path.substr(dot + 1), out_value);
  if (removed && child_dictionary->empty())
    RemoveWithoutPathExpansion(component, nullptr);
  return removed;
}

void DictionaryValue::Swap(DictionaryValue* other) {
  dictionary_.swap(other->dictionary_);
}

bool DictionaryValue::GetAsDictionary(DictionaryValue** out) {
  if (out)
    *out = this;
  return true;
}

bool DictionaryValue::GetAsDictionary(const DictionaryValue** out) const {
  if (out)
    *out = this;
  return true;
}

DictionaryValue* DictionaryValue::DeepCopy() const {
  DictionaryValue* copy = new DictionaryValue;
  for (const auto& entry : dictionary_) {
    copy->dictionary_.emplace_hint(copy->dictionary_.end(), entry.first,
                                   entry.second->CreateDeepCopy());
  }
  return copy;
}

std::unique_ptr<DictionaryValue> DictionaryValue::CreateDeepCopy() const {
  return std::unique_ptr<DictionaryValue>(DeepCopy());
}

bool DictionaryValue::Equals(const Value* other) const {
  const DictionaryValue* other_dictionary = nullptr;
  if (!other->GetAsDictionary(&other_dictionary) ||
      other_dictionary->size() != size()) {
    return false;
  }
  Storage::const_iterator lhs = dictionary_.begin();
  Storage::const_iterator rhs = other_dictionary->dictionary_.begin();
  for (; lhs != dictionary_.end(); ++lhs, ++rhs) {
    if (lhs->first != rhs->first || !lhs->second->Equals(rhs->second.get()))
      return false;
  }
  return true;
}

DictionaryValueIterator::DictionaryValueIterator(const DictionaryValue& target)
    : target_(target), it_(target.dictionary_.begin()) {}

// ListValue -----------------------------------------------------------------

ListValue::ListValue() : Value(TYPE_LIST) {}

ListValue::~ListValue() {}

bool ListValue::Set(size_t index, std::unique_ptr<Value> in_value) {
  if (!in_value)
    return false;
  if (index < list_.size()) {
    list_[index] = std::move(in_value);
    return true;
  }
  while (list_.size() < index)
    list_.push_back(CreateNullValue());
  list_.push_back(std::move(in_value));
  return true;
}

bool ListValue::Remove(size_t index, std::unique_ptr<Value>* out_value) {
  if (index >= list_.size())
    return false;
  if (out_value)
    *out_value = std::move(list_[index]);
  list_.erase(list_.begin() + index);
  return true;
}

void ListValue::Swap(ListValue* other) {
  list_.swap(other->list_);
}

void ListValue::Append(std::unique_ptr<Value> in_value) {
  DCHECK(in_value);
  list_.push_back(std::move(in_value));
}

void ListValue::AppendBoolean(bool in_value) {
  Append(std::unique_ptr<Value>(new FundamentalValue(in_value)));
}

void ListValue::AppendInteger(int in_value) {
  Append(std::unique_ptr<Value>(new FundamentalValue(in_value)));
}

void ListValue::AppendDouble(double in_value) {
  Append(std::unique_ptr<Value>(new FundamentalValue(in_value)));
}

void ListValue::AppendString(const std::string& in_value) {
  Append(std::unique_ptr<Value>(new StringValue(in_value)));
}

bool ListValue::GetAsList(ListValue** out) {
  if (out)
    *out = this;
  return true;
}

bool ListValue::GetAsList(const ListValue** out) const {
  if (out)
    *out = this;
  return true;
}

ListValue* ListValue::DeepCopy() const {
  ListValue* copy = new ListValue;
  copy->list_.reserve(list_.size());
  for (const auto& element : list_)
    copy->list_.push_back(element->CreateDeepCopy());
  return copy;
}

std::unique_ptr<ListValue> ListValue::CreateDeepCopy() const {
  return std::unique_ptr<ListValue>(DeepCopy());
}

bool ListValue::Equals(const Value* other) const {
  const ListValue* other_list = nullptr;
  if (!other->GetAsList(&other_list) || other_list->GetSize() != GetSize())
    return false;
  for (size_t i = 0; i < list_.size(); ++i) {
    if (!list_[i]->Equals(other_list->list_[i].get()))
      return false;
  }
  return true;
}

}  // namespace base
