#include "desktop/windows/installer/service/install_log.h"

#include <stdint.h>

#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

void RecordString(std::vector<InstallLogRegistryKey>* keys,
                  const string16& path, const string16& name,
                  const string16& data, int32_t clean) {
  RecordRegistryValue(keys, path, name, data.c_str(), kRegSz,
                      static_cast<uint32_t>((data.size() + 1) * 2), clean);
}

TEST(InstallLogTest, RecordingFindsKeysWithoutRegardToCase) {
  std::vector<InstallLogRegistryKey> keys;
  RecordString(&keys, u"Software\\Palvo", u"a", u"1", 2);
  RecordString(&keys, u"Software\\Other", u"b", u"2", 0);
  RecordString(&keys, u"SOFTWARE\\palvo", u"a", u"3", 1);
  RecordString(&keys, u"software\\PALVO", u"", u"4", 5);
  ASSERT_EQ(2u, keys.size());
  EXPECT_EQ("Software\\Palvo", keys[0].path);
  // Raised by 5, not lowered by 1.
  EXPECT_EQ(5, keys[0].clean);
  // One name recorded twice gives two entries.
  ASSERT_EQ(3u, keys[0].values.size());
  EXPECT_EQ("a", keys[0].values[0].name);
  EXPECT_EQ("1", keys[0].values[0].data);
  EXPECT_EQ("a", keys[0].values[1].name);
  EXPECT_EQ("3", keys[0].values[1].data);
  EXPECT_EQ("", keys[0].values[2].name);
  EXPECT_EQ("REG_SZ", keys[0].values[2].type);
  EXPECT_EQ(0, keys[1].clean);
}

TEST(InstallLogTest, RecordingNegativeLevelsAndRemovals) {
  std::vector<InstallLogRegistryKey> keys;
  const uint32_t dword = 7;
  RecordRegistryValue(&keys, u"K", u"gone", &dword, kRegistryValueRemoved, 4,
                      9);
  EXPECT_TRUE(keys.empty());
  RecordRegistryValue(&keys, u"K", u"v", &dword, kRegDword, 4, -3);
  RecordRegistryValue(&keys, u"k", u"v", &dword, kRegDword, 4, -5);
  ASSERT_EQ(1u, keys.size());
  EXPECT_EQ(-3, keys[0].clean);
}

TEST(InstallLogTest, RecordingConvertsNonAscii) {
  std::vector<InstallLogRegistryKey> keys;
  RecordString(&keys, u"Software\\M\u00fcller", u"N\u00e4me", u"\u65e5", 0);
  ASSERT_EQ(1u, keys.size());
  EXPECT_EQ("Software\\M\xC3\xBCller", keys[0].path);
  EXPECT_EQ("N\xC3\xA4me", keys[0].values[0].name);
  EXPECT_EQ("\xE6\x97\xA5", keys[0].values[0].data);
}

TEST(InstallLogTest, DataText) {
  const uint8_t dword[] = {0x1a, 0, 0, 0};
  EXPECT_EQ("0000001a", RegistryDataText(dword, kRegDword, 4));
  const uint8_t high[] = {0x78, 0x56, 0x34, 0xf2};
  EXPECT_EQ("f2345678", RegistryDataText(high, kRegDword, 4));
  const uint8_t binary[] = {0x01, 0xab, 0x00, 0xff};
  EXPECT_EQ("01,ab", RegistryDataText(binary, kRegBinary, 2));
  EXPECT_EQ("01,ab,00,ff", RegistryDataText(binary, kRegBinary, 4));
  EXPECT_EQ("", RegistryDataText(binary, kRegBinary, 0));
  EXPECT_EQ("", RegistryDataText(binary, kRegNone, 4));
  EXPECT_EQ("", RegistryDataText(binary, 11, 4));
  const char16 text[] = u"C:\\a b\0rest";
  EXPECT_EQ("C:\\a b", RegistryDataText(text, kRegExpandSz, sizeof(text)));
}

TEST(InstallLogTest, DataTextStaysInsideTheGivenBytes) {
  // No terminator within the size: the string ends where the data do.
  const char16 text[] = u"abcdef";
  EXPECT_EQ("abc", RegistryDataText(text, kRegSz, 6));
  EXPECT_EQ("abc", RegistryDataText(text, kRegSz, 7));
  // Too short for a DWORD.
  const uint8_t short_dword[] = {1, 2};
  EXPECT_EQ("", RegistryDataText(short_dword, kRegDword, 2));
  EXPECT_EQ("", RegistryDataText(nullptr, kRegBinary, 8));
  EXPECT_EQ("", RegistryDataText(nullptr, kRegSz, 8));
}

TEST(InstallLogTest, TypeNames) {
  EXPECT_STREQ("REG_NONE", RegistryTypeName(0));
  EXPECT_STREQ("REG_QWORD", RegistryTypeName(11));
  EXPECT_STREQ("", RegistryTypeName(12));
  EXPECT_STREQ("", RegistryTypeName(kRegistryValueRemoved));
}

TEST(InstallLogTest, TextRules) {
  EXPECT_TRUE(ParseInstallLogFlag("True"));
  EXPECT_FALSE(ParseInstallLogFlag("true"));
  EXPECT_FALSE(ParseInstallLogFlag("1"));
  EXPECT_FALSE(ParseInstallLogFlag(" True"));
  EXPECT_STREQ("False", InstallLogFlagText(false));

  EXPECT_EQ(u"C:\\Palvo", InstallLogWideField(" \n C:\\Palvo\t\r\n"));
  // Unicode whitespace (no-break space, ideographic space) goes too.
  EXPECT_EQ(u"C:\\x", InstallLogWideField("\xC2\xA0" "C:\\x\xE3\x80\x80"));
  EXPECT_EQ(u"", InstallLogWideField("  \n"));
  EXPECT_EQ(u"C:\\a", InstallLogWideField(std::string("C:\\a\0b", 6)));
  EXPECT_EQ(u"M\u00fcller", InstallLogWideField("M\xC3\xBCller"));

  EXPECT_EQ("01,ab", TrimRegistryDataText(" 01,ab\n"));
  EXPECT_EQ("a b", TrimRegistryDataText("\t\va b\f\r"));
  EXPECT_EQ("", TrimRegistryDataText(" \n "));
  // Only ASCII whitespace: a no-break space is data.
  EXPECT_EQ("\xC2\xA0x", TrimRegistryDataText("\xC2\xA0x"));
}

}  // namespace
}  // namespace installer
