#include "base/win/startup_information.h"

#include <stdlib.h>
#include <string.h>

namespace base {
namespace win {

namespace {

using InitializeListFunction = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST,
                                             DWORD,
                                             DWORD,
                                             PSIZE_T);
using UpdateListFunction = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST,
                                         DWORD,
                                         DWORD_PTR,
                                         PVOID,
                                         SIZE_T,
                                         PVOID,
                                         PSIZE_T);
using DeleteListFunction = VOID(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST);

// Looked up by name so that the module still loads where kernel32 lacks
// them (before Vista).
struct AttributeListFunctions {
  InitializeListFunction initialize = nullptr;
  UpdateListFunction update = nullptr;
  DeleteListFunction remove = nullptr;
};

void* GetFunction(HMODULE module, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(module, name));
}

const AttributeListFunctions& GetAttributeListFunctions() {
  static const AttributeListFunctions functions = [] {
    AttributeListFunctions result;
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel32) {
      result.initialize = reinterpret_cast<InitializeListFunction>(
          GetFunction(kernel32, "InitializeProcThreadAttributeList"));
      result.update = reinterpret_cast<UpdateListFunction>(
          GetFunction(kernel32, "UpdateProcThreadAttribute"));
      result.remove = reinterpret_cast<DeleteListFunction>(
          GetFunction(kernel32, "DeleteProcThreadAttributeList"));
    }
    return result;
  }();
  return functions;
}

}  // namespace

StartupInformation::StartupInformation() : StartupInformation(GetVersion()) {}

StartupInformation::StartupInformation(OSInfo::Version version) {
  memset(&startup_info_, 0, sizeof(startup_info_));
  if (version >= OSInfo::VERSION_VISTA) {
    startup_info_.StartupInfo.cb = sizeof(STARTUPINFOEXW);
    GetAttributeListFunctions();
  } else {
    startup_info_.StartupInfo.cb = sizeof(STARTUPINFOW);
  }
}

StartupInformation::~StartupInformation() {
  if (attribute_list_) {
    GetAttributeListFunctions().remove(attribute_list_);
    free(attribute_list_);
  }
}

bool StartupInformation::IsExtended() const {
  return startup_info_.StartupInfo.cb == sizeof(STARTUPINFOEXW);
}

bool StartupInformation::InitializeProcThreadAttributeList(
    DWORD attribute_count) {
  const AttributeListFunctions& functions = GetAttributeListFunctions();
  if (!IsExtended() || attribute_list_ || !functions.initialize ||
      !functions.update || !functions.remove) {
    return false;
  }
  SIZE_T size = 0;
  functions.initialize(nullptr, attribute_count, 0, &size);
  if (size == 0)
    return false;
  auto list = static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(malloc(size));
  if (!list)
    return false;
  if (!functions.initialize(list, attribute_count, 0, &size)) {
    free(list);
    return false;
  }
  attribute_list_ = list;
  startup_info_.lpAttributeList = list;
  return true;
}

bool StartupInformation::UpdateProcThreadAttribute(DWORD_PTR attribute,
                                                   void* value,
                                                   size_t size) {
  if (!attribute_list_)
    return false;
  return !!GetAttributeListFunctions().update(attribute_list_, 0, attribute,
                                              value, size, nullptr, nullptr);
}

}  // namespace win
}  // namespace base
