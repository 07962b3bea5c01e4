#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_DEFAULT_BROWSER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_DEFAULT_BROWSER_WIN_H_

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/strings/string16.h"
#include "base/win/windows_version.h"

#if NTDDI_VERSION < NTDDI_WIN8
// The SDK headers declare this interface for Windows 8 targets only; its
// layout is fixed.
typedef enum ACTIVATEOPTIONS {
  AO_NONE = 0x0,
  AO_DESIGNMODE = 0x1,
  AO_NOERRORUI = 0x2,
  AO_NOSPLASHSCREEN = 0x4
} ACTIVATEOPTIONS;

interface IApplicationActivationManager : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE ActivateApplication(
      LPCWSTR app_user_model_id,
      LPCWSTR arguments,
      ACTIVATEOPTIONS options,
      DWORD* process_id) = 0;
  virtual HRESULT STDMETHODCALLTYPE ActivateForFile(
      LPCWSTR app_user_model_id,
      IShellItemArray* items,
      LPCWSTR verb,
      DWORD* process_id) = 0;
  virtual HRESULT STDMETHODCALLTYPE ActivateForProtocol(
      LPCWSTR app_user_model_id,
      IShellItemArray* items,
      DWORD* process_id) = 0;
};
#endif

namespace installer {

// The shell's default-programs facilities that the default-browser
// registration drives. Tests put in their own, since not every system
// offers them.
class DefaultProgramsPlatform {
 public:
  virtual ~DefaultProgramsPlatform();

  virtual base::win::OSInfo::Version GetVersion();
  virtual HRESULT CreateAssociationRegistration(
      IApplicationAssociationRegistration** registration);
  virtual HRESULT CreateActivationManager(
      IApplicationActivationManager** manager);
  virtual HRESULT ShowOpenWithDialog(const OPENASINFO& info);
  virtual void NotifyAssociationChanged();
};

// The platform in use; |platform| (kept by the caller) replaces it, null
// puts the system's back.
DefaultProgramsPlatform* GetDefaultProgramsPlatform();
void SetDefaultProgramsPlatformForTesting(DefaultProgramsPlatform* platform);

// The command that opens the URL protocol or (when |name| begins with ".")
// the file extension |name|, for all users with |machine|.
bool GetDefaultHandlerCommand(const string16& name,
                              bool machine,
                              string16* command);

// Keeps |command| as the company key's "Previous Default Browser".
bool StorePreviousDefaultBrowser(const string16& command, bool machine);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_DEFAULT_BROWSER_WIN_H_
