#include "desktop/windows/installer/service/win/xml_document_testsupport.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "base/files/file_util.h"

using Microsoft::WRL::ComPtr;

namespace installer {

namespace {

std::wstring Escape(const std::wstring& text, bool attribute) {
  std::wstring escaped;
  for (wchar_t c : text) {
    if (c == L'&')
      escaped += L"&amp;";
    else if (c == L'<')
      escaped += L"&lt;";
    else if (c == L'>')
      escaped += L"&gt;";
    else if (c == L'"' && attribute)
      escaped += L"&quot;";
    else
      escaped += c;
  }
  return escaped;
}

bool WriteElement(IXMLDOMNode* element, int depth, std::wstring* out) {
  BSTR name = nullptr;
  if (FAILED(element->get_nodeName(&name)))
    return false;
  const std::wstring tag = TakeBstr(name);
  *out += L"<" + tag;
  ComPtr<IXMLDOMNamedNodeMap> attributes;
  long count = 0;
  if (FAILED(element->get_attributes(&attributes)) || !attributes ||
      FAILED(attributes->get_length(&count))) {
    return false;
  }
  for (long i = 0; i < count; ++i) {
    ComPtr<IXMLDOMNode> attribute;
    BSTR attribute_name = nullptr;
    BSTR value = nullptr;
    if (FAILED(attributes->get_item(i, &attribute)) || !attribute ||
        FAILED(attribute->get_nodeName(&attribute_name)) ||
        FAILED(attribute->get_text(&value))) {
      return false;
    }
    *out += L" " + TakeBstr(attribute_name) + L"=\"" +
            Escape(TakeBstr(value), true) + L"\"";
  }
  std::wstring text;
  std::wstring children;
  bool has_elements = false;
  ComPtr<IXMLDOMNode> child;
  element->get_firstChild(&child);
  while (child) {
    DOMNodeType type;
    if (FAILED(child->get_nodeType(&type)))
      return false;
    if (type == NODE_ELEMENT) {
      has_elements = true;
      children += L"\r\n" + std::wstring(depth + 1, L'\t');
      if (!WriteElement(child.Get(), depth + 1, &children))
        return false;
    } else if (type == NODE_TEXT) {
      BSTR value = nullptr;
      if (FAILED(child->get_text(&value)))
        return false;
      text += Escape(TakeBstr(value), false);
    }
    ComPtr<IXMLDOMNode> next;
    child->get_nextSibling(&next);
    child = next;
  }
  if (!has_elements && text.empty()) {
    *out += L"/>";
    return true;
  }
  *out += L">" + text + children;
  if (has_elements)
    *out += L"\r\n" + std::wstring(depth, L'\t');
  *out += L"</" + tag + L">";
  return true;
}

}  // namespace

XmlTestEnvironment::XmlTestEnvironment()
    : com_ready_(
          SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))),
      file_(folder_.path().AppendASCII("test.xml")) {}

XmlTestEnvironment::~XmlTestEnvironment() {
  if (com_ready_)
    ::CoUninitialize();
}

bool XmlTestEnvironment::WriteFileText(const std::string& text) const {
  const int size = static_cast<int>(text.size());
  return base::WriteFile(file_, text.data(), size) == size;
}

bool XmlTestEnvironment::ReadFileText(std::string* text) const {
  return base::ReadFileToString(file_, text);
}

bool StandInWriterXmlDocument::RunWriter(std::wstring* out) {
  ComPtr<IXMLDOMElement> root;
  if (!document() || FAILED(document()->get_documentElement(&root)) || !root)
    return false;
  ComPtr<IXMLDOMNode> node;
  if (FAILED(root->QueryInterface(kIidXmlDomNode,
                                  reinterpret_cast<void**>(node.GetAddressOf()))))
    return false;
  std::wstring text;
  if (!WriteElement(node.Get(), 0, &text))
    return false;
  *out = text;
  return true;
}

}  // namespace installer
