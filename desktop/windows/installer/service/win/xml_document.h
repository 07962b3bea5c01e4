#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_WIN_XML_DOCUMENT_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_WIN_XML_DOCUMENT_H_

#include <windows.h>
#include <msxml2.h>

#include <string>

#include "base/strings/string16.h"

namespace installer {

// The DOM node interface id; mingw's import libraries lack the MSXML ids.
extern const IID kIidXmlDomNode;

// The text of a BSTR received from a call, which is freed; null is empty.
std::wstring TakeBstr(BSTR bstr);

// Results of the cursor moves.
enum XmlNavigation {
  XML_MOVED = 0,      // the cursor is on the element sought
  XML_NOT_FOUND = 1,  // no such element; the cursor stays
  XML_FAILED = 2,     // an interface call failed; the cursor stays
};

// Directions for SkipToElement.
enum XmlDirection {
  XML_FIRST_CHILD = 0,
  XML_NEXT_SIBLING = 1,
  XML_PARENT = 2,
};

// One MSXML 3.0 DOM document and a cursor on one of its nodes. Reading walks
// the cursor over elements only; writing appends elements under the cursor.
// Narrow strings are UTF-8. Used on one thread, which has COM initialised.
class XmlDocument {
 public:
  XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;
  virtual ~XmlDocument();

  // Creates the empty document (synchronous, no validation, no external
  // entities). Called once.
  bool Create();
  // Create, parse the file at `path` and put the cursor on the document
  // node. A file that is missing, larger than any log, not well-formed or
  // carrying a document type declaration gives false.
  bool LoadFile(const string16& path);
  // Puts the cursor on the document node, where writing begins.
  bool MoveToDocument();

  // The element in `direction` from `node`, skipping nodes that are not
  // elements; on XML_MOVED `*out` holds a reference the caller releases.
  static int SkipToElement(int direction, IXMLDOMNode* node,
                           IXMLDOMNode** out);

  int MoveToFirstChildElement();
  int MoveToNextSiblingElement();
  // XML_NOT_FOUND on the root element: the document node is no element.
  int MoveToParent();

  // `out` is written only on success.
  bool GetNodeName(std::string* out);
  bool GetText(std::string* out);
  // False for an absent attribute.
  bool GetAttribute(const std::string& name, std::string* out);

  // Appends an element under the cursor and moves the cursor into it.
  bool BeginElement(const std::string& name);
  // Back to the parent element; false (cursor stays) on the root element.
  bool EndElement();
  bool AddAttribute(const std::string& name, const std::string& value);
  bool AddText(const std::string& text);

  // The whole document as indented text with a declaration line, line
  // feeds only and a final line feed. `out` is written only on success.
  bool SerializePretty(std::string* out);

 protected:
  // Runs the MSXML writer over the document through the SAX reader and
  // hands back what it wrote (tab-indented, CR LF line ends).
  virtual bool RunWriter(std::wstring* out);

  IXMLDOMDocument* document() const { return document_; }

 private:
  // Moves the cursor in `direction` when an element is found there.
  int MoveCursor(int direction);

  IXMLDOMDocument* document_ = nullptr;
  IXMLDOMNode* cursor_ = nullptr;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_WIN_XML_DOCUMENT_H_
