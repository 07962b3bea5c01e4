#ifndef BASE_WIN_STARTUP_INFORMATION_H_
#define BASE_WIN_STARTUP_INFORMATION_H_

#include <windows.h>

#include "base/win/windows_version.h"

namespace base {
namespace win {

// The startup record of a new process. From Vista on it is the extended
// record, which can carry an attribute list; before that the plain one.
class StartupInformation {
 public:
  // Sized for the running Windows.
  StartupInformation();
  // Sized for `version`; the decision apart from the version query.
  explicit StartupInformation(OSInfo::Version version);
  StartupInformation(const StartupInformation&) = delete;
  StartupInformation& operator=(const StartupInformation&) = delete;
  ~StartupInformation();

  bool IsExtended() const;
  bool HasAttributeList() const { return attribute_list_ != nullptr; }

  // Allocates and initialises a list for `attribute_count` attributes.
  // Fails on the plain record, when a list exists already, or when the
  // system refuses.
  bool InitializeProcThreadAttributeList(DWORD attribute_count);
  // Adds one attribute to the list; `value` must outlive the process
  // creation.
  bool UpdateProcThreadAttribute(DWORD_PTR attribute, void* value, size_t size);

  STARTUPINFOW* startup_info() { return &startup_info_.StartupInfo; }
  const STARTUPINFOW* startup_info() const { return &startup_info_.StartupInfo; }

 private:
  STARTUPINFOEXW startup_info_;
  LPPROC_THREAD_ATTRIBUTE_LIST attribute_list_ = nullptr;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_STARTUP_INFORMATION_H_
