#include "desktop/windows/installer/service/win/xml_document.h"

#include <string>

#include "desktop/windows/installer/service/win/xml_document_testsupport.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class XmlDocumentTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(env_.com_ready()); }

  // Writes `text` to the test file and loads it into `document_`.
  void Load(const std::string& text) {
    ASSERT_TRUE(env_.WriteFileText(text));
    ASSERT_TRUE(document_.LoadFile(env_.file().value()));
  }

  std::string Name() {
    std::string name;
    EXPECT_TRUE(document_.GetNodeName(&name));
    return name;
  }

  XmlTestEnvironment env_;
  XmlDocument document_;
};

TEST_F(XmlDocumentTest, NavigationSeesElementsOnly) {
  Load("<?xml version=\"1.0\"?>\n<!-- top -->\n<root>\n  <!-- only a note -->\n"
       "  <a><!-- c --> </a>\n  <?pi data?>\n  <b>text</b>\n</root>\n");
  ASSERT_EQ(XML_MOVED, document_.MoveToFirstChildElement());
  EXPECT_EQ("root", Name());
  ASSERT_EQ(XML_MOVED, document_.MoveToFirstChildElement());
  EXPECT_EQ("a", Name());
  // Comments and whitespace are no children to move to.
  EXPECT_EQ(XML_NOT_FOUND, document_.MoveToFirstChildElement());
  EXPECT_EQ("a", Name());
  ASSERT_EQ(XML_MOVED, document_.MoveToNextSiblingElement());
  EXPECT_EQ("b", Name());
  EXPECT_EQ(XML_NOT_FOUND, document_.MoveToNextSiblingElement());
  EXPECT_EQ("b", Name());
  std::string text;
  ASSERT_TRUE(document_.GetText(&text));
  EXPECT_EQ("text", text);
  ASSERT_EQ(XML_MOVED, document_.MoveToParent());
  EXPECT_EQ("root", Name());
  // The document node above the root is no element.
  EXPECT_EQ(XML_NOT_FOUND, document_.MoveToParent());
  EXPECT_EQ("root", Name());
  EXPECT_EQ(XML_NOT_FOUND, document_.MoveToNextSiblingElement());
}

TEST_F(XmlDocumentTest, SkipToElementRefusesUnknownDirections) {
  Load("<root/>");
  IXMLDOMNode* out = nullptr;
  EXPECT_EQ(XML_FAILED, XmlDocument::SkipToElement(3, nullptr, &out));
  EXPECT_EQ(XML_FAILED, XmlDocument::SkipToElement(-1, nullptr, &out));
  EXPECT_EQ(nullptr, out);
}

TEST_F(XmlDocumentTest, Attributes) {
  Load("<root empty=\"\" amp=\"a &amp; &lt;b&gt; &quot;q&quot;\"/>");
  ASSERT_EQ(XML_MOVED, document_.MoveToFirstChildElement());
  std::string value = "unchanged";
  EXPECT_FALSE(document_.GetAttribute("absent", &value));
  EXPECT_EQ("unchanged", value);
  EXPECT_FALSE(document_.GetAttribute("EMPTY", &value));
  EXPECT_EQ("unchanged", value);
  ASSERT_TRUE(document_.GetAttribute("empty", &value));
  EXPECT_EQ("", value);
  ASSERT_TRUE(document_.GetAttribute("amp", &value));
  EXPECT_EQ("a & <b> \"q\"", value);
}

