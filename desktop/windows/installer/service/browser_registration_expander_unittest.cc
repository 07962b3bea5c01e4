#include "desktop/windows/installer/service/browser_registration_expander.h"

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/branding.h"
#include "desktop/windows/installer/service/registry_entry.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(BrowserRegistrationExpanderTest, Variables) {
  BrowserRegistrationExpander expander(u".htm", u"C:\\Palvo");
  const string16 product = base::UTF8ToUTF16(GetProductName());
  const string16 stream = base::UTF8ToUTF16(GetStream());
  EXPECT_EQ(u"C:\\Palvo", expander.Expand(u"InstallFolder"));
  EXPECT_EQ(stream, expander.Expand(u"Stream"));
  EXPECT_EQ(product, expander.Expand(u"Product"));
  EXPECT_EQ(u".htm", expander.Expand(u"Extension"));
  EXPECT_EQ(u".htm", expander.Expand(u"Protocol"));
  // Names compare exactly; anything else comes back bare.
  EXPECT_EQ(u"product", expander.Expand(u"product"));
  EXPECT_EQ(nullptr, expander.GetRegistryLog(nullptr));

  RegistryEntryRow row = {};
  RegistryEntry entry(row, &expander);
  EXPECT_EQ(u"Software\\Classes\\" + product + stream + u"\\Unknown",
            entry.ExpandTemplate(u"Software\\Classes\\{Product}{Stream}\\{Unknown}"));

  // Folders named with braces go in as they are.
  for (const char16* folder : {u"C:\\Apps\\{x64}\\Palvo",
                               u"D:\\{InstallFolder}\\Palvo"}) {
    BrowserRegistrationExpander in_folder(u"https", folder);
    RegistryEntry command(row, &in_folder);
    EXPECT_EQ(string16(u"\"") + folder + u"\\palvo.exe\" \"%1\" {x}",
              command.ExpandTemplate(
                  u"\"{InstallFolder}\\palvo.exe\" \"%1\" {{x}}"));
  }
}

}  // namespace
}  // namespace installer
