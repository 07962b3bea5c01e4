#include "base/process/launch.h"

#include <userenv.h>

#include <utility>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/process/kill.h"
#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_process_information.h"
#include "base/win/startup_information.h"

namespace base {

namespace {

// The handle list attribute takes its size in a 32-bit field.
constexpr size_t kMaxHandlesToInherit = 0xFFFFFFFFu / sizeof(HANDLE);

// How long a child that could not be put into its job may take to end.
constexpr DWORD kJobFailureWaitMs = 60 * 1000;

wchar_t kEmptyDesktopName[] = L"";

// Restricts inheritance to `handles`, which must outlive the launch.
bool SetHandlesToInherit(std::vector<HANDLE>* handles,
                         win::StartupInformation* startup_info) {
  if (handles->size() > kMaxHandlesToInherit)
    return false;
  for (HANDLE handle : *handles) {
    CHECK(::SetHandleInformation(handle, HANDLE_FLAG_INHERIT,
                                 HANDLE_FLAG_INHERIT));
  }
  if (!startup_info->IsExtended() || startup_info->HasAttributeList())
    return false;
  if (!startup_info->InitializeProcThreadAttributeList(1))
    return false;
  return startup_info->UpdateProcThreadAttribute(
      PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles->data(),
      handles->size() * sizeof(HANDLE));
}

bool CreateProcessFor(const LaunchOptions& options,
                      const std::wstring& cmdline,
                      win::StartupInformation* startup_info,
                      bool inherit_handles,
                      DWORD flags,
                      PROCESS_INFORMATION* info) {
  // CreateProcessW may write into the command line.
  std::wstring writable_cmdline = cmdline;
  const wchar_t* current_directory =
      options.current_directory.empty()
          ? nullptr
          : as_wcstr(options.current_directory.value());

  if (options.as_user) {
    void* environment = nullptr;
    if (!::CreateEnvironmentBlock(&environment, options.as_user, FALSE))
      return false;
    const BOOL created = ::CreateProcessAsUserW(
        options.as_user, nullptr, &writable_cmdline[0], nullptr, nullptr,
        inherit_handles, flags | CREATE_UNICODE_ENVIRONMENT, environment,
        current_directory, startup_info->startup_info(), info);
    ::DestroyEnvironmentBlock(environment);
    return !!created;
  }
  return !!::CreateProcessW(nullptr, &writable_cmdline[0], nullptr, nullptr,
                            inherit_handles, flags, nullptr, current_directory,
                            startup_info->startup_info(), info);
}

}  // namespace

LaunchOptions::LaunchOptions() = default;
LaunchOptions::~LaunchOptions() = default;

namespace internal {

bool PrepareLaunch(const LaunchOptions& options,
                   win::OSInfo::Version version,
                   win::StartupInformation* startup_info,
                   bool* inherit_handles,
                   DWORD* flags) {
  *inherit_handles = options.inherit_handles;
  *flags = 0;

  if (options.handles_to_inherit) {
    if (options.handles_to_inherit->empty()) {
      *inherit_handles = false;
    } else {
      if (!SetHandlesToInherit(options.handles_to_inherit, startup_info))
        return false;
      *inherit_handles = true;
      *flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
  }

  STARTUPINFOW* startup = startup_info->startup_info();
  if (options.empty_desktop_name)
    startup->lpDesktop = kEmptyDesktopName;
  startup->dwFlags |= STARTF_USESHOWWINDOW;
  startup->wShowWindow = options.start_hidden ? SW_HIDE : SW_SHOW;

  if (options.stdin_handle || options.stdout_handle || options.stderr_handle) {
    startup->dwFlags |= STARTF_USESTDHANDLES;
    startup->hStdInput = options.stdin_handle;
    startup->hStdOutput = options.stdout_handle;
    startup->hStdError = options.stderr_handle;
  }

  if (options.job_handle) {
    *flags |= CREATE_SUSPENDED;
    // Before Windows 8 a process can be in one job only, so it must leave
    // the caller's job to enter the given one.
    if (version < win::OSInfo::VERSION_WIN8)
      *flags |= CREATE_BREAKAWAY_FROM_JOB;
  }
  if (options.force_breakaway_from_job)
    *flags |= CREATE_BREAKAWAY_FROM_JOB;
  return true;
}

}  // namespace internal

Process LaunchProcess(const CommandLine& cmdline, const LaunchOptions& options) {
  return LaunchProcessString(as_wcstr(cmdline.GetCommandLineString()),
                             options);
}

Process LaunchProcessString(const std::wstring& cmdline,
                            const LaunchOptions& options) {
  const win::OSInfo::Version version = win::GetVersion();
  win::StartupInformation startup_info(version);
  bool inherit_handles = false;
  DWORD flags = 0;
  if (!internal::PrepareLaunch(options, version, &startup_info,
                               &inherit_handles, &flags)) {
    return Process();
  }

  PROCESS_INFORMATION temp_info = {};
  if (!CreateProcessFor(options, cmdline, &startup_info, inherit_handles,
                        flags, &temp_info)) {
    return Process();
  }
  win::ScopedProcessInformation process_info(temp_info);

  if (options.job_handle) {
    if (!::AssignProcessToJobObject(options.job_handle,
                                    process_info.process_handle())) {
      Process process(process_info.TakeProcessHandle());
      if (::TerminateProcess(process.Handle(), 1))
        ::WaitForSingleObject(process.Handle(), kJobFailureWaitMs);
      return Process();
    }
    ::ResumeThread(process_info.thread_handle());
  }

  if (options.wait)
    ::WaitForSingleObject(process_info.process_handle(), INFINITE);

  return Process(process_info.TakeProcessHandle());
}

bool GetAppOutput(const CommandLine& cmdline, std::string* output) {
  SECURITY_ATTRIBUTES security = {};
  security.nLength = sizeof(security);
  security.bInheritHandle = TRUE;
  HANDLE read_handle = nullptr;
  HANDLE write_handle = nullptr;
  if (!::CreatePipe(&read_handle, &write_handle, &security, 0))
    return false;
  win::ScopedHandle out_read(read_handle);
  win::ScopedHandle out_write(write_handle);

  // Only the child's end may be inherited.
  if (!::SetHandleInformation(out_read.Get(), HANDLE_FLAG_INHERIT, 0))
    return false;

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out_write.Get();
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);

  std::wstring writable_cmdline = as_wcstr(cmdline.GetCommandLineString());
  PROCESS_INFORMATION temp_info = {};
  if (!::CreateProcessW(nullptr, &writable_cmdline[0], nullptr, nullptr, TRUE,
                        0, nullptr, nullptr, &startup, &temp_info)) {
    return false;
  }
  win::ScopedProcessInformation process_info(temp_info);

  // Reading ends once the child and whatever it started close their copies.
  out_write.Close();

  char buffer[1024];
  for (;;) {
    DWORD bytes_read = 0;
    if (!::ReadFile(out_read.Get(), buffer, sizeof(buffer), &bytes_read,
                    nullptr) ||
        bytes_read == 0) {
      break;
    }
    output->append(buffer, bytes_read);
  }

  ::WaitForSingleObject(process_info.process_handle(), INFINITE);
  const TerminationStatus status =
      GetTerminationStatus(process_info.process_handle(), nullptr);
  return status != TERMINATION_STATUS_ABNORMAL_TERMINATION &&
         status != TERMINATION_STATUS_PROCESS_CRASHED;
}

}  // namespace base
