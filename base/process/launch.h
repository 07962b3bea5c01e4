#ifndef BASE_PROCESS_LAUNCH_H_
#define BASE_PROCESS_LAUNCH_H_

#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/process/process.h"
#include "base/win/windows_version.h"

namespace base {

class CommandLine;

namespace win {
class StartupInformation;
}

// How LaunchProcess starts a child. Everything is off or empty by default.
struct LaunchOptions {
  LaunchOptions();
  ~LaunchOptions();

  // Wait without limit for the child to end before returning.
  bool wait = false;
  // The child's current directory; empty means the caller's.
  FilePath current_directory;
  // SW_HIDE instead of SW_SHOW as the child's show command.
  bool start_hidden = false;
  // When set, exactly these handles are inherited; an empty vector means
  // none. The vector must outlive the launch.
  std::vector<HANDLE>* handles_to_inherit = nullptr;
  // Inherit every inheritable handle (when `handles_to_inherit` is null).
  bool inherit_handles = false;
  // A user token: the child runs as that user, with that user's
  // environment.
  HANDLE as_user = nullptr;
  // The child starts with the empty string as its desktop name.
  bool empty_desktop_name = false;
  // A job the child is put into before it runs.
  HANDLE job_handle = nullptr;
  // The child's standard handles; any non-null one hands over all three.
  HANDLE stdin_handle = nullptr;
  HANDLE stdout_handle = nullptr;
  HANDLE stderr_handle = nullptr;
  // Create the child outside the caller's job.
  bool force_breakaway_from_job = false;
};

// Starts `cmdline`. An invalid Process on failure; nothing is logged, the
// caller logs with the last error.
Process LaunchProcess(const CommandLine& cmdline, const LaunchOptions& options);
Process LaunchProcessString(const std::wstring& cmdline,
                            const LaunchOptions& options);

// Runs `cmdline` and appends its standard output to `output`. False when it
// cannot be started or ends abnormally or by a crash; a killed child counts
// as success.
bool GetAppOutput(const CommandLine& cmdline, std::string* output);

namespace internal {

// The startup record, inheritance and creation flags for `options` on
// Windows `version`; false when the options cannot be met there.
bool PrepareLaunch(const LaunchOptions& options,
                   win::OSInfo::Version version,
                   win::StartupInformation* startup_info,
                   bool* inherit_handles,
                   DWORD* flags);

}  // namespace internal

}  // namespace base

#endif  // BASE_PROCESS_LAUNCH_H_
