#ifndef BASE_WIN_SHORTCUT_H_
#define BASE_WIN_SHORTCUT_H_

#include <windows.h>
#include <objidl.h>
#include <propsys.h>
#include <shobjidl.h>

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"
#include "base/win/windows_version.h"

namespace base {
namespace win {

enum ShortcutOperation {
  // Writes a new link, replacing any file at the path.
  SHORTCUT_CREATE_ALWAYS = 0,
  // Writes a new link over an existing one, keeping its arguments unless
  // new ones are given.
  SHORTCUT_REPLACE_EXISTING = 1,
  // Loads the existing link and changes only the given fields.
  SHORTCUT_UPDATE_EXISTING = 2,
};

// The fields of a shell link. A field is written, or was read, exactly when
// its bit is set in `options`; the setters set both.
struct ShortcutProperties {
  enum IndividualProperties : uint32_t {
    PROPERTIES_TARGET = 1 << 0,
    PROPERTIES_WORKING_DIR = 1 << 1,
    PROPERTIES_ARGUMENTS = 1 << 2,
    PROPERTIES_DESCRIPTION = 1 << 3,
    PROPERTIES_ICON = 1 << 4,
    PROPERTIES_APP_ID = 1 << 5,
    PROPERTIES_DUAL_MODE = 1 << 6,
  };

  ShortcutProperties();
  ~ShortcutProperties();

  void set_target(const FilePath& value);
  void set_working_dir(const FilePath& value);
  void set_arguments(const std::wstring& value);
  void set_description(const std::wstring& value);
  void set_icon(const FilePath& path, int index);
  void set_app_id(const std::wstring& value);
  void set_dual_mode(bool value);

  FilePath target;
  FilePath working_dir;
  std::wstring arguments;
  std::wstring description;
  FilePath icon;
  int icon_index = -1;
  std::wstring app_id;
  bool dual_mode = false;
  uint32_t options = 0;
};

// Writes the link at `shortcut_path` as `operation` says. Nothing is saved
// unless every requested field could be set. COM must be initialised on
// the calling thread.
bool CreateOrUpdateShortcutLink(const FilePath& shortcut_path,
                                const ShortcutProperties& properties,
                                ShortcutOperation operation);

// Reads the fields named by `options` into `properties`, whose `options`
// then say which were read.
bool ResolveShortcutProperties(const FilePath& shortcut_path,
                               uint32_t options,
                               ShortcutProperties* properties);

// Reads the link's target; `target` may be null to only test that the link
// loads.
bool ResolveShortcut(const FilePath& shortcut_path, FilePath* target);

// Pinning by verb works on Windows 7, 8 and 8.1 only.
bool CanPinShortcutToTaskbar();

// Ask CanPinShortcutToTaskbar first: these test no version themselves.
bool TaskbarPinShortcutLink(const FilePath& shortcut);
bool TaskbarUnpinShortcutLink(const FilePath& shortcut);

// Releases what the two pointers hold, then creates a shell link and its
// file interface, loading `shortcut` when it is not null. On failure both
// are null.
HRESULT InitializeShortcutInterfaces(const wchar_t* shortcut,
                                     IShellLinkW** i_shell_link,
                                     IPersistFile** i_persist_file);

// Sets one property and commits the store.
bool SetStringValueForPropertyStore(IPropertyStore* property_store,
                                    const PROPERTYKEY& key,
                                    const wchar_t* value);
bool SetBooleanValueForPropertyStore(IPropertyStore* property_store,
                                     const PROPERTYKEY& key,
                                     bool value);

namespace internal {

// The version rule of CanPinShortcutToTaskbar.
bool CanPinShortcutToTaskbarOn(OSInfo::Version version);

// The app id and dual-mode fields of `properties` whose bits are set, into
// and out of a link's property store.
bool WriteAppIdProperties(IPropertyStore* property_store,
                          const ShortcutProperties& properties);
bool ReadAppIdProperties(IPropertyStore* property_store,
                         uint32_t options,
                         ShortcutProperties* properties);

}  // namespace internal

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SHORTCUT_H_
