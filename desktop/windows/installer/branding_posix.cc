#include "desktop/windows/installer/branding.h"

namespace installer {

// Host builds carry no resources.
std::string LoadBrandingText() {
  return std::string();
}

}  // namespace installer
