#ifndef BASE_VALUES_H_
#define BASE_VALUES_H_

#include <stddef.h>
#include <stdint.h>

#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/strings/string16.h"

namespace base {

class DictionaryValue;
class ListValue;
class StringValue;

// The in-memory form of a JSON text: a tree in which dictionaries and lists
// own their children. A plain Value is the null value.
class Value {
 public:
  enum Type : uint32_t {
    TYPE_NULL = 0,
    TYPE_BOOLEAN = 1,
    TYPE_INTEGER = 2,
    TYPE_DOUBLE = 3,
    TYPE_STRING = 4,
    TYPE_BINARY = 5,  // reserved; never created
    TYPE_DICTIONARY = 6,
    TYPE_LIST = 7,
  };

  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;
  virtual ~Value();

  static std::unique_ptr<Value> CreateNullValue();

  Type GetType() const { return type_; }
  bool IsType(Type type) const { return type_ == type; }

  // Each getter returns false and leaves |out| untouched when the value is
  // of another kind. |out| may be null to test the kind only.
  virtual bool GetAsBoolean(bool* out) const;
  virtual bool GetAsInteger(int* out) const;
  virtual bool GetAsDouble(double* out) const;
  virtual bool GetAsString(const StringValue** out) const;
  virtual bool GetAsString(string16* out) const;
  virtual bool GetAsString(std::string* out) const;
  virtual bool GetAsList(ListValue** out);
  virtual bool GetAsList(const ListValue** out) const;
  virtual bool GetAsDictionary(DictionaryValue** out);
  virtual bool GetAsDictionary(const DictionaryValue** out) const;

  // The caller owns the copy.
  virtual Value* DeepCopy() const;
  std::unique_ptr<Value> CreateDeepCopy() const;

  // Kinds must match: the integer 1 does not equal the double 1.0.
  virtual bool Equals(const Value* other) const;

 protected:
  explicit Value(Type type);

 private:
  Type type_;
};

// A boolean, integer or double. Doubles are always finite: infinity and NaN
// are stored as 0.0.
class FundamentalValue : public Value {
 public:
  explicit FundamentalValue(bool in_value);
  explicit FundamentalValue(int in_value);
  explicit FundamentalValue(double in_value);
  ~FundamentalValue() override;

  bool GetAsBoolean(bool* out) const override;
  bool GetAsInteger(int* out) const override;
  // Integers read as doubles too.
  bool GetAsDouble(double* out) const override;
  FundamentalValue* DeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  union {
    bool boolean_value_;
    int integer_value_;
    double double_value_;
  };
};

// UTF-8 bytes (whatever the producer put there).
class StringValue : public Value {
 public:
  explicit StringValue(const std::string& in_value);
  explicit StringValue(std::string&& in_value);
  explicit StringValue(const string16& in_value);
  ~StringValue() override;

  // The bytes themselves, for writers that need no copy.
  const std::string& GetString() const { return value_; }

  bool GetAsString(const StringValue** out) const override;
  bool GetAsString(string16* out) const override;
  bool GetAsString(std::string* out) const override;
  StringValue* DeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  std::string value_;
};

// Keys are kept in plain byte order (unsigned bytes, a prefix first), which
// is also the order of iteration, comparison and JSON output. A path is a
// key list joined by '.'; the ...WithoutPathExpansion forms take a whole
// key.
class DictionaryValue : public Value {
 public:
  typedef std::map<std::string, std::unique_ptr<Value>> Storage;

  DictionaryValue();
  ~DictionaryValue() override;

  size_t size() const { return dictionary_.size(); }
  bool empty() const { return dictionary_.empty(); }
  void Clear() { dictionary_.clear(); }

  // Creates (or replaces by) dictionaries along the path as needed.
  void Set(const std::string& path, std::unique_ptr<Value> in_value);
  void Set(const std::string& path, Value* in_value);
  void SetInteger(const std::string& path, int in_value);
  void SetString(const std::string& path, const std::string& in_value);

  void SetWithoutPathExpansion(const std::string& key,
                               std::unique_ptr<Value> in_value);
  void SetWithoutPathExpansion(std::string&& key,
                               std::unique_ptr<Value> in_value);
  void SetDoubleWithoutPathExpansion(const std::string& key, double in_value);
  void SetStringWithoutPathExpansion(const std::string& key,
                                     const std::string& in_value);

