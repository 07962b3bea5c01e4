#ifndef BASE_WIN_SCOPED_VARIANT_H_
#define BASE_WIN_SCOPED_VARIANT_H_

#include <windows.h>
#include <oleauto.h>

namespace base {
namespace win {

// Owns one VARIANT, cleared with VariantClear. Not copyable.
class ScopedVariant {
 public:
  // VT_EMPTY.
  ScopedVariant();
  // VT_BSTR holding a SysAllocString copy of `text`.
  explicit ScopedVariant(const wchar_t* text);
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant();

  VARTYPE type() const { return var_.vt; }
  const VARIANT* ptr() const { return &var_; }
  VARIANT* AsInput() { return &var_; }
  // Clears the held value first, for APIs that fill a VARIANT.
  VARIANT* Receive();

 private:
  VARIANT var_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_VARIANT_H_
