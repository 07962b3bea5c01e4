#include "base/pickle.h"

#include <string.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

std::vector<uint8_t> BytesOf(const Pickle& pickle) {
  const uint8_t* data = static_cast<const uint8_t*>(pickle.data());
  return std::vector<uint8_t>(data, data + pickle.size());
}

// A received message: the payload size, then the payload bytes as given.
std::string Message(uint32_t payload_size, const std::string& payload) {
  std::string message(reinterpret_cast<const char*>(&payload_size), 4);
  return message + payload;
}

void ExpectAllReadsFail(PickleIterator* iter) {
  bool b = true;
  int i = 42;
  std::string s = "keep";
  string16 s16 = u"keep";
  EXPECT_FALSE(iter->ReadBool(&b));
  EXPECT_FALSE(iter->ReadInt(&i));
  EXPECT_FALSE(iter->ReadString(&s));
  EXPECT_FALSE(iter->ReadString16(&s16));
  EXPECT_TRUE(b);
  EXPECT_EQ(42, i);
  EXPECT_EQ("keep", s);
  EXPECT_EQ(u"keep", s16);
}

TEST(PickleTest, WireLayout) {
  Pickle empty;
  EXPECT_EQ(std::vector<uint8_t>({0, 0, 0, 0}), BytesOf(empty));

  Pickle pickle;
  pickle.WriteInt(7);
  pickle.WriteString("abc");
  EXPECT_EQ(std::vector<uint8_t>({12, 0, 0, 0, 7, 0, 0, 0, 3, 0, 0, 0, 'a',
                                  'b', 'c', 0}),
            BytesOf(pickle));

  Pickle wide;
  wide.WriteString16(string16(1, 0xE9));
  wide.WriteString("");
  wide.WriteBool(true);
  wide.WriteInt(-2);
  EXPECT_EQ(std::vector<uint8_t>({20, 0, 0, 0, 1, 0, 0, 0, 0xE9, 0, 0, 0, 0,
                                  0, 0, 0, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF,
                                  0xFF}),
            BytesOf(wide));

  // A pointer taken early sees the header of every later write.
  Pickle growing;
  growing.WriteInt(1);
  const void* early = growing.data();
  growing.WriteString("abc");
  ASSERT_EQ(static_cast<const char*>(early) + 4, growing.payload());
  uint32_t header;
  memcpy(&header, early, sizeof(header));
  EXPECT_EQ(12u, header);
}

