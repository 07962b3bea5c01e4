#include "base/win/i18n.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

using Names = std::vector<std::wstring>;

TEST(LanguageListTest, ParsesWithinTheBuffer) {
  Names names;
  const std::wstring list(L"en-US\0fr-FR\0\0ignored\0", 21);
  EXPECT_EQ(2u, internal::AppendLanguageList(list.data(), list.size(), &names));
  // Without the closing empty name the whole names count; a name cut by the
  // end of the buffer does not.
  EXPECT_EQ(1u, internal::AppendLanguageList(L"it-IT\0es-E", 10, &names));
  EXPECT_EQ(0u, internal::AppendLanguageList(L"", 0, &names));
  EXPECT_EQ((Names{L"en-US", L"fr-FR", L"it-IT"}), names);
}

TEST(LanguageListTest, NamesLanguagesButNotTheCustomDefault) {
  Names names;
  EXPECT_FALSE(internal::AppendLanguageName(0x1400, &names));
  ASSERT_TRUE(internal::AppendLanguageName(0x0407, &names));
  ASSERT_TRUE(internal::AppendLanguageName(0x0009, &names));  // neutral: no country
  EXPECT_EQ((Names{L"de-DE", L"en"}), names);

  names = {L"kept"};
  ASSERT_TRUE(GetThreadPreferredUILanguageList(&names));
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(L"kept", names[0]);
  EXPECT_FALSE(names[1].empty());
}

}  // namespace
}  // namespace win
}  // namespace base
