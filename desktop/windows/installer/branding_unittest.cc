#include "desktop/windows/installer/branding.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(BrandingTest, ReadsStringsByDottedPath) {
  Branding branding(
      R"({"product_name": "Palvo", "urls": {"update": "https://u.example/"},)"
      R"( "company_name": "Palvo Software", "count": 3})");
  EXPECT_EQ("Palvo", branding.GetStringAt("product_name"));
  EXPECT_EQ("https://u.example/", branding.GetStringAt("urls.update"));
  EXPECT_EQ("Palvo Software", branding.GetStringAt("company_name"));
  // Missing keys and values of other kinds read as empty.
  EXPECT_EQ("", branding.GetStringAt("file_name_base"));
  EXPECT_EQ("", branding.GetStringAt("count"));
  EXPECT_EQ("", branding.GetStringAt("urls"));
}

TEST(BrandingTest, BrokenDescriptionReadsAsEmpty) {
  for (const char* text : {"", "[\"product_name\"]", "{\"product_name\": ", "\"x\""}) {
    Branding branding(text);
    EXPECT_EQ("", branding.GetStringAt("product_name")) << text;
  }
}

TEST(BrandingTest, ProcessWideBrandingComesFromTheExecutable) {
#if defined(_WIN32)
  // The Windows test executable carries the resource, as a host executable
  // does; its text is read by the resource's size, with nothing after it.
  const std::string text = LoadBrandingText();
  ASSERT_FALSE(text.empty());
  EXPECT_EQ('}', text.back());
  EXPECT_EQ("Palvo", GetProductName());
  EXPECT_EQ("Palvo Software", Branding::GetCompanyName());
  EXPECT_EQ("https://u.example/", Branding::GetString("urls.update"));
#else
  // No resources here: the getters answer empty, never fail.
  EXPECT_EQ("", LoadBrandingText());
  EXPECT_EQ("", GetProductName());
#endif
  EXPECT_EQ("", Branding::GetFileNameBase());
  EXPECT_EQ("developer", GetStream());
}

}  // namespace
}  // namespace installer
