#ifndef BASE_WIN_SCOPED_BSTR_H_
#define BASE_WIN_SCOPED_BSTR_H_

#include <windows.h>
#include <oleauto.h>

namespace base {
namespace win {

// Owns one BSTR, freed with SysFreeString. Not copyable.
class ScopedBstr {
 public:
  ScopedBstr() = default;
  // A SysAllocString copy of `text` (null stays null).
  explicit ScopedBstr(const wchar_t* text);
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ~ScopedBstr();

  BSTR Get() const { return bstr_; }

 private:
  BSTR bstr_ = nullptr;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_BSTR_H_
