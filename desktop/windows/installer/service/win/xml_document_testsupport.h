#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_WIN_XML_DOCUMENT_TESTSUPPORT_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_WIN_XML_DOCUMENT_TESTSUPPORT_H_

#include <string>

#include "base/files/file_path.h"
#include "base/files/test_folder_win.h"
#include "desktop/windows/installer/service/win/xml_document.h"

namespace installer {

// Initialises single-threaded COM for one test and names a file in a fresh
// test folder.
class XmlTestEnvironment {
 public:
  XmlTestEnvironment();
  ~XmlTestEnvironment();

  bool com_ready() const { return com_ready_; }
  const base::FilePath& file() const { return file_; }
  bool WriteFileText(const std::string& text) const;
  bool ReadFileText(std::string* text) const;

 private:
  bool com_ready_ = false;
  base::TestFolder folder_;
  base::FilePath file_;
};

// An XmlDocument whose serializer does without MSXML's XML writer and SAX
// reader, which Wine lacks ("IMXWriter::put_output with a BSTR and
// ISAXXMLReader::parse return E_NOTIMPL"). It walks the DOM and writes what
// the writer writes with indentation on: one tab per level, CR LF between
// lines, an element with text only on one line, an empty one as "<a/>",
// the usual escapes, and no line end after the root's end tag.
class StandInWriterXmlDocument : public XmlDocument {
 protected:
  bool RunWriter(std::wstring* out) override;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_WIN_XML_DOCUMENT_TESTSUPPORT_H_
