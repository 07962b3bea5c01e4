#include "desktop/windows/installer/branding.h"

#include "base/json/json_reader.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/values.h"

namespace installer {

namespace {

// Parsed once: the text comes from this process's own resources and does
// not change while it runs.
class ProcessBranding {
 public:
  ProcessBranding() : branding_(LoadBrandingText()) {}
  const Branding& branding() const { return branding_; }

 private:
  Branding branding_;
};

base::LazyInstance<ProcessBranding> g_branding;

}  // namespace

Branding::Branding(base::StringPiece json) {
  std::unique_ptr<base::Value> root = base::JSONReader::Read(json);
  base::DictionaryValue* dict = nullptr;
  if (root && root->GetAsDictionary(&dict)) {
    root.release();
    values_.reset(dict);
  } else {
    if (!json.empty())
      LOG(ERROR) << "The branding description is not a JSON dictionary.";
    values_.reset(new base::DictionaryValue());
  }
}

Branding::~Branding() = default;

std::string Branding::GetStringAt(const std::string& path) const {
  std::string value;
  if (!values_->GetString(path, &value))
    value.clear();
  return value;
}

// static
std::string Branding::GetString(const std::string& path) {
  return g_branding.Get().branding().GetStringAt(path);
}

// static
std::string Branding::GetCompanyName() {
  return GetString("company_name");
}

// static
std::string Branding::GetFileNameBase() {
  return GetString("file_name_base");
}

// static
std::string Branding::GetDefaultProfilePathTemplate() {
  return GetString("default_profile_path_template");
}

std::string GetProductName() {
  return Branding::GetString("product_name");
}

std::string GetStream() {
  return "developer";
}

}  // namespace installer
