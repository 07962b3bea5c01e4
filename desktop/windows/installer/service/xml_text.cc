#include "desktop/windows/installer/service/xml_text.h"

#include "base/strings/utf_string_conversions.h"

namespace installer {

std::string FinishIndentedXml(base::StringPiece16 writer_output) {
  const std::string body = base::UTF16ToUTF8(writer_output);
  std::string text = "<?xml version=\"1.0\"?>\n";
  text.reserve(text.size() + body.size() + 1);
  for (size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (c == '\r')
      continue;
    text.push_back(c);
    if (c != '\n')
      continue;
    // Only the writer's indentation turns into spaces: tabs that open a
    // line before a tag. A tab inside a value is data and stays a tab (a
    // raw '<' never stands in text or attribute values, so this cannot
    // mistake data for indentation).
    const size_t run_end = body.find_first_not_of('\t', i + 1);
    if (run_end != std::string::npos && body[run_end] == '<') {
      text.append(run_end - (i + 1), ' ');
      i = run_end - 1;
    }
  }
  text.push_back('\n');
  return text;
}

}  // namespace installer
