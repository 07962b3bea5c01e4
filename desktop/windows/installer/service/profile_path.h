#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_PROFILE_PATH_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_PROFILE_PATH_H_

#include <string>

#include "base/files/file_path.h"
#include "base/strings/string16.h"

namespace installer {

// The placeholder a stored profile path carries for the user's name.
extern const char16 kUserNamePlaceholder[];

// The branding's default profile path (relative to the roaming application
// data) with every "{InternalStream}" replaced by |channel_name| and every
// "/" turned into "\".
std::string ExpandDefaultProfilePath(const std::string& path_template,
                                     const std::string& channel_name);

// |profile_path| with its first placeholder replaced by |user_name|.
string16 ReplaceUserNamePlaceholder(const string16& profile_path,
                                    const string16& user_name);

// Whether the placeholder of |profile_path| stands in its last component, so
// that the folder above holds every user's profile. False without one.
bool IsUserNameInLastComponent(const string16& profile_path);

// Whether |folder| may stand for a folder of browser data, which callers
// list and remove: absolute, below the root of a drive or a share, and with
// no name that Windows reads as the folder itself or its parent.
bool IsFolderBelowVolumeRoot(const base::FilePath& folder);

// The root of the drive or share that the absolute |path| lies on, with a
// trailing separator (C:\ or \\server\share\ or \\?\Volume{...}\ ); empty
// when |path| has none that IsFolderBelowVolumeRoot accepts.
string16 GetVolumeRoot(const base::FilePath& path);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_PROFILE_PATH_H_
