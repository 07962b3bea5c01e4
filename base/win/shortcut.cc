#include "base/win/shortcut.h"

#include <shellapi.h>
#include <shlobj.h>
#include <propvarutil.h>
#include <wrl/client.h>

#include "base/strings/string16.h"

using Microsoft::WRL::ComPtr;

namespace base {
namespace win {

namespace {

const PROPERTYKEY kAppUserModelIdKey = {
    {0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}},
    5};
const PROPERTYKEY kAppUserModelIsDualModeKey = {
    {0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}},
    11};

// Paths are read into buffers of the classic path limit.
constexpr int kPathBufferSize = MAX_PATH;
// Arguments and descriptions may be longer than a path; the shell keeps up
// to this many characters of them, and a shorter buffer cuts them silently.
constexpr int kTextBufferSize = 1024;

// Reads one text field through `getter`, which fills a buffer of `size`
// characters.
template <typename Getter>
bool ReadText(int size, Getter getter, std::wstring* value) {
  std::wstring buffer(size, L'\0');
  if (FAILED(getter(&buffer[0], size)))
    return false;
  buffer[size - 1] = L'\0';
  *value = buffer.c_str();
  return true;
}

FilePath ToFilePath(const std::wstring& text) {
  return FilePath(as_u16cstr(text.c_str()));
}

const wchar_t* AsWide(const FilePath& path) {
  return as_wcstr(path.value());
}

bool SetValueAndCommit(IPropertyStore* property_store,
                       const PROPERTYKEY& key,
                       PROPVARIANT* value) {
  HRESULT hr = property_store->SetValue(key, *value);
  if (SUCCEEDED(hr))
    hr = property_store->Commit();
  ::PropVariantClear(value);
  return SUCCEEDED(hr);
}

bool ShellLinkFieldsWritten(IShellLinkW* link,
                            IShellLinkW* old_link,
                            const ShortcutProperties& properties) {
  const uint32_t options = properties.options;
  if ((options & ShortcutProperties::PROPERTIES_TARGET) &&
      FAILED(link->SetPath(AsWide(properties.target)))) {
    return false;
  }
  if ((options & ShortcutProperties::PROPERTIES_WORKING_DIR) &&
      FAILED(link->SetWorkingDirectory(AsWide(properties.working_dir)))) {
    return false;
  }
  if (options & ShortcutProperties::PROPERTIES_ARGUMENTS) {
    if (FAILED(link->SetArguments(properties.arguments.c_str())))
      return false;
  } else if (old_link) {
    // Carried over on a best-effort basis: a link without arguments is
    // still a good link.
    std::wstring old_arguments;
    if (ReadText(kTextBufferSize,
                 [old_link](wchar_t* buffer, int size) {
                   return old_link->GetArguments(buffer, size);
                 },
                 &old_arguments)) {
      link->SetArguments(old_arguments.c_str());
    }
  }
  if ((options & ShortcutProperties::PROPERTIES_DESCRIPTION) &&
      FAILED(link->SetDescription(properties.description.c_str()))) {
    return false;
  }
  if ((options & ShortcutProperties::PROPERTIES_ICON) &&
      FAILED(link->SetIconLocation(AsWide(properties.icon),
                                   properties.icon_index))) {
    return false;
  }
  return true;
}

bool HasAppIdOptions(uint32_t options) {
  return options & (ShortcutProperties::PROPERTIES_APP_ID |
                    ShortcutProperties::PROPERTIES_DUAL_MODE);
}

bool ReadShellLinkFields(IShellLinkW* link,
                         uint32_t options,
                         ShortcutProperties* properties) {
  std::wstring text;
  if (options & ShortcutProperties::PROPERTIES_TARGET) {
    if (!ReadText(kPathBufferSize,
                  [link](wchar_t* buffer, int size) {
                    return link->GetPath(buffer, size, nullptr, SLGP_RAWPATH);
                  },
                  &text)) {
      return false;
    }
    properties->set_target(ToFilePath(text));
  }
  if (options & ShortcutProperties::PROPERTIES_WORKING_DIR) {
    if (!ReadText(kPathBufferSize,
                  [link](wchar_t* buffer, int size) {
                    return link->GetWorkingDirectory(buffer, size);
                  },
                  &text)) {
      return false;
    }
    properties->set_working_dir(ToFilePath(text));
  }
  if (options & ShortcutProperties::PROPERTIES_ARGUMENTS) {
    if (!ReadText(kTextBufferSize,
                  [link](wchar_t* buffer, int size) {
                    return link->GetArguments(buffer, size);
                  },
                  &text)) {
      return false;
    }
    properties->set_arguments(text);
  }
  if (options & ShortcutProperties::PROPERTIES_DESCRIPTION) {
    if (!ReadText(kTextBufferSize,
                  [link](wchar_t* buffer, int size) {
                    return link->GetDescription(buffer, size);
                  },
                  &text)) {
      return false;
    }
    properties->set_description(text);
  }
  if (options & ShortcutProperties::PROPERTIES_ICON) {
    int index = 0;
    if (!ReadText(kPathBufferSize,
                  [link, &index](wchar_t* buffer, int size) {
                    return link->GetIconLocation(buffer, size, &index);
                  },
                  &text)) {
      return false;
    }
    properties->set_icon(ToFilePath(text), index);
  }
  return true;
}

bool TaskbarVerb(const FilePath& shortcut, const wchar_t* verb) {
  const INT_PTR result = reinterpret_cast<INT_PTR>(::ShellExecuteW(
      nullptr, verb, AsWide(shortcut), nullptr, nullptr, 0));
  return result > 32;
}

}  // namespace

