#include "desktop/windows/installer/branding.h"

#include <windows.h>

namespace installer {

namespace {

constexpr int kBrandingResourceId = 133;

// The text of the "TXT" resource 133 of |module|, by its recorded size (a
// resource carries no terminator of its own).
bool ReadBrandingResource(HMODULE module, std::string* text) {
  if (!module)
    return false;
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(kBrandingResourceId), L"TXT");
  if (!info)
    return false;
  HGLOBAL handle = LoadResource(module, info);
  DWORD size = SizeofResource(module, info);
  const void* data = handle ? LockResource(handle) : nullptr;
  if (!data)
    return false;
  text->assign(static_cast<const char*>(data), size);
  return true;
}

}  // namespace

std::string LoadBrandingText() {
  std::string text;
  if (ReadBrandingResource(GetModuleHandleW(nullptr), &text) ||
      ReadBrandingResource(GetModuleHandleW(L"_rivletlib.pyd"), &text)) {
    return text;
  }
  return std::string();
}

}  // namespace installer
