#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_BROWSER_REGISTRATION_EXPANDER_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_BROWSER_REGISTRATION_EXPANDER_H_

#include <vector>

#include "base/strings/string16.h"
#include "desktop/windows/installer/service/registry_entry.h"

namespace installer {

// Fills the variables of the browser-registration tables. Nothing these
// tables write goes to the install log.
class BrowserRegistrationExpander : public VariableExpander {
 public:
  // |target| is the protocol or extension being registered, empty for the
  // ProgId and Start-menu tables.
  BrowserRegistrationExpander(const string16& target,
                              const string16& install_folder);
  ~BrowserRegistrationExpander() override;

  // An unknown name comes back as it is, without its braces.
  string16 Expand(const string16& name) override;
  std::vector<InstallLogRegistryKey>* GetRegistryLog(
      RegistryRoot root) override;

 private:
  string16 target_;
  string16 install_folder_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_BROWSER_REGISTRATION_EXPANDER_H_
