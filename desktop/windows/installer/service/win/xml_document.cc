#include "desktop/windows/installer/service/win/xml_document.h"

#include <oleauto.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string16.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_bstr.h"
#include "base/win/scoped_variant.h"
#include "desktop/windows/installer/service/xml_text.h"

using Microsoft::WRL::ComPtr;

namespace installer {

namespace {

// mingw's import libraries lack the MSXML ids.
constexpr GUID kClsidDomDocument30 = {
    0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr GUID kIidXmlDomDocument = {
    0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
constexpr GUID kIidXmlDomDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
constexpr GUID kIidXmlDomElement = {
    0x2933bf86, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
constexpr GUID kClsidMxXmlWriter30 = {
    0x3d813dfe, 0x6c91, 0x4a4e, {0x8f, 0x41, 0x04, 0x34, 0x6a, 0x84, 0x1d, 0x9c}};
constexpr GUID kIidMxWriter = {
    0x4d7ff4ba, 0x1565, 0x4ea8, {0x94, 0xe1, 0x6e, 0x72, 0x4a, 0x46, 0xf9, 0x8d}};
constexpr GUID kIidSaxContentHandler = {
    0x1545cdfa, 0x9e4e, 0x4497, {0xa8, 0xa4, 0x2b, 0xf7, 0xd0, 0x11, 0x2c, 0x44}};
constexpr GUID kIidSaxErrorHandler = {
    0xa60511c4, 0xccf5, 0x479e, {0x98, 0xa3, 0xdc, 0x8d, 0xc5, 0x45, 0xb7, 0xd0}};
constexpr GUID kIidSaxDtdHandler = {
    0xe15c1baf, 0xafb3, 0x4d60, {0x8c, 0x36, 0x19, 0xa8, 0xc4, 0x5d, 0xef, 0xed}};
constexpr GUID kClsidSaxXmlReader30 = {
    0x3124c396, 0xfb13, 0x4836, {0xa6, 0xad, 0x13, 0x17, 0xf1, 0x71, 0x36, 0x88}};
constexpr GUID kIidSaxXmlReader = {
    0xa4f96ed0, 0xf829, 0x476e, {0x81, 0xc0, 0xcd, 0xc7, 0xbd, 0x2a, 0x08, 0x02}};

// Far more than any install log holds; a larger file is refused unread.
constexpr size_t kMaxFileSize = 64 * 1024 * 1024;

// Nesting far beyond the install log's four levels is no log of ours.
constexpr long kMaxElementDepth = 32;

constexpr wchar_t kLexicalHandlerProperty[] =
    L"http://xml.org/sax/properties/lexical-handler";
constexpr wchar_t kDeclarationHandlerProperty[] =
    L"http://xml.org/sax/properties/declaration-handler";

// The install log is read from a folder its user can write to: a DTD could
// make the parser expand entities without end, and deep nesting could
// exhaust it. Both properties are best effort: MSXML 3.0 releases that lack
// them refuse them, and LoadFile refuses a document with a DTD in any case.
void RestrictParsing(IXMLDOMDocument* document) {
  ComPtr<IXMLDOMDocument2> document2;
  if (FAILED(document->QueryInterface(
          kIidXmlDomDocument2,
          reinterpret_cast<void**>(document2.ReleaseAndGetAddressOf())))) {
    return;
  }
  base::win::ScopedBstr prohibit_dtd(L"ProhibitDTD");
  base::win::ScopedBstr max_depth(L"MaxElementDepth");
  CHECK(prohibit_dtd.Get() && max_depth.Get());
  VARIANT value;
  ::VariantInit(&value);
  value.vt = VT_BOOL;
  value.boolVal = VARIANT_TRUE;
  document2->setProperty(prohibit_dtd.Get(), value);
  value.vt = VT_I4;
  value.lVal = kMaxElementDepth;
  document2->setProperty(max_depth.Get(), value);
}

// Sets `found` to whether a top-level node of the loaded document is a
// document type declaration; false when the walk fails. It ends with the
// last top-level node.
bool HasDocumentType(IXMLDOMDocument* document, bool* found) {
  ComPtr<IXMLDOMNode> node;
  if (FAILED(document->get_firstChild(node.ReleaseAndGetAddressOf())))
    return false;
  *found = false;
  while (node) {
    DOMNodeType type;
    if (FAILED(node->get_nodeType(&type)))
      return false;
    if (type == NODE_DOCUMENT_TYPE) {
      *found = true;
      return true;
    }
    ComPtr<IXMLDOMNode> next;
    if (FAILED(node->get_nextSibling(next.ReleaseAndGetAddressOf())))
      return false;
    node = next;
  }
  return true;
}

template <typename T>
void** OutPointer(ComPtr<T>& pointer) {
  return reinterpret_cast<void**>(pointer.ReleaseAndGetAddressOf());
}

// A BSTR copy of UTF-8 text; running out of memory here ends the process.
class Utf8Bstr {
 public:
  explicit Utf8Bstr(const std::string& text)
      : wide_(base::UTF8ToWide(text)), bstr_(wide_.c_str()) {
    CHECK(bstr_.Get());
  }
  BSTR Get() const { return bstr_.Get(); }

 private:
  std::wstring wide_;
  base::win::ScopedBstr bstr_;
};

// Turns a VARIANT into text in place; false when it cannot be converted.
bool VariantToText(VARIANT* value, std::wstring* out) {
  if (value->vt != VT_BSTR) {
    HRESULT hr = ::VariantChangeType(value, value, 0, VT_BSTR);
    CHECK(hr != E_OUTOFMEMORY);
    if (FAILED(hr))
      return false;
  }
  const BSTR bstr = value->bstrVal;
  if (bstr)
    out->assign(bstr, ::SysStringLen(bstr));
  else
    out->clear();
  return true;
}

VARIANT UnknownVariant(IUnknown* unknown) {
  VARIANT value;
  ::VariantInit(&value);
  value.vt = VT_UNKNOWN;
  value.punkVal = unknown;
  return value;
}

}  // namespace

const IID kIidXmlDomNode = {
    0x2933bf80, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

std::wstring TakeBstr(BSTR bstr) {
  std::wstring text;
  if (bstr)
    text.assign(bstr, ::SysStringLen(bstr));
  ::SysFreeString(bstr);
  return text;
}

XmlDocument::XmlDocument() = default;

XmlDocument::~XmlDocument() {
  if (cursor_)
    cursor_->Release();
  if (document_)
    document_->Release();
}

bool XmlDocument::Create() {
  if (document_)
    return false;
  IXMLDOMDocument* document = nullptr;
  if (FAILED(::CoCreateInstance(kClsidDomDocument30, nullptr,
                                CLSCTX_INPROC_SERVER, kIidXmlDomDocument,
                                reinterpret_cast<void**>(&document))) ||
      !document) {
    return false;
  }
  document_ = document;
  RestrictParsing(document_);
  return SUCCEEDED(document_->put_async(VARIANT_FALSE)) &&
         SUCCEEDED(document_->put_validateOnParse(VARIANT_FALSE)) &&
         SUCCEEDED(document_->put_resolveExternals(VARIANT_FALSE));
}

bool XmlDocument::LoadFile(const string16& path) {
  if (!Create())
    return false;
  // The parser is handed the bytes, not the path: MSXML takes a path for a
  // URL, so a folder name holding "%20" or "#" would name another file (or
  // none), and a URL could even reach the network.
  std::string bytes;
  if (!base::ReadFileToStringWithMaxSize(base::FilePath(path), &bytes,
                                         kMaxFileSize) ||
      bytes.empty()) {
    return false;
  }
  ComPtr<IStream> stream;
  stream.Attach(::SHCreateMemStream(
      reinterpret_cast<const BYTE*>(bytes.data()),
      static_cast<UINT>(bytes.size())));
  CHECK(stream);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (FAILED(document_->load(UnknownVariant(stream.Get()), &loaded)) ||
      loaded != VARIANT_TRUE) {
    return false;
  }
  // Our files never carry one; where the parser accepted it anyway, its
  // entities may already have been expanded into the content.
  bool has_document_type = true;
  if (!HasDocumentType(document_, &has_document_type) || has_document_type)
    return false;
  return MoveToDocument();
}

bool XmlDocument::MoveToDocument() {
  if (!document_)
    return false;
  IXMLDOMNode* node = nullptr;
  if (FAILED(document_->QueryInterface(kIidXmlDomNode,
                                       reinterpret_cast<void**>(&node))) ||
      !node) {
    return false;
  }
  if (cursor_)
    cursor_->Release();
  cursor_ = node;
  return true;
}

// static
int XmlDocument::SkipToElement(int direction, IXMLDOMNode* node,
                               IXMLDOMNode** out) {
  if (!node || direction < XML_FIRST_CHILD || direction > XML_PARENT)
    return XML_FAILED;
  ComPtr<IXMLDOMNode> current;
  HRESULT hr;
  if (direction == XML_FIRST_CHILD)
    hr = node->get_firstChild(current.ReleaseAndGetAddressOf());
  else if (direction == XML_NEXT_SIBLING)
    hr = node->get_nextSibling(current.ReleaseAndGetAddressOf());
  else
    hr = node->get_parentNode(current.ReleaseAndGetAddressOf());
  // The walk ends with the last sibling, so it is as long as the document.
  while (true) {
    if (FAILED(hr))
      return XML_FAILED;
    if (hr == S_FALSE || !current)
      return XML_NOT_FOUND;
    DOMNodeType type;
    if (FAILED(current->get_nodeType(&type)))
      return XML_FAILED;
    if (type == NODE_ELEMENT) {
      *out = current.Detach();
      return XML_MOVED;
    }
    if (direction == XML_PARENT)
      return XML_NOT_FOUND;
    ComPtr<IXMLDOMNode> next;
    hr = current->get_nextSibling(next.ReleaseAndGetAddressOf());
    current = next;
  }
}

int XmlDocument::MoveCursor(int direction) {
  if (!cursor_)
    return XML_FAILED;
  IXMLDOMNode* found = nullptr;
  const int result = SkipToElement(direction, cursor_, &found);
  if (result == XML_MOVED) {
    cursor_->Release();
    cursor_ = found;
  }
  return result;
}

int XmlDocument::MoveToFirstChildElement() {
  return MoveCursor(XML_FIRST_CHILD);
}

int XmlDocument::MoveToNextSiblingElement() {
  return MoveCursor(XML_NEXT_SIBLING);
}

int XmlDocument::MoveToParent() {
  return MoveCursor(XML_PARENT);
}

bool XmlDocument::GetNodeName(std::string* out) {
  BSTR name = nullptr;
  if (!cursor_ || FAILED(cursor_->get_nodeName(&name))) {
    ::SysFreeString(name);
    return false;
  }
  *out = base::WideToUTF8(TakeBstr(name));
  return true;
}

bool XmlDocument::GetText(std::string* out) {
  BSTR text = nullptr;
  if (!cursor_ || FAILED(cursor_->get_text(&text))) {
    ::SysFreeString(text);
    return false;
  }
  *out = base::WideToUTF8(TakeBstr(text));
  return true;
}

bool XmlDocument::GetAttribute(const std::string& name, std::string* out) {
  if (!cursor_)
    return false;
  ComPtr<IXMLDOMElement> element;
  if (FAILED(cursor_->QueryInterface(kIidXmlDomElement, OutPointer(element))))
    return false;
  Utf8Bstr bstr_name(name);
  base::win::ScopedVariant value;
  if (element->getAttribute(bstr_name.Get(), value.Receive()) != S_OK)
    return false;
  std::wstring text;
  if (!VariantToText(value.AsInput(), &text))
    return false;
  *out = base::WideToUTF8(text);
  return true;
}

bool XmlDocument::BeginElement(const std::string& name) {
  if (!document_ || !cursor_)
    return false;
  ComPtr<IXMLDOMElement> element;
  Utf8Bstr bstr_name(name);
  if (FAILED(document_->createElement(bstr_name.Get(),
                                      element.ReleaseAndGetAddressOf())) ||
      !element) {
    return false;
  }
  ComPtr<IXMLDOMNode> node;
  if (FAILED(element->QueryInterface(kIidXmlDomNode, OutPointer(node))))
    return false;
  IXMLDOMNode* appended = nullptr;
  if (FAILED(cursor_->appendChild(node.Get(), &appended)) || !appended)
    return false;
  cursor_->Release();
  cursor_ = appended;
  return true;
}

bool XmlDocument::EndElement() {
  return MoveToParent() == XML_MOVED;
}

bool XmlDocument::AddAttribute(const std::string& name,
                               const std::string& value) {
  if (!cursor_)
    return false;
  ComPtr<IXMLDOMElement> element;
  if (FAILED(cursor_->QueryInterface(kIidXmlDomElement, OutPointer(element))))
    return false;
  Utf8Bstr bstr_name(name);
  const std::wstring wide_value = base::UTF8ToWide(value);
  base::win::ScopedVariant variant(wide_value.c_str());
  CHECK(variant.ptr()->bstrVal);
  return SUCCEEDED(element->setAttribute(bstr_name.Get(), *variant.ptr()));
}

bool XmlDocument::AddText(const std::string& text) {
  if (!cursor_)
    return false;
  Utf8Bstr bstr_text(text);
  return SUCCEEDED(cursor_->put_text(bstr_text.Get()));
}

bool XmlDocument::SerializePretty(std::string* out) {
  if (!document_)
    return false;
  std::wstring written;
  if (!RunWriter(&written))
    return false;
  *out = FinishIndentedXml(
      base::StringPiece16(as_u16cstr(written.c_str()), written.size()));
  return true;
}

bool XmlDocument::RunWriter(std::wstring* out) {
  ComPtr<IMXWriter> writer;
  if (FAILED(::CoCreateInstance(kClsidMxXmlWriter30, nullptr,
                                CLSCTX_INPROC_SERVER, kIidMxWriter,
                                OutPointer(writer)))) {
    return false;
  }
  ComPtr<ISAXContentHandler> content_handler;
  ComPtr<ISAXErrorHandler> error_handler;
  ComPtr<ISAXDTDHandler> dtd_handler;
  if (FAILED(writer->QueryInterface(kIidSaxContentHandler,
                                    OutPointer(content_handler))) ||
      FAILED(writer->QueryInterface(kIidSaxErrorHandler,
                                    OutPointer(error_handler))) ||
      FAILED(writer->QueryInterface(kIidSaxDtdHandler,
                                    OutPointer(dtd_handler)))) {
    return false;
  }
  base::win::ScopedVariant output(L"");
  CHECK(output.ptr()->bstrVal);
  if (FAILED(writer->put_byteOrderMark(VARIANT_FALSE)) ||
      FAILED(writer->put_omitXMLDeclaration(VARIANT_TRUE)) ||
      FAILED(writer->put_indent(VARIANT_TRUE)) ||
      FAILED(writer->put_output(*output.ptr()))) {
    return false;
  }
  ComPtr<ISAXXMLReader> reader;
  if (FAILED(::CoCreateInstance(kClsidSaxXmlReader30, nullptr,
                                CLSCTX_INPROC_SERVER, kIidSaxXmlReader,
                                OutPointer(reader)))) {
    return false;
  }
  if (FAILED(reader->putContentHandler(content_handler.Get())) ||
      FAILED(reader->putErrorHandler(error_handler.Get())) ||
      FAILED(reader->putDTDHandler(dtd_handler.Get())) ||
      FAILED(reader->putProperty(kLexicalHandlerProperty,
                                 UnknownVariant(writer.Get()))) ||
      FAILED(reader->putProperty(kDeclarationHandlerProperty,
                                 UnknownVariant(writer.Get())))) {
    return false;
  }
  if (FAILED(reader->parse(UnknownVariant(document_))))
    return false;
  base::win::ScopedVariant result;
  if (FAILED(writer->get_output(result.Receive())))
    return false;
  return VariantToText(result.AsInput(), out);
}

}  // namespace installer