TEST(PickleTest, RoundTripAcrossGrowth) {
  Pickle pickle;
  std::string big(10000, 'x');
  big[9999] = 'y';
  string16 odd = u"\u00e9\U0001F600z";  // 4 units: padding of 0 bytes
  const int kRounds = 600;  // far past the first page
  for (int i = 0; i < kRounds; ++i) {
    pickle.WriteInt(i);
    pickle.WriteBool(i % 2 == 0);
    pickle.WriteString(std::string(i % 7, 'a' + i % 26));
    pickle.WriteString16(odd.substr(0, i % 5));
  }
  pickle.WriteString(big);
  // Text taken from the pickle itself, written back as the buffer grows.
  const size_t size_before = pickle.payload_size();
  pickle.WriteString(StringPiece(pickle.payload(), size_before));

  PickleIterator iter(pickle);
  for (int i = 0; i < kRounds; ++i) {
    int value;
    bool flag;
    std::string narrow;
    string16 wide;
    ASSERT_TRUE(iter.ReadInt(&value));
    EXPECT_EQ(i, value);
    ASSERT_TRUE(iter.ReadBool(&flag));
    EXPECT_EQ(i % 2 == 0, flag);
    ASSERT_TRUE(iter.ReadString(&narrow));
    EXPECT_EQ(std::string(i % 7, 'a' + i % 26), narrow);
    ASSERT_TRUE(iter.ReadString16(&wide));
    EXPECT_EQ(odd.substr(0, i % 5), wide);
  }
  std::string read_big;
  ASSERT_TRUE(iter.ReadString(&read_big));
  EXPECT_EQ(big, read_big);
  std::string own;
  ASSERT_TRUE(iter.ReadString(&own));
  EXPECT_EQ(std::string(pickle.payload(), size_before), own);
  ExpectAllReadsFail(&iter);

  // Text taken from the header, or from the payload's last word, again and
  // again as the buffer grows under it.
  for (bool wide : {false, true}) {
    for (bool from_header : {false, true}) {
      SCOPED_TRACE(testing::Message() << "wide " << wide << " header "
                                      << from_header);
      Pickle grown;
      grown.WriteInt(1);
      grown.WriteInt(2);
      std::vector<std::string> written;
      for (int i = 0; i < 300; ++i) {
        const char* at = from_header
                             ? static_cast<const char*>(grown.data())
                             : grown.payload() + grown.payload_size() - 4;
        written.emplace_back(at, 4);
        if (wide)
          grown.WriteString16(
              StringPiece16(reinterpret_cast<const char16*>(at), 2));
        else
          grown.WriteString(StringPiece(at, 4));
      }
      PickleIterator it(grown);
      int skipped;
      ASSERT_TRUE(it.ReadInt(&skipped));
      ASSERT_TRUE(it.ReadInt(&skipped));
      for (const std::string& bytes : written) {
        std::string narrow;
        string16 wide_text;
        if (wide) {
          ASSERT_TRUE(it.ReadString16(&wide_text));
          narrow.assign(reinterpret_cast<const char*>(wide_text.data()),
                        wide_text.size() * sizeof(char16));
        } else {
          ASSERT_TRUE(it.ReadString(&narrow));
        }
        EXPECT_EQ(bytes, narrow);
      }
    }
  }
}

TEST(PickleTest, CopiesAreIndependentAndWritable) {
  Pickle original;
  original.WriteString("first");
  std::string wire(static_cast<const char*>(original.data()), original.size());

  Pickle view(wire.data(), static_cast<int>(wire.size()));
  Pickle copy(view);
  copy.WriteInt(5);
  EXPECT_EQ(original.size() + 4, copy.size());
  EXPECT_EQ(original.size(), view.size());

  PickleIterator iter(copy);
  std::string s;
  int i;
  EXPECT_TRUE(iter.ReadString(&s));
  EXPECT_EQ("first", s);
  EXPECT_TRUE(iter.ReadInt(&i));
  EXPECT_EQ(5, i);

  // A payload of 7 bytes leaves the next field unaligned; its bytes are
  // stored as they are.
  const char odd[] = "\x07\x00\x00\x00" "abcdefg";
  Pickle odd_view(odd, 11);
  Pickle odd_copy(odd_view);
  odd_copy.WriteInt(0x01020304);
  EXPECT_EQ(std::vector<uint8_t>({11, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f',
                                  'g', 4, 3, 2, 1}),
            BytesOf(odd_copy));

  Pickle broken("\x01\x00", 2);
  Pickle broken_copy(broken);
  EXPECT_EQ(0u, broken_copy.size());
  PickleIterator broken_iter(broken_copy);
  ExpectAllReadsFail(&broken_iter);
}

