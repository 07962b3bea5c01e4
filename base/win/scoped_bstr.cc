#include "base/win/scoped_bstr.h"

namespace base {
namespace win {

ScopedBstr::ScopedBstr(const wchar_t* text) {
  if (text)
    bstr_ = ::SysAllocString(text);
}

ScopedBstr::~ScopedBstr() {
  ::SysFreeString(bstr_);
}

}  // namespace win
}  // namespace base
