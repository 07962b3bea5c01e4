#ifndef DESKTOP_WINDOWS_INSTALLER_BRANDING_H_
#define DESKTOP_WINDOWS_INSTALLER_BRANDING_H_

#include <memory>
#include <string>

#include "base/strings/string_piece.h"

namespace base {
class DictionaryValue;
}

namespace installer {

// The branding description: a JSON dictionary of product and company
// names, URLs and behaviour switches. The process-wide one is parsed once,
// on first use, from the host executable's resources and kept for the life
// of the process. Missing or malformed branding reads as empty strings: no
// getter fails.
class Branding {
 public:
  // Parses |json|; text that is not a JSON dictionary gives empty branding.
  explicit Branding(base::StringPiece json);
  ~Branding();

  Branding(const Branding&) = delete;
  Branding& operator=(const Branding&) = delete;

  // The string at the dotted |path|; empty when it is missing or no string.
  std::string GetStringAt(const std::string& path) const;

  // The process-wide branding's string at |path|.
  static std::string GetString(const std::string& path);
  static std::string GetCompanyName();
  static std::string GetFileNameBase();
  static std::string GetDefaultProfilePathTemplate();

 private:
  std::unique_ptr<base::DictionaryValue> values_;
};

// The branding's "product_name".
std::string GetProductName();

// The release stream of this build.
std::string GetStream();

// The branding text of this process (the host executable's "TXT" resource
// 133, or that of the test-automation library); empty when there is none.
std::string LoadBrandingText();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_BRANDING_H_