TEST(PickleTest, ReceivedBuffersAreValidated) {
  std::string payload(8, '\0');
  payload[0] = 9;
  struct {
    const char* what;
    std::string data;
  } cases[] = {
      {"too short for a header", std::string("\x00\x00", 2)},
      {"claims more than it holds", Message(12, payload)},
      {"claims everything is payload", Message(16, payload + "zzzz")},
      {"claims four gigabytes", Message(0xFFFFFFFF, payload)},
      {"header not a multiple of four", Message(7, payload)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Pickle pickle(c.data.data(), static_cast<int>(c.data.size()));
    PickleIterator iter(pickle);
    ExpectAllReadsFail(&iter);
  }
  Pickle null_data(nullptr, 8);
  PickleIterator null_iter(null_data);
  ExpectAllReadsFail(&null_iter);
  Pickle negative("abcd", -4);
  PickleIterator negative_iter(negative);
  ExpectAllReadsFail(&negative_iter);

  // A longer header is allowed: the payload is what the size names.
  std::string long_header = Message(8, "hhhh" + payload);
  Pickle pickle(long_header.data(), static_cast<int>(long_header.size()));
  PickleIterator iter(pickle);
  int value;
  EXPECT_TRUE(iter.ReadInt(&value));
  EXPECT_EQ(9, value);
}

TEST(PickleTest, UnalignedBufferReads) {
  Pickle pickle;
  pickle.WriteInt(0x12345678);
  pickle.WriteString16(u"ab");
  std::vector<char> storage(pickle.size() + 1);
  memcpy(&storage[1], pickle.data(), pickle.size());
  Pickle view(&storage[1], static_cast<int>(pickle.size()));
  PickleIterator iter(view);
  int value;
  string16 wide;
  EXPECT_TRUE(iter.ReadInt(&value));
  EXPECT_EQ(0x12345678, value);
  EXPECT_TRUE(iter.ReadString16(&wide));
  EXPECT_EQ(u"ab", wide);
}

TEST(PickleTest, FailedReadStopsAllLaterReads) {
  struct {
    const char* what;
    std::string payload;
    int good_ints;  // ints that read before the failing read
    bool (*failing_read)(PickleIterator*);
  } cases[] = {
      {"int cut short", std::string("\x01\x00\x00\x00\x02\x00", 6), 1,
       [](PickleIterator* it) { int v; return it->ReadInt(&v); }},
      {"negative string length", std::string("\xFF\xFF\xFF\xFF\0\0\0\0", 8), 0,
       [](PickleIterator* it) { std::string v; return it->ReadString(&v); }},
      {"string longer than the rest", std::string("\x09\x00\x00\x00zzzz", 8), 0,
       [](PickleIterator* it) { std::string v; return it->ReadString(&v); }},
      {"string16 byte count overflows", std::string("\x00\x00\x00\x40zzzz", 8), 0,
       [](PickleIterator* it) { string16 v; return it->ReadString16(&v); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string data = Message(static_cast<uint32_t>(c.payload.size()), c.payload);
    Pickle pickle(data.data(), static_cast<int>(data.size()));
    PickleIterator iter(pickle);
    for (int i = 0; i < c.good_ints; ++i) {
      int value;
      EXPECT_TRUE(iter.ReadInt(&value));
    }
    EXPECT_FALSE(c.failing_read(&iter));
    ExpectAllReadsFail(&iter);
  }
}

TEST(PickleTest, BoolIsAnyNonZeroFirstByte) {
  std::string data =
      Message(12, std::string("\x02\0\0\0\0\x07\0\0\x01\0\0\0", 12));
  Pickle pickle(data.data(), static_cast<int>(data.size()));
  PickleIterator iter(pickle);
  bool flag = false;
  EXPECT_TRUE(iter.ReadBool(&flag));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(iter.ReadBool(&flag));
  EXPECT_FALSE(flag);  // only the first byte counts
  EXPECT_TRUE(iter.ReadBool(&flag));
  EXPECT_TRUE(flag);
  ExpectAllReadsFail(&iter);
}

TEST(PickleTest, ShortFinalPaddingIsTolerated) {
  // A one-byte string whose padding the sender left off.
  std::string data = Message(5, std::string("\x01\x00\x00\x00q", 5));
  Pickle pickle(data.data(), static_cast<int>(data.size()));
  PickleIterator iter(pickle);
  std::string s;
  EXPECT_TRUE(iter.ReadString(&s));
  EXPECT_EQ("q", s);
  ExpectAllReadsFail(&iter);
}

TEST(PickleDeathTest, ReceivedBuffersAreNeverWritten) {
  std::string data = Message(4, std::string("\x01\0\0\0", 4));
  Pickle view(data.data(), static_cast<int>(data.size()));
  EXPECT_DEATH(view.WriteInt(2), "pickle.cc.*Check failed: !IsReadOnly\\(\\)");
}

}  // namespace
}  // namespace base
