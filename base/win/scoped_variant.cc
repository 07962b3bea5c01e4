#include "base/win/scoped_variant.h"

namespace base {
namespace win {

ScopedVariant::ScopedVariant() {
  ::VariantInit(&var_);
}

ScopedVariant::ScopedVariant(const wchar_t* text) {
  ::VariantInit(&var_);
  var_.vt = VT_BSTR;
  var_.bstrVal = ::SysAllocString(text);
}

ScopedVariant::~ScopedVariant() {
  ::VariantClear(&var_);
}

VARIANT* ScopedVariant::Receive() {
  ::VariantClear(&var_);
  return &var_;
}

}  // namespace win
}  // namespace base