ShortcutProperties::ShortcutProperties() = default;
ShortcutProperties::~ShortcutProperties() = default;

void ShortcutProperties::set_target(const FilePath& value) {
  target = value;
  options |= PROPERTIES_TARGET;
}

void ShortcutProperties::set_working_dir(const FilePath& value) {
  working_dir = value;
  options |= PROPERTIES_WORKING_DIR;
}

void ShortcutProperties::set_arguments(const std::wstring& value) {
  arguments = value;
  options |= PROPERTIES_ARGUMENTS;
}

void ShortcutProperties::set_description(const std::wstring& value) {
  description = value;
  options |= PROPERTIES_DESCRIPTION;
}

void ShortcutProperties::set_icon(const FilePath& path, int index) {
  icon = path;
  icon_index = index;
  options |= PROPERTIES_ICON;
}

void ShortcutProperties::set_app_id(const std::wstring& value) {
  app_id = value;
  options |= PROPERTIES_APP_ID;
}

void ShortcutProperties::set_dual_mode(bool value) {
  dual_mode = value;
  options |= PROPERTIES_DUAL_MODE;
}

HRESULT InitializeShortcutInterfaces(const wchar_t* shortcut,
                                     IShellLinkW** i_shell_link,
                                     IPersistFile** i_persist_file) {
  if (*i_shell_link) {
    (*i_shell_link)->Release();
    *i_shell_link = nullptr;
  }
  if (*i_persist_file) {
    (*i_persist_file)->Release();
    *i_persist_file = nullptr;
  }

  ComPtr<IShellLinkW> link;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr,
                                  CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(link.GetAddressOf()));
  if (FAILED(hr))
    return hr;
  ComPtr<IPersistFile> persist;
  hr = link.As(&persist);
  if (FAILED(hr))
    return hr;
  if (shortcut) {
    hr = persist->Load(shortcut, STGM_READWRITE);
    if (FAILED(hr))
      return hr;
  }
  *i_shell_link = link.Detach();
  *i_persist_file = persist.Detach();
  return S_OK;
}

bool SetStringValueForPropertyStore(IPropertyStore* property_store,
                                    const PROPERTYKEY& key,
                                    const wchar_t* value) {
  PROPVARIANT property;
  if (FAILED(::InitPropVariantFromString(value, &property)))
    return false;
  return SetValueAndCommit(property_store, key, &property);
}

bool SetBooleanValueForPropertyStore(IPropertyStore* property_store,
                                     const PROPERTYKEY& key,
                                     bool value) {
  PROPVARIANT property;
  ::PropVariantInit(&property);
  property.vt = VT_BOOL;
  property.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return SetValueAndCommit(property_store, key, &property);
}

bool CreateOrUpdateShortcutLink(const FilePath& shortcut_path,
                                const ShortcutProperties& properties,
                                ShortcutOperation operation) {
  if (operation != SHORTCUT_UPDATE_EXISTING &&
      !(properties.options & ShortcutProperties::PROPERTIES_TARGET)) {
    return false;
  }
  const wchar_t* path = AsWide(shortcut_path);
  const bool shortcut_existed =
      ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;

  ComPtr<IShellLinkW> old_link;
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> persist;
  switch (operation) {
    case SHORTCUT_CREATE_ALWAYS:
      InitializeShortcutInterfaces(nullptr, link.GetAddressOf(),
                                   persist.GetAddressOf());
      break;
    case SHORTCUT_REPLACE_EXISTING: {
      ComPtr<IPersistFile> old_persist;
      InitializeShortcutInterfaces(path, old_link.GetAddressOf(),
                                   old_persist.GetAddressOf());
      if (!old_persist)
        return false;
      InitializeShortcutInterfaces(nullptr, link.GetAddressOf(),
                                   persist.GetAddressOf());
      break;
    }
    case SHORTCUT_UPDATE_EXISTING:
      InitializeShortcutInterfaces(path, link.GetAddressOf(),
                                   persist.GetAddressOf());
      break;
    default:
      return false;
  }
  if (!persist)
    return false;

  if (!ShellLinkFieldsWritten(link.Get(), old_link.Get(), properties))
    return false;

  if (HasAppIdOptions(properties.options) &&
      GetVersion() >= OSInfo::VERSION_WIN7) {
    ComPtr<IPropertyStore> property_store;
    if (FAILED(link.As(&property_store)) ||
        !internal::WriteAppIdProperties(property_store.Get(), properties)) {
      return false;
    }
  }

  old_link.Reset();
  const bool saved = SUCCEEDED(persist->Save(path, TRUE));
  persist.Reset();
  link.Reset();

  if (saved) {
    if (shortcut_existed)
      ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    else
      ::SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW, path, nullptr);
  }
  return saved;
}

