#include "base/values.h"

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

std::unique_ptr<Value> Int(int value) {
  return std::unique_ptr<Value>(new FundamentalValue(value));
}

std::unique_ptr<Value> Double(double value) {
  return std::unique_ptr<Value>(new FundamentalValue(value));
}

std::unique_ptr<Value> String(const std::string& value) {
  return std::unique_ptr<Value>(new StringValue(value));
}

TEST(ValuesTest, FundamentalGetters) {
  FundamentalValue three(3);
  double d = 0;
  int i = 0;
  EXPECT_TRUE(three.GetAsDouble(&d));
  EXPECT_EQ(3.0, d);
  FundamentalValue three_point_oh(3.0);
  EXPECT_FALSE(three_point_oh.GetAsInteger(&i));
  EXPECT_EQ(0, i);

  FundamentalValue yes(true);
  EXPECT_TRUE(yes.GetAsBoolean(nullptr));
  EXPECT_FALSE(yes.GetAsDouble(&d));
  EXPECT_FALSE(yes.GetAsInteger(nullptr));
  std::string s = "untouched";
  EXPECT_FALSE(yes.GetAsString(&s));
  EXPECT_EQ("untouched", s);

  for (double bad : {std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
    FundamentalValue stored(bad);
    EXPECT_TRUE(stored.GetAsDouble(&d));
    EXPECT_EQ(0.0, d);
    ListValue list;
    list.AppendDouble(bad);
    EXPECT_TRUE((*list.begin())->GetAsDouble(&d));
    EXPECT_EQ(0.0, d);
    DictionaryValue dict;
    dict.SetDoubleWithoutPathExpansion("x", bad);
    EXPECT_TRUE(dict.Equals(&dict));
  }

  std::unique_ptr<Value> null = Value::CreateNullValue();
  EXPECT_FALSE(null->GetAsBoolean(nullptr));
  EXPECT_TRUE(null->Equals(null->CreateDeepCopy().get()));
  EXPECT_FALSE(null->Equals(&yes));
}

TEST(ValuesTest, Strings) {
  StringValue wide(string16(u"\u00e9t\u00e9"));
  std::string narrow;
  EXPECT_TRUE(wide.GetAsString(&narrow));
  EXPECT_EQ("\xC3\xA9t\xC3\xA9", narrow);
  string16 back;
  EXPECT_TRUE(wide.GetAsString(&back));
  EXPECT_EQ(u"\u00e9t\u00e9", back);
  const StringValue* self = nullptr;
  EXPECT_TRUE(wide.GetAsString(&self));
  EXPECT_EQ(&wide, self);

  // Bytes are kept as given, NUL included.
  StringValue bytes(std::string("a\0\xFF", 3));
  EXPECT_TRUE(bytes.GetAsString(&narrow));
  EXPECT_EQ(std::string("a\0\xFF", 3), narrow);
  EXPECT_FALSE(bytes.Equals(String("a").get()));
  EXPECT_TRUE(bytes.Equals(bytes.CreateDeepCopy().get()));

  DictionaryValue dict;
  dict.SetString("ascii", "plain");
  dict.SetString("utf8", "caf\xC3\xA9");
  std::string out = "before";
  EXPECT_TRUE(dict.GetStringASCII("ascii", &out));
  EXPECT_EQ("plain", out);
  EXPECT_FALSE(dict.GetStringASCII("utf8", &out));
  EXPECT_EQ("plain", out);
  string16 out16;
  EXPECT_TRUE(dict.GetString("utf8", &out16));
  EXPECT_EQ(u"caf\u00e9", out16);
}

TEST(ValuesTest, PathExpansion) {
  DictionaryValue dict;
  dict.SetInteger("a.b.c", 1);
  const Value* a = nullptr;
  ASSERT_TRUE(dict.Get("a", &a));
  EXPECT_TRUE(a->GetAsDictionary(static_cast<const DictionaryValue**>(nullptr)));
  int value = 0;
  EXPECT_TRUE(dict.GetInteger("a.b.c", &value));
  EXPECT_EQ(1, value);

  // A non-dictionary in the way is replaced on write, refused on read.
  dict.SetString("s", "text");
  EXPECT_FALSE(dict.Get("s.x", static_cast<const Value**>(nullptr)));
  dict.SetInteger("s.x", 2);
  EXPECT_TRUE(dict.GetInteger("s.x", &value));
  EXPECT_EQ(2, value);

  ListValue* list = new ListValue;
  dict.Set("l", list);
  EXPECT_FALSE(dict.Get("l.b", static_cast<const Value**>(nullptr)));
  ListValue* found = nullptr;
  EXPECT_TRUE(dict.GetList("l", &found));
  EXPECT_EQ(list, found);
  EXPECT_FALSE(dict.GetList("a", &found));

  // Whole keys with dots are separate from paths.
  dict.SetWithoutPathExpansion("x.y", Int(3));
  EXPECT_TRUE(dict.GetWithoutPathExpansion("x.y", static_cast<Value**>(nullptr)));
  EXPECT_FALSE(dict.Get("x.y", static_cast<const Value**>(nullptr)));

  // Empty components name empty keys.
  dict.SetInteger("", 4);
  dict.SetInteger("e.", 5);
  EXPECT_TRUE(dict.GetInteger("", &value));
  EXPECT_EQ(4, value);
  const Value* e = nullptr;
  ASSERT_TRUE(dict.Get("e", &e));
  const DictionaryValue* e_dict = nullptr;
  ASSERT_TRUE(e->GetAsDictionary(&e_dict));
  EXPECT_TRUE(e_dict->GetWithoutPathExpansion("", static_cast<const Value**>(nullptr)));

  // Reading creates nothing.
  size_t before = dict.size();
  EXPECT_FALSE(dict.GetInteger("missing.key", &value));
  EXPECT_EQ(before, dict.size());
}

TEST(ValuesTest, RemovalKeepsOrDropsEmptiedParents) {
  DictionaryValue dict;
  dict.SetInteger("a.b", 1);
  std::unique_ptr<Value> removed;
  EXPECT_TRUE(dict.Remove("a.b", &removed));
  ASSERT_TRUE(removed);
  EXPECT_TRUE(removed->Equals(Int(1).get()));
  EXPECT_TRUE(dict.Get("a", static_cast<const Value**>(nullptr)));

  DictionaryValue deep;
  deep.SetInteger("a.b.c", 1);
  deep.SetInteger("a.keep", 2);
  EXPECT_TRUE(deep.RemovePath("a.b.c", nullptr));
  EXPECT_FALSE(deep.Get("a.b", static_cast<const Value**>(nullptr)));
  EXPECT_TRUE(deep.Get("a.keep", static_cast<const Value**>(nullptr)));
  EXPECT_TRUE(deep.RemovePath("a.keep", nullptr));
  EXPECT_TRUE(deep.empty());

  EXPECT_FALSE(deep.RemovePath("a.b", nullptr));
  EXPECT_FALSE(deep.Remove("x.y", nullptr));
  EXPECT_FALSE(deep.RemoveWithoutPathExpansion("x", &removed));
  EXPECT_TRUE(removed);  // untouched by a failed removal

  // A failed removal deep down leaves the empty parents alone.
  DictionaryValue holder;
  holder.Set("p", new DictionaryValue);
  EXPECT_FALSE(holder.RemovePath("p.q", nullptr));
  EXPECT_TRUE(holder.Get("p", static_cast<const Value**>(nullptr)));
}

TEST(ValuesTest, KeysInByteOrder) {
  DictionaryValue dict;
  for (const char* key : {"b", "\xC3\xA9", "aa", "a", "B", ""})
    dict.SetWithoutPathExpansion(key, Int(0));
  std::vector<std::string> keys;
  for (DictionaryValueIterator it(dict); !it.IsAtEnd(); it.Advance())
    keys.push_back(it.key());
  EXPECT_EQ(std::vector<std::string>({"", "B", "a", "aa", "b", "\xC3\xA9"}),
            keys);
}

TEST(ValuesTest, ListSetAndRemove) {
  ListValue list;
  EXPECT_FALSE(list.Set(0, nullptr));
  EXPECT_TRUE(list.Set(5, Int(5)));
  ASSERT_EQ(6u, list.GetSize());
  for (size_t i = 0; i < 5; ++i)
    EXPECT_TRUE(list.begin()[i]->IsType(Value::TYPE_NULL));
  EXPECT_TRUE(list.Set(0, String("first")));
  EXPECT_TRUE(list.begin()[0]->IsType(Value::TYPE_STRING));

  std::unique_ptr<Value> removed = Int(99);
  EXPECT_FALSE(list.Remove(6, &removed));
  EXPECT_TRUE(removed->Equals(Int(99).get()));
  EXPECT_TRUE(list.Remove(0, &removed));
  EXPECT_TRUE(removed->Equals(String("first").get()));
  EXPECT_TRUE(list.Remove(0, nullptr));
  EXPECT_EQ(4u, list.GetSize());
  EXPECT_TRUE(list.begin()[3]->Equals(Int(5).get()));

  ListValue other;
  other.AppendBoolean(true);
  list.Swap(&other);
  EXPECT_EQ(1u, list.GetSize());
  EXPECT_EQ(4u, other.GetSize());
}

TEST(ValuesTest, DeepCopyAndEquality) {
  DictionaryValue original;
  original.SetInteger("n", 1);
  original.SetString("d.s", "x");
  ListValue* list = new ListValue;
  list->AppendDouble(0.5);
  list->AppendString("y");
  list->Append(Value::CreateNullValue());
  original.Set("d.l", list);

  std::unique_ptr<DictionaryValue> copy = original.CreateDeepCopy();
  EXPECT_TRUE(original.Equals(copy.get()));
  EXPECT_TRUE(copy->Equals(&original));
  // Independent: changing the copy leaves the original as it was.
  copy->SetInteger("d.l", 2);
  EXPECT_FALSE(original.Equals(copy.get()));
  EXPECT_TRUE(original.GetList("d.l", static_cast<ListValue**>(nullptr)));

  DictionaryValue with_int, with_double;
  with_int.SetWithoutPathExpansion("x", Int(1));
  with_double.SetWithoutPathExpansion("x", Double(1.0));
  EXPECT_FALSE(with_int.Equals(&with_double));

  DictionaryValue empty1, empty2, one;
  EXPECT_TRUE(empty1.Equals(&empty2));
  one.SetInteger("k", 1);
  EXPECT_FALSE(empty1.Equals(&one));
  EXPECT_FALSE(one.Equals(&empty1));
  DictionaryValue other_key;
  other_key.SetInteger("j", 1);
  EXPECT_FALSE(one.Equals(&other_key));

  ListValue short_list, long_list;
  short_list.AppendInteger(1);
  long_list.AppendInteger(1);
  long_list.AppendInteger(2);
  EXPECT_FALSE(short_list.Equals(&long_list));
  EXPECT_FALSE(long_list.Equals(&short_list));
  EXPECT_FALSE(short_list.Equals(&empty1));

  DictionaryValue a, b;
  a.SetInteger("k", 1);
  b.SetString("z", "q");
  a.Swap(&b);
  EXPECT_TRUE(a.GetString("z", static_cast<std::string*>(nullptr)));
  EXPECT_TRUE(b.GetInteger("k", nullptr));
}

}  // namespace
}  // namespace base
