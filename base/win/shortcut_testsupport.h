#ifndef BASE_WIN_SHORTCUT_TESTSUPPORT_H_
#define BASE_WIN_SHORTCUT_TESTSUPPORT_H_

#include <windows.h>

namespace base {
namespace win {

// While it lives, shell links created in this process are the platform's
// links wrapped in an object whose IPropertyStore keeps its values in
// memory, by saved file, and hands them back when that file is loaded.
// It stands in where the platform's store keeps no AppUserModel values.
class ScopedRecordingShellLinkClass {
 public:
  ScopedRecordingShellLinkClass();
  ScopedRecordingShellLinkClass(const ScopedRecordingShellLinkClass&) = delete;
  ScopedRecordingShellLinkClass& operator=(
      const ScopedRecordingShellLinkClass&) = delete;
  ~ScopedRecordingShellLinkClass();

  bool registered() const { return cookie_ != 0; }

 private:
  DWORD cookie_ = 0;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SHORTCUT_TESTSUPPORT_H_