bool ResolveShortcutProperties(const FilePath& shortcut_path,
                               uint32_t options,
                               ShortcutProperties* properties) {
  ComPtr<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(link.GetAddressOf())))) {
    return false;
  }
  ComPtr<IPersistFile> persist;
  if (FAILED(link.As(&persist)) ||
      FAILED(persist->Load(AsWide(shortcut_path), STGM_READ))) {
    return false;
  }
  properties->options = 0;

  if (!ReadShellLinkFields(link.Get(), options, properties))
    return false;

  if (HasAppIdOptions(options) && GetVersion() >= OSInfo::VERSION_WIN7) {
    ComPtr<IPropertyStore> property_store;
    if (FAILED(link.As(&property_store)) ||
        !internal::ReadAppIdProperties(property_store.Get(), options,
                                       properties)) {
      return false;
    }
  }
  return true;
}

bool ResolveShortcut(const FilePath& shortcut_path, FilePath* target) {
  ShortcutProperties properties;
  const uint32_t options =
      target ? ShortcutProperties::PROPERTIES_TARGET : 0;
  if (!ResolveShortcutProperties(shortcut_path, options, &properties))
    return false;
  if (target)
    *target = properties.target;
  return true;
}

bool CanPinShortcutToTaskbar() {
  return internal::CanPinShortcutToTaskbarOn(GetVersion());
}

bool TaskbarPinShortcutLink(const FilePath& shortcut) {
  return TaskbarVerb(shortcut, L"taskbarpin");
}

bool TaskbarUnpinShortcutLink(const FilePath& shortcut) {
  if (GetVersion() < OSInfo::VERSION_WIN7)
    return false;
  return TaskbarVerb(shortcut, L"taskbarunpin");
}

namespace internal {

bool CanPinShortcutToTaskbarOn(OSInfo::Version version) {
  return version >= OSInfo::VERSION_WIN7 && version < OSInfo::VERSION_WIN10;
}

bool WriteAppIdProperties(IPropertyStore* property_store,
                          const ShortcutProperties& properties) {
  if ((properties.options & ShortcutProperties::PROPERTIES_APP_ID) &&
      !SetStringValueForPropertyStore(property_store, kAppUserModelIdKey,
                                      properties.app_id.c_str())) {
    return false;
  }
  if ((properties.options & ShortcutProperties::PROPERTIES_DUAL_MODE) &&
      !SetBooleanValueForPropertyStore(property_store,
                                       kAppUserModelIsDualModeKey,
                                       properties.dual_mode)) {
    return false;
  }
  return true;
}

bool ReadAppIdProperties(IPropertyStore* property_store,
                         uint32_t options,
                         ShortcutProperties* properties) {
  if (options & ShortcutProperties::PROPERTIES_APP_ID) {
    PROPVARIANT value;
    ::PropVariantInit(&value);
    bool ok = SUCCEEDED(property_store->GetValue(kAppUserModelIdKey, &value));
    if (ok && value.vt == VT_EMPTY)
      properties->set_app_id(std::wstring());
    else if (ok && value.vt == VT_LPWSTR)
      properties->set_app_id(value.pwszVal ? value.pwszVal : L"");
    else
      ok = false;
    ::PropVariantClear(&value);
    if (!ok)
      return false;
  }
  if (options & ShortcutProperties::PROPERTIES_DUAL_MODE) {
    PROPVARIANT value;
    ::PropVariantInit(&value);
    bool ok =
        SUCCEEDED(property_store->GetValue(kAppUserModelIsDualModeKey, &value));
    if (ok && value.vt == VT_EMPTY)
      properties->set_dual_mode(false);
    else if (ok && value.vt == VT_BOOL)
      properties->set_dual_mode(value.boolVal == VARIANT_TRUE);
    else
      ok = false;
    ::PropVariantClear(&value);
    if (!ok)
      return false;
  }
  return true;
}

}  // namespace internal

}  // namespace win
}  // namespace base
