#include "desktop/windows/installer/service/browser_registration_expander.h"

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/branding.h"

namespace installer {

BrowserRegistrationExpander::BrowserRegistrationExpander(
    const string16& target,
    const string16& install_folder)
    : target_(target), install_folder_(install_folder) {}

BrowserRegistrationExpander::~BrowserRegistrationExpander() = default;

string16 BrowserRegistrationExpander::Expand(const string16& name) {
  if (name == u"InstallFolder")
    return install_folder_;
  // The branding is UTF-8; decoding it keeps names beyond ASCII intact.
  if (name == u"Stream")
    return base::UTF8ToUTF16(GetStream());
  if (name == u"Product")
    return base::UTF8ToUTF16(GetProductName());
  if (name == u"Extension" || name == u"Protocol")
    return target_;
  return name;
}

std::vector<InstallLogRegistryKey>* BrowserRegistrationExpander::GetRegistryLog(
    RegistryRoot root) {
  return nullptr;
}

}  // namespace installer