TEST_F(XmlDocumentTest, LoadFailures) {
  EXPECT_FALSE(document_.LoadFile(env_.file().value()));  // missing

  XmlDocument malformed;
  ASSERT_TRUE(env_.WriteFileText("<root><a></root>"));
  EXPECT_FALSE(malformed.LoadFile(env_.file().value()));

  XmlDocument empty;
  ASSERT_TRUE(env_.WriteFileText(""));
  EXPECT_FALSE(empty.LoadFile(env_.file().value()));

  // A document type declaration is refused, whatever its entities hold.
  XmlDocument with_dtd;
  ASSERT_TRUE(env_.WriteFileText(
      "<?xml version=\"1.0\"?>\n<!DOCTYPE root [\n<!ENTITY a \"aaaaaaaa\">\n"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">\n]>\n<root>&b;</root>\n"));
  EXPECT_FALSE(with_dtd.LoadFile(env_.file().value()));

  // Absurd nesting is a clean failure, not an exhausted parser.
  XmlDocument deep;
  std::string nested;
  for (int i = 0; i < 20000; ++i)
    nested += "<a>";
  for (int i = 0; i < 20000; ++i)
    nested += "</a>";
  ASSERT_TRUE(env_.WriteFileText(nested));
  EXPECT_FALSE(deep.LoadFile(env_.file().value()));

  // Nothing was loaded, so there is nowhere to move to.
  EXPECT_EQ(XML_FAILED, malformed.MoveToFirstChildElement());
  std::string name;
  EXPECT_FALSE(malformed.GetNodeName(&name));
}

TEST_F(XmlDocumentTest, WritingMovesTheCursor) {
  ASSERT_TRUE(document_.Create());
  ASSERT_TRUE(document_.MoveToDocument());
  ASSERT_TRUE(document_.BeginElement("root"));
  ASSERT_TRUE(document_.AddAttribute("k", "v"));
  ASSERT_TRUE(document_.BeginElement("child"));
  EXPECT_EQ("child", Name());
  ASSERT_TRUE(document_.AddText("text"));
  ASSERT_TRUE(document_.EndElement());
  EXPECT_EQ("root", Name());
  // Ending the root leaves the cursor on it.
  EXPECT_FALSE(document_.EndElement());
  EXPECT_EQ("root", Name());
}

constexpr char kPrettyText[] =
    "<?xml version=\"1.0\"?>\n<root>\n <child>text</child>\n</root>\n";

// A root holding one child with text, serialized by `document`.
std::string PrettyText(XmlDocument* document) {
  std::string text;
  EXPECT_TRUE(document->Create());
  EXPECT_TRUE(document->MoveToDocument());
  EXPECT_TRUE(document->BeginElement("root"));
  EXPECT_TRUE(document->BeginElement("child"));
  EXPECT_TRUE(document->AddText("text"));
  EXPECT_TRUE(document->EndElement());
  EXPECT_TRUE(document->SerializePretty(&text));
  return text;
}

TEST_F(XmlDocumentTest, PrettyLayout) {
  StandInWriterXmlDocument document;
  EXPECT_EQ(kPrettyText, PrettyText(&document));
}

TEST_F(XmlDocumentTest, PrettyLayoutThroughMsxmlWriter) {
  if (base::IsRunningUnderWine()) {
    GTEST_SKIP() << "Wine gap: IMXWriter::put_output with a BSTR and "
                    "ISAXXMLReader::parse return E_NOTIMPL";
  }
  EXPECT_EQ(kPrettyText, PrettyText(&document_));
}

TEST_F(XmlDocumentTest, SerializeFailsWithoutDocument) {
  std::string text = "unchanged";
  EXPECT_FALSE(document_.SerializePretty(&text));
  EXPECT_EQ("unchanged", text);
}

TEST_F(XmlDocumentTest, NonAsciiSurvivesSaveAndLoad) {
  const std::string value = "C:\\Programme\\M\xC3\xBC" "ller \xE6\x97\xA5\xF0\x9F\x98\x80";
  StandInWriterXmlDocument written;
  ASSERT_TRUE(written.Create());
  ASSERT_TRUE(written.MoveToDocument());
  ASSERT_TRUE(written.BeginElement("root"));
  ASSERT_TRUE(written.AddAttribute("a", value + " & <\"x\">"));
  ASSERT_TRUE(written.AddText(value + " & <y>"));
  std::string text;
  ASSERT_TRUE(written.SerializePretty(&text));
  ASSERT_TRUE(env_.WriteFileText(text));

  ASSERT_TRUE(document_.LoadFile(env_.file().value()));
  ASSERT_EQ(XML_MOVED, document_.MoveToFirstChildElement());
  std::string read;
  ASSERT_TRUE(document_.GetAttribute("a", &read));
  EXPECT_EQ(value + " & <\"x\">", read);
  ASSERT_TRUE(document_.GetText(&read));
  EXPECT_EQ(value + " & <y>", read);
}

}  // namespace
}  // namespace installer
