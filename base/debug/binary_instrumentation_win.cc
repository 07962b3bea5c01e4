#include "base/debug/binary_instrumentation.h"

#include <windows.h>
#include <string.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace base {
namespace debug {

namespace internal {

bool ImageHasInstrumentationSections(const void* image_base) {
  const auto* base = static_cast<const unsigned char*>(image_base);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE)
    return false;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE)
    return false;
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  bool thunks = false;
  bool instr = false;
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    // Section names are 8 bytes, NUL-padded only when shorter.
    char name[IMAGE_SIZEOF_SHORT_NAME + 1] = {};
    memcpy(name, section->Name, IMAGE_SIZEOF_SHORT_NAME);
    thunks = thunks || strcmp(name, ".thunks") == 0;
    instr = instr || strcmp(name, ".instr") == 0;
  }
  return thunks && instr;
}

}  // namespace internal

bool IsBinaryInstrumented() {
  static const bool instrumented = internal::ImageHasInstrumentationSections(&__ImageBase);
  return instrumented;
}

}  // namespace debug
}  // namespace base
