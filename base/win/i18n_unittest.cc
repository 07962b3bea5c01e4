#include "base/win/i18n.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

using Names = std::vector<std::wstring>;

size_t Parse(const std::wstring& buffer, Names* names) {
  return internal::AppendLanguageList(buffer.data(), buffer.size(), names);
}

TEST(LanguageListTest, ParsesNamesUpToTheEmptyName) {
  Names names = {L"kept"};
  EXPECT_EQ(2u, Parse(std::wstring(L"en-US\0fr-FR\0\0ignored\0", 21), &names));
  EXPECT_EQ((Names{L"kept", L"en-US", L"fr-FR"}), names);

  names.clear();
  EXPECT_EQ(0u, Parse(std::wstring(L"\0\0", 2), &names));
  EXPECT_EQ(0u, Parse(std::wstring(), &names));
  EXPECT_TRUE(names.empty());
}

TEST(LanguageListTest, StopsAtTheEndOfAnUnterminatedBuffer) {
  Names names;
  // No closing empty name: the names that are whole still count.
  EXPECT_EQ(1u, Parse(std::wstring(L"de-DE\0", 6), &names));
  // A name cut by the end of the buffer is dropped.
  EXPECT_EQ(1u, Parse(std::wstring(L"it-IT\0es-E", 10), &names));
  EXPECT_EQ((Names{L"de-DE", L"it-IT"}), names);
}

TEST(LanguageNameTest, NamesLanguagesAndRefusesTheCustomDefault) {
  Names names;
  EXPECT_FALSE(internal::AppendLanguageName(0x1400, &names));
  EXPECT_TRUE(names.empty());
  ASSERT_TRUE(internal::AppendLanguageName(0x0409, &names));
  ASSERT_TRUE(internal::AppendLanguageName(0x0407, &names));
  // A neutral language is named without a country.
  ASSERT_TRUE(internal::AppendLanguageName(0x0009, &names));
  EXPECT_EQ((Names{L"en-US", L"de-DE", L"en"}), names);
}

TEST(LanguageNameTest, ThreadListIsNotEmpty) {
  Names names = {L"kept"};
  ASSERT_TRUE(GetThreadPreferredUILanguageList(&names));
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(L"kept", names[0]);
  for (const std::wstring& name : names)
    EXPECT_FALSE(name.empty());
}

}  // namespace
}  // namespace win
}  // namespace base
