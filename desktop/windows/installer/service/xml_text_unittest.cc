#include "desktop/windows/installer/service/xml_text.h"

#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

std::string Finish(const char* writer_output) {
  return FinishIndentedXml(base::UTF8ToUTF16(writer_output));
}

TEST(XmlTextTest, WriterLayoutBecomesFileLayout) {
  EXPECT_EQ("<?xml version=\"1.0\"?>\n<a>\n <b>\n  <c>x</c>\n </b>\n</a>\n",
            Finish("<a>\r\n\t<b>\r\n\t\t<c>x</c>\r\n\t</b>\r\n</a>"));
  EXPECT_EQ("<?xml version=\"1.0\"?>\n\n", Finish(""));
  // Carriage returns go everywhere, as the file has never held one.
  EXPECT_EQ("<?xml version=\"1.0\"?>\n<a>x\ny</a>\n", Finish("<a>x\r\ny\r</a>"));
}

TEST(XmlTextTest, TabsInValuesStayTabs) {
  EXPECT_EQ("<?xml version=\"1.0\"?>\n<a k=\"1\t2\">\n <b>\tx\n\ty</b>\n</a>\n",
            Finish("<a k=\"1\t2\">\r\n\t<b>\tx\r\n\ty</b>\r\n</a>"));
}

TEST(XmlTextTest, NonAsciiIsUtf8) {
  const string16 wide = u"<a>M\u00fcller \U0001F600</a>";
  EXPECT_EQ("<?xml version=\"1.0\"?>\n<a>M\xC3\xBCller \xF0\x9F\x98\x80</a>\n",
            FinishIndentedXml(wide));
}

}  // namespace
}  // namespace installer