  // Pointers handed out are borrowed. Nothing is created while reading.
  bool Get(const std::string& path, const Value** out_value) const;
  bool Get(const std::string& path, Value** out_value);
  bool GetBoolean(const std::string& path, bool* out_value) const;
  bool GetInteger(const std::string& path, int* out_value) const;
  bool GetString(const std::string& path, std::string* out_value) const;
  bool GetString(const std::string& path, string16* out_value) const;
  // False, with |out_value| unchanged, when the string is not pure ASCII.
  bool GetStringASCII(const std::string& path, std::string* out_value) const;
  bool GetList(const std::string& path, const ListValue** out_value) const;
  bool GetList(const std::string& path, ListValue** out_value);

  bool GetWithoutPathExpansion(const std::string& key,
                               const Value** out_value) const;
  bool GetWithoutPathExpansion(const std::string& key, Value** out_value);

  // When |out_value| is given it receives the removed value, else the value
  // is destroyed. Remove leaves emptied parents in place; RemovePath removes
  // every parent it leaves empty.
  virtual bool Remove(const std::string& path,
                      std::unique_ptr<Value>* out_value);
  virtual bool RemoveWithoutPathExpansion(const std::string& key,
                                          std::unique_ptr<Value>* out_value);
  virtual bool RemovePath(const std::string& path,
                          std::unique_ptr<Value>* out_value);
  virtual void Swap(DictionaryValue* other);

  bool GetAsDictionary(DictionaryValue** out) override;
  bool GetAsDictionary(const DictionaryValue** out) const override;
  DictionaryValue* DeepCopy() const override;
  std::unique_ptr<DictionaryValue> CreateDeepCopy() const;
  bool Equals(const Value* other) const override;

 private:
  friend class DictionaryValueIterator;

  // The dictionary that holds the last component of |path| (created along
  // the way), and that component.
  DictionaryValue* ExpandPathForWrite(const std::string& path,
                                      std::string* key);
  // The same for reading: null when a component is missing or no
  // dictionary.
  const DictionaryValue* ExpandPathForRead(const std::string& path,
                                           std::string* key) const;

  Storage dictionary_;
};

// Walks a dictionary in key order. The dictionary must not change meanwhile.
class DictionaryValueIterator {
 public:
  explicit DictionaryValueIterator(const DictionaryValue& target);

  bool IsAtEnd() const { return it_ == target_.dictionary_.end(); }
  void Advance() { ++it_; }
  const std::string& key() const { return it_->first; }
  const Value& value() const { return *it_->second; }

 private:
  const DictionaryValue& target_;
  DictionaryValue::Storage::const_iterator it_;
};

// Elements in insertion order.
class ListValue : public Value {
 public:
  typedef std::vector<std::unique_ptr<Value>> Storage;
  typedef Storage::const_iterator const_iterator;

  ListValue();
  ~ListValue() override;

  size_t GetSize() const { return list_.size(); }
  bool empty() const { return list_.empty(); }
  void Clear() { list_.clear(); }
  const_iterator begin() const { return list_.begin(); }
  const_iterator end() const { return list_.end(); }

  // Past the end, the list is padded with nulls up to |index|. A null
  // |in_value| is refused.
  bool Set(size_t index, std::unique_ptr<Value> in_value);

  // When |out_value| is given it receives the removed element.
  virtual bool Remove(size_t index, std::unique_ptr<Value>* out_value);
  virtual void Swap(ListValue* other);

  void Append(std::unique_ptr<Value> in_value);
  // Moves the elements of [first, last) to the end, growing the storage
  // once.
  void AppendRange(Storage::iterator first, Storage::iterator last) {
    list_.insert(list_.end(), std::make_move_iterator(first),
                 std::make_move_iterator(last));
  }
  void AppendBoolean(bool in_value);
  void AppendInteger(int in_value);
  void AppendDouble(double in_value);
  void AppendString(const std::string& in_value);

  bool GetAsList(ListValue** out) override;
  bool GetAsList(const ListValue** out) const override;
  ListValue* DeepCopy() const override;
  std::unique_ptr<ListValue> CreateDeepCopy() const;
  bool Equals(const Value* other) const override;

 private:
  Storage list_;
};

}  // namespace base

#endif  // BASE_VALUES_H_
