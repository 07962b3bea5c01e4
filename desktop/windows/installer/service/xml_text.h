#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_TEXT_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_TEXT_H_

#include <string>

#include "base/strings/string_piece.h"

namespace installer {

// The declaration line "<?xml version="1.0"?>" followed by the XML writer's
// output in UTF-8, with every carriage return dropped, every tab turned into
// one space and a final line feed: the file layout the install log has always
// had, whatever line ends and indentation the writer chose.
std::string FinishIndentedXml(base::StringPiece16 writer_output);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_TEXT_H_
