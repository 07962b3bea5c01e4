#include "desktop/windows/installer/service/task_scheduler_v1_win.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <mstask.h>
#include <wrl/client.h>

#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_log_capture_testsupport.h"
#include "desktop/windows/installer/branding.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"

using Microsoft::WRL::ComPtr;

namespace installer {
namespace {

string16 U16(const char* text) {
  return base::UTF8ToUTF16(text);
}

// A program that exists in every prefix, and one that does not.
const wchar_t kPresentProgram[] = L"C:\\windows\\system32\\cmd.exe";
const wchar_t kMissingProgram[] = L"C:\\no such folder\\launcher.exe";

// Wine gaps of Task Scheduler 1.0 (see the design notes). A test checks
// what such a gap hides last, and skips there under Wine.
const char kTriggerlessJobGap[] =
    "Wine gap: a job saved without triggers reads back with one";
const char kDisabledStatusGap[] =
    "Wine gap: a job's status ignores TASK_FLAG_DISABLED";

// The system's own |function| of kernel32.dll.
#define SYSTEM(function) \
  platform_rules::SystemEntry<decltype(&::function)>("kernel32.dll", #function)

// While set, reading the attributes of the missing program fails with
// this error instead.
DWORD g_missing_program_error = 0;

DWORD WINAPI MissingProgramAttributes(const wchar_t* path) {
  if (g_missing_program_error && wcscmp(path, kMissingProgram) == 0) {
    ::SetLastError(g_missing_program_error);
    return INVALID_FILE_ATTRIBUTES;
  }
  return SYSTEM(GetFileAttributesW)(path);
}

BOOL WINAPI NoLocalTime(const TIME_ZONE_INFORMATION*, const SYSTEMTIME*, SYSTEMTIME*) {
  ::SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

// The last job put in place by name, and its flags just before.
std::wstring g_moved_job;
DWORD g_moved_job_flags = 0;

// Notes the job saved at |path| and its flags, read from the file (the
// scheduler does not open a job someone holds for deletion).
void NoteJob(const wchar_t* path) {
  g_moved_job = as_wcstr(base::FilePath(as_u16cstr(path)).BaseName().RemoveExtension().value());
  HANDLE job = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD read = 0;
  // Where the job file format keeps the flags.
  ::SetFilePointer(job, 0x30, nullptr, FILE_BEGIN);
  ::ReadFile(job, &g_moved_job_flags, sizeof(g_moved_job_flags), &read, nullptr);
  ::CloseHandle(job);
}

// While |g_delete_fails| is set, a move fails for want of room as another program tries to hold
// the new job without sharing its deletion, and so does the scheduler's next delete of a file
// (which clears it); so does deletion through a handle while |g_handle_delete_fails| is set.
bool g_delete_fails = false;
bool g_handle_delete_fails = false;
HANDLE g_held = INVALID_HANDLE_VALUE;
BOOL WINAPI RecordMovedJob(const wchar_t* from, const wchar_t* to, DWORD flags) {
  NoteJob(from);
  if (!g_delete_fails)
    return SYSTEM(MoveFileExW)(from, to, flags);
  g_held = ::CreateFileW(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ::SetLastError(ERROR_DISK_FULL);
  return FALSE;
}
BOOL WINAPI FailDeleteOnce(const wchar_t* path) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  return !std::exchange(g_delete_fails, false) && SYSTEM(DeleteFileW)(path);
}
BOOL WINAPI FailHandleDelete(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, void* data, DWORD size) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  return !g_handle_delete_fails && SYSTEM(SetFileInformationByHandle)(file, type, data, size);
}

// The scheduler's own opens of job files while another program (its
// service, say) holds each saved one: the next |g_held_opens| opens.
int g_held_opens = 0;
HANDLE WINAPI HeldSavedJobs(const wchar_t* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* sa,
                            DWORD disposition, DWORD flags, HANDLE model) {
  if ((access & (GENERIC_WRITE | FILE_WRITE_DATA)) &&
      ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES && g_held_opens-- > 0) {
    NoteJob(path);
    ::SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  return SYSTEM(CreateFileW)(path, access, share, sa, disposition, flags, model);
}

// Whether the access list of the file |path| lets all users read and run it.
bool GrantsAllUsers(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  wchar_t* text = nullptr;
  ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, nullptr, nullptr, &descriptor);
  ::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                         DACL_SECURITY_INFORMATION, &text, nullptr);
  const bool granted = text && wcsstr(text, L"(A;;GXGR;;;AU)");
  ::LocalFree(text);
  ::LocalFree(descriptor);
  return granted;
}

class TaskSchedulerV1Test : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(scheduler_.Init());
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(
        CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
        reinterpret_cast<void**>(raw_scheduler_.GetAddressOf()))));
  }

  void TearDown() override {
    for (const string16& id : ids_)
      RemoveUntilGone(id, [this, &id] { scheduler_.DeleteTask(id); });
    for (const std::wstring& name : foreign_jobs_) {
      for (int i = 0; i < 200 && FAILED(raw_scheduler_->Delete(name.c_str())); ++i)
        ::Sleep(25);
    }
    raw_scheduler_.Reset();
    ::CoUninitialize();
  }

  // Wine's scheduler service opens every job file that is saved, some time
  // after the save; a delete that meets it fails with a sharing violation,
  // which the product rightly ignores. Under Wine |remove| is asked again,
  // a bounded number of times, until the task |id| is gone; Windows must
  // remove it at the first call.
  template <typename Remove>
  void RemoveUntilGone(const string16& id, Remove remove) {
    const int tries = base::IsRunningUnderWine() ? 200 : 1;
    for (int i = 0; i < tries; ++i) {
      if (i)
        ::Sleep(25);
      remove();
      if (scheduler_.GetState(id) == TASK_STATE_NOT_FOUND)
        return;
    }
  }

  // Wine's service opens a job some time after it is saved. Under Wine,
  // waits (a bounded number of times) until no one else has the job of |id|
  // open, so that what follows meets it alone.
  void WaitUntilJobIsFree(const string16& id) {
    if (!base::IsRunningUnderWine())
      return;
    const std::wstring job_path = JobPath(OpenJob(id).Get());
    for (int i = 0; i < 200; ++i) {
      HANDLE job = ::CreateFileW(job_path.c_str(), GENERIC_READ, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
      if (job != INVALID_HANDLE_VALUE) {
        ::CloseHandle(job);
        return;
      }
      ::Sleep(25);
    }
  }

  // A fresh id per test; every task made under it goes at the end.
  string16 Id(const char* suffix) {
    ids_.push_back(U16("Test v1 ") + U16(suffix));
    return ids_.back();
  }

  ScheduledTaskInfo Info(const string16& id, const wchar_t* program,
                         ScheduledTaskMode mode, bool logon_trigger) {
    base::CommandLine command(base::FilePath(as_u16cstr(program)));
    command.AppendSwitch("scheduledautoupdate");
    command.AppendArg("$(Arg0)");
    ScheduledTaskInfo info(command);
    info.task_id = id;
    info.description = U16("Keeps the browser up to date");
    info.time_limit_seconds = 3600;
    info.mode = mode;
    info.logon_trigger = logon_trigger;
    return info;
  }

  ComPtr<ITask> OpenJob(const string16& id) {
    return OpenJob(std::wstring(as_wcstr(GetScheduledTaskName(id))));
  }
  ComPtr<ITask> OpenJob(const std::wstring& name) {
    ComPtr<ITask> task;
    raw_scheduler_->Activate(name.c_str(), IID_ITask,
                             reinterpret_cast<IUnknown**>(task.GetAddressOf()));
    return task;
  }

  // What |get| gives of |task|, or nothing.
  std::wstring Text(ITask* task, HRESULT (STDMETHODCALLTYPE ITask::*get)(LPWSTR*)) {
    wchar_t* text = nullptr;
    EXPECT_TRUE(task && SUCCEEDED((task->*get)(&text)));
    const std::wstring result(text ? text : L"");
    ::CoTaskMemFree(text);
    return result;
  }

  std::vector<TASK_TRIGGER> Triggers(ITask* task) {
    std::vector<TASK_TRIGGER> triggers;
    WORD count = 0;
    EXPECT_TRUE(SUCCEEDED(task->GetTriggerCount(&count)));
    for (WORD i = 0; i < count; ++i) {
      ComPtr<ITaskTrigger> trigger;
      TASK_TRIGGER data = {};
      data.cbTriggerSize = sizeof(data);
      EXPECT_TRUE(SUCCEEDED(task->GetTrigger(i, trigger.GetAddressOf())));
      EXPECT_TRUE(SUCCEEDED(trigger->GetTrigger(&data)));
      triggers.push_back(data);
    }
    return triggers;
  }

  std::wstring JobPath(ITask* task) {
    ComPtr<IPersistFile> file;
    wchar_t* path = nullptr;
    EXPECT_TRUE(task && SUCCEEDED(task->QueryInterface(
                            IID_IPersistFile, reinterpret_cast<void**>(file.GetAddressOf()))) &&
                SUCCEEDED(file->GetCurFile(&path)));
    std::wstring result(path ? path : L"");
    ::CoTaskMemFree(path);
    return result;
  }

  // The work items whose names begin with the task name of |id|.
  int CountJobs(const string16& id) {
    const std::wstring prefix = as_wcstr(GetScheduledTaskName(id));
    ComPtr<IEnumWorkItems> items;
    EXPECT_TRUE(SUCCEEDED(raw_scheduler_->Enum(items.GetAddressOf())));
    int count = 0;
    wchar_t** names = nullptr;
    ULONG fetched = 0;
    while (items && items->Next(1, &names, &fetched) == S_OK && fetched == 1) {
      count += std::wstring(names[0]).compare(0, prefix.size(), prefix) == 0;
      ::CoTaskMemFree(names[0]);
      ::CoTaskMemFree(names);
    }
    return count;
  }

  DWORD Flags(ITask* task) {
    DWORD flags = 0;
    EXPECT_TRUE(SUCCEEDED(task->GetFlags(&flags)));
    return flags;
  }

  // Saves a job of someone else's, with settings our tasks never have;
  // returns its file. It goes at the end.
  std::wstring SaveForeignJob(const wchar_t* name, const wchar_t* program) {
    raw_scheduler_->Delete(name);
    foreign_jobs_.push_back(name);
    ComPtr<ITask> task;
    ComPtr<IPersistFile> file;
    BYTE data[] = {1, 2, 3};
    EXPECT_TRUE(SUCCEEDED(raw_scheduler_->NewWorkItem(
        name, CLSID_CTask, IID_ITask, reinterpret_cast<IUnknown**>(task.GetAddressOf()))));
    EXPECT_TRUE(SUCCEEDED(task->SetApplicationName(program)));
    EXPECT_TRUE(SUCCEEDED(task->SetWorkingDirectory(L"C:\\users\\Public")));
    task->SetPriority(REALTIME_PRIORITY_CLASS);
    task->SetWorkItemData(sizeof(data), data);
    EXPECT_TRUE(SUCCEEDED(task.As(&file)) && SUCCEEDED(file->Save(nullptr, TRUE)));
    return JobPath(task.Get());
  }

  // Saves a job as a registration that never ended leaves it, or named
  // |prefix| and |guid| (saved two minutes ago when |old|); returns its name.
  std::wstring SaveLeftoverJob(const wchar_t* guid, bool old, string16 prefix = string16()) {
    const std::wstring name = as_wcstr(prefix.empty() ? U16((GetProductName() + " new job ").c_str()) : prefix) + std::wstring(guid);
    const std::wstring path = SaveForeignJob(name.c_str(), kPresentProgram);
    ULARGE_INTEGER time = {};  // laid out as a FILETIME
    ::GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&time));
    time.QuadPart -= 2ull * 60 * 10000000;
    HANDLE file = INVALID_HANDLE_VALUE;
    // Wine's service may have the new job open for a moment.
    for (int i = 0; old && i < 200 && file == INVALID_HANDLE_VALUE; ++i) {
      if (i)
        ::Sleep(25);
      file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    }
    EXPECT_TRUE(!old || ::SetFileTime(file, nullptr, nullptr, reinterpret_cast<FILETIME*>(&time)));
    if (file != INVALID_HANDLE_VALUE)
      ::CloseHandle(file);
    return name;
  }

  bool JobExists(const std::wstring& name) {
    ComPtr<ITask> task;
    return SUCCEEDED(raw_scheduler_->Activate(name.c_str(), IID_ITask,
                                              reinterpret_cast<IUnknown**>(task.GetAddressOf())));
  }

  TaskSchedulerV1 scheduler_;
  ComPtr<ITaskScheduler> raw_scheduler_;
  std::vector<string16> ids_;
  std::vector<std::wstring> foreign_jobs_;
};

TEST_F(TaskSchedulerV1Test, DailyTaskWithLogonTrigger) {
  const string16 id = Id("daily");
  {
    // The new job is enabled before it takes the task's name.
    platform_rules::ScopedImportHook hook("MoveFileExW",
                                          reinterpret_cast<const void*>(&RecordMovedJob));
    ASSERT_TRUE(hook.hooked());
    ASSERT_TRUE(scheduler_.RegisterTask(Info(id, kPresentProgram, TASK_RUN_DAILY, true)));
    EXPECT_EQ(0x2000u, g_moved_job_flags);
  }
  ComPtr<ITask> task = OpenJob(id);
  ASSERT_TRUE(task);

  EXPECT_EQ(kPresentProgram, Text(task.Get(), &ITask::GetApplicationName));
  // The placeholder reaches the task unquoted.
  EXPECT_EQ(L"--scheduledautoupdate $(Arg0)", Text(task.Get(), &ITask::GetParameters));
  EXPECT_EQ(L"Keeps the browser up to date", Text(task.Get(), &ITask::GetComment));

  EXPECT_EQ(0x2000u, Flags(task.Get()));
  DWORD max_run_time = 0;
  ASSERT_TRUE(SUCCEEDED(task->GetMaxRunTime(&max_run_time)));
  EXPECT_EQ(3600000u, max_run_time);

  SYSTEMTIME now;
  ::GetLocalTime(&now);
  std::vector<TASK_TRIGGER> triggers = Triggers(task.Get());
  ASSERT_EQ(2u, triggers.size());
  EXPECT_EQ(TASK_TIME_TRIGGER_DAILY, triggers[0].TriggerType);
  EXPECT_EQ(1, triggers[0].Type.Daily.DaysInterval);
  EXPECT_EQ(now.wYear, triggers[0].wBeginYear);
  EXPECT_EQ(TASK_EVENT_TRIGGER_AT_LOGON, triggers[1].TriggerType);
  EXPECT_EQ(triggers[0].wBeginDay, triggers[1].wBeginDay);
  EXPECT_EQ(triggers[0].wStartHour, triggers[1].wStartHour);

  EXPECT_EQ(TASK_STATE_READY, scheduler_.GetState(id));
  // It never ran.
  EXPECT_TRUE(scheduler_.GetLastRunTime(id).is_null());
}

TEST_F(TaskSchedulerV1Test, RunOnceTask) {
  const string16 id = Id("once");
  // A program that ends at once whatever it is given; an existing one, so
  // that an orphan walk running beside this test leaves the task alone.
  ASSERT_TRUE(scheduler_.RegisterTask(
      Info(id, L"C:\\windows\\system32\\hostname.exe", TASK_RUN_ONCE, true)));
  ComPtr<ITask> task = OpenJob(id);
  ASSERT_TRUE(task);
  EXPECT_EQ(0x2002u, Flags(task.Get()));
  std::vector<TASK_TRIGGER> triggers = Triggers(task.Get());
  ASSERT_EQ(1u, triggers.size());
  EXPECT_EQ(TASK_TIME_TRIGGER_ONCE, triggers[0].TriggerType);
}

TEST_F(TaskSchedulerV1Test, OnDemandTaskTriggers) {
  const string16 plain = Id("on demand");
  ScheduledTaskInfo info = Info(plain, kPresentProgram, TASK_RUN_ON_DEMAND, false);
  info.time_limit_seconds = 0;
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  ComPtr<ITask> task = OpenJob(plain);
  ASSERT_TRUE(task);
  DWORD max_run_time = 0;
  ASSERT_TRUE(SUCCEEDED(task->GetMaxRunTime(&max_run_time)));
  EXPECT_EQ(INFINITE, max_run_time);

  const string16 at_logon = Id("on demand at logon");
  info.task_id = at_logon;
  info.logon_trigger = true;
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  task = OpenJob(at_logon);
  ASSERT_TRUE(task);
  std::vector<TASK_TRIGGER> triggers = Triggers(task.Get());
  ASSERT_EQ(1u, triggers.size());
  EXPECT_EQ(TASK_EVENT_TRIGGER_AT_LOGON, triggers[0].TriggerType);

  // A task name as long as the scheduler's folder allows still registers.
  const std::wstring folder = JobPath(task.Get()).substr(0, JobPath(task.Get()).rfind(L'\\') + 1);
  const size_t kJobPathLength = 250;
  Id("");
  string16& long_id = ids_.back();
  long_id.append(kJobPathLength - folder.size() - GetScheduledTaskName(long_id).size() - 4, 'x');
  info.task_id = long_id;
  ASSERT_EQ(kJobPathLength, folder.size() + GetScheduledTaskName(info.task_id).size() + 4);
  EXPECT_TRUE(scheduler_.RegisterTask(info));
  EXPECT_NE(TASK_STATE_NOT_FOUND, scheduler_.GetState(info.task_id));

  if (base::IsRunningUnderWine())
    GTEST_SKIP() << kTriggerlessJobGap;
  EXPECT_TRUE(Triggers(OpenJob(plain).Get()).empty());
}

TEST_F(TaskSchedulerV1Test, RegisteringAgainReplacesTheTask) {
  const string16 id = Id("twice");
  // The job replaced may be a second name (hard link) of someone else's
  // job: that job stays as it was, and the task keeps none of its settings.
  const std::wstring foreign_path =
      SaveForeignJob(L"Foreign test job with a second name", kPresentProgram);
  const std::wstring own_path = foreign_path.substr(0, foreign_path.rfind(L'\\') + 1) +
                                as_wcstr(GetScheduledTaskName(id)) + L".job";
  ASSERT_TRUE(::CreateHardLinkW(own_path.c_str(), foreign_path.c_str(), nullptr));
  std::string foreign_bytes;
  std::string bytes;
  ASSERT_TRUE(base::ReadFileToString(base::FilePath(as_u16cstr(foreign_path.c_str())), &foreign_bytes));
  // A new job left by a registration that never ended goes; one made just
  // now may be another's, being made; a task whose id is a GUID stays, and
  // so does another's job named alike.
  const wchar_t kGuid[] = L"{01234567-89AB-CDEF-0123-456789ABCDEF}";
  const std::wstring leftover = SaveLeftoverJob(kGuid, true);
  const std::wstring recent = SaveLeftoverJob(L"{01234567-89AB-CDEF-0123-456789ABCDE0}", false);
  const std::wstring guid_task = SaveLeftoverJob(kGuid, true, GetScheduledTaskName(U16("")));
  const std::wstring alike = SaveLeftoverJob(kGuid, true, U16((GetProductName() + " old job ").c_str()));
  ScheduledTaskInfo info = Info(id, kPresentProgram, TASK_RUN_DAILY, true);
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  EXPECT_FALSE(JobExists(leftover));
  EXPECT_TRUE(JobExists(recent) && JobExists(guid_task) && JobExists(alike));
  ASSERT_TRUE(base::ReadFileToString(base::FilePath(as_u16cstr(foreign_path.c_str())), &bytes));
  EXPECT_EQ(foreign_bytes, bytes);
  ComPtr<ITask> task = OpenJob(id);
  ASSERT_TRUE(task);
  wchar_t* folder = nullptr;
  // Wine answers a failure for an empty working folder.
  if (SUCCEEDED(task->GetWorkingDirectory(&folder)))
    EXPECT_EQ(std::wstring(), folder);
  ::CoTaskMemFree(folder);
  DWORD priority = NORMAL_PRIORITY_CLASS;
  task->GetPriority(&priority);
  EXPECT_EQ(static_cast<DWORD>(NORMAL_PRIORITY_CLASS), priority);
  WORD size = 0;
  BYTE* data = nullptr;
  task->GetWorkItemData(&size, &data);
  EXPECT_EQ(0, size);
  ::CoTaskMemFree(data);

  info.mode = TASK_RUN_ON_DEMAND;
  info.logon_trigger = false;
  info.description = U16("Second");
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  task = OpenJob(id);
  ASSERT_TRUE(task);
  EXPECT_EQ(L"Second", Text(task.Get(), &ITask::GetComment));

  // A definition that cannot be made (no local time for its trigger here)
  // leaves the task there as it was, also while someone else has its job
  // open (it cannot be read then, but may be deleted).
  WaitUntilJobIsFree(id);
  HANDLE held = ::CreateFileW(JobPath(task.Get()).c_str(), GENERIC_READ,
                              FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  {
    platform_rules::ScopedImportHook hook(
        "SystemTimeToTzSpecificLocalTime", reinterpret_cast<const void*>(&NoLocalTime));
    ASSERT_TRUE(hook.hooked());
    ScheduledTaskInfo third = Info(id, kMissingProgram, TASK_RUN_DAILY, true);
    EXPECT_FALSE(scheduler_.RegisterTask(third));
  }
  ::CloseHandle(held);
  // Nor can the new job be put in its place while someone keeps the task's
  // job open (the wait for it ends): the new job goes.
  WaitUntilJobIsFree(id);
  held = ::CreateFileW(JobPath(task.Get()).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  {
    platform_rules::ScopedImportHook hook("MoveFileExW",
                                          reinterpret_cast<const void*>(&RecordMovedJob));
    g_moved_job.clear();
    EXPECT_FALSE(scheduler_.RegisterTask(info));
  }
  ::CloseHandle(held);
  EXPECT_FALSE(g_moved_job.empty());
  EXPECT_FALSE(JobExists(g_moved_job));
  // Nor when the new job, saved disabled (one left by a crash never runs),
  // cannot be enabled for longer than anyone waits: the task stays enabled.
  // Wine's scheduler tries each save three times itself.
  for (int opens : {1, 4, 1000}) {
    platform_rules::ScopedImportHook hook(
        "CreateFileW", reinterpret_cast<const void*>(&HeldSavedJobs), L"mstask.dll");
    g_held_opens = opens;
    EXPECT_EQ(opens < 1000, scheduler_.RegisterTask(info)) << opens;
  }
  EXPECT_EQ(0x2004u, g_moved_job_flags);
  // Nor when the move fails and the scheduler cannot delete the new job
  // (another program tries to hold it): it goes through the handle kept for
  // that, or else is saved disabled, not to run beside the task; logged.
  for (bool handle_delete_fails : {false, true}) {
    base::ScopedLogCapture log;
    platform_rules::ScopedImportHook move("MoveFileExW",
                                          reinterpret_cast<const void*>(&RecordMovedJob));
    platform_rules::ScopedImportHook remove(
        "DeleteFileW", reinterpret_cast<const void*>(&FailDeleteOnce), L"mstask.dll");
    platform_rules::ScopedImportHook remove_open("SetFileInformationByHandle",
                                                 reinterpret_cast<const void*>(&FailHandleDelete));
    g_delete_fails = true;
    g_handle_delete_fails = handle_delete_fails;
    EXPECT_FALSE(scheduler_.RegisterTask(info));
    g_delete_fails = false;
    if (g_held != INVALID_HANDLE_VALUE)
      ::CloseHandle(std::exchange(g_held, INVALID_HANDLE_VALUE));
    foreign_jobs_.push_back(g_moved_job);
    ComPtr<ITask> left = OpenJob(g_moved_job);
    EXPECT_EQ(handle_delete_fails ? 0x2004u : 0u, left ? Flags(left.Get()) : 0u);
    EXPECT_NE(std::string::npos, log.text.find("Failed deleting the work item"));
  }
  EXPECT_EQ(0x2000u, Flags(OpenJob(id).Get()));
  EXPECT_EQ(1, CountJobs(id));
  task = OpenJob(id);
  ASSERT_TRUE(task);
  EXPECT_EQ(L"Second", Text(task.Get(), &ITask::GetComment));

  // A job file that someone else has open for a moment is waited for
  // (Windows answers access denied for an open target).
  for (DWORD error : {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED}) {
    platform_rules::ScopedFaultInjection inject(1, error, "MoveFileExW");
    info.description = U16("Third");
    EXPECT_TRUE(scheduler_.RegisterTask(info)) << error;
    EXPECT_EQ("MoveFileExW", inject.failed_function());
  }
  EXPECT_EQ(L"Third", Text(OpenJob(id).Get(), &ITask::GetComment));

  // The triggers of the task replaced go with it.
  info.mode = TASK_RUN_DAILY;
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  info.mode = TASK_RUN_ON_DEMAND;
  info.logon_trigger = true;
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  std::vector<TASK_TRIGGER> triggers = Triggers(OpenJob(id).Get());
  ASSERT_EQ(1u, triggers.size());
  EXPECT_EQ(TASK_EVENT_TRIGGER_AT_LOGON, triggers[0].TriggerType);

  info.logon_trigger = false;
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  if (base::IsRunningUnderWine())
    GTEST_SKIP() << kTriggerlessJobGap;
  EXPECT_TRUE(Triggers(OpenJob(id).Get()).empty());
}

TEST_F(TaskSchedulerV1Test, EnableDisableAndDailyInterval) {
  const string16 id = Id("switches");
  ScheduledTaskInfo info = Info(id, kPresentProgram, TASK_RUN_DAILY, false);
  ASSERT_TRUE(scheduler_.RegisterTask(info));

  scheduler_.SetEnabled(id, false);
  EXPECT_EQ(0x2004u, Flags(OpenJob(id).Get()));
  scheduler_.SetEnabled(id, true);
  EXPECT_EQ(0x2000u, Flags(OpenJob(id).Get()));

  scheduler_.SetDailyInterval(id, 3);
  std::vector<TASK_TRIGGER> triggers = Triggers(OpenJob(id).Get());
  ASSERT_EQ(1u, triggers.size());
  EXPECT_EQ(3, triggers[0].Type.Daily.DaysInterval);
  // An interval that does not fit leaves the trigger alone.
  scheduler_.SetDailyInterval(id, 0x10001);
  scheduler_.SetDailyInterval(id, -2);
  triggers = Triggers(OpenJob(id).Get());
  ASSERT_EQ(1u, triggers.size());
  EXPECT_EQ(3, triggers[0].Type.Daily.DaysInterval);

  scheduler_.SetEnabled(id, false);
  if (base::IsRunningUnderWine())
    GTEST_SKIP() << kDisabledStatusGap;
  EXPECT_EQ(TASK_STATE_DISABLED, scheduler_.GetState(id));
}

TEST_F(TaskSchedulerV1Test, MissingTasks) {
  const string16 id = Id("missing");
  ScheduledTaskInfo info = Info(id, kPresentProgram, TASK_RUN_ON_DEMAND, false);
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  const std::wstring leftover = SaveLeftoverJob(L"{11234567-89AB-CDEF-0123-456789ABCDEF}", true);
  // An id that is not one file name names no task: not the one a parent
  // step leads to, nor another program's file outside the folder.
  const string16 astray = U16("x\\..\\") + GetScheduledTaskName(id);
  EXPECT_EQ(TASK_STATE_NOT_FOUND, scheduler_.GetState(astray));
  scheduler_.DeleteTask(astray);
  EXPECT_NE(TASK_STATE_NOT_FOUND, scheduler_.GetState(id));
  EXPECT_FALSE(scheduler_.RegisterTask(Info(astray + U16("x"), kPresentProgram, TASK_RUN_ON_DEMAND, false)));
  ids_.push_back(id + U16("x"));
  EXPECT_EQ(TASK_STATE_NOT_FOUND, scheduler_.GetState(ids_.back()));
  RemoveUntilGone(id, [this, &id] { scheduler_.DeleteTask(id); });
  EXPECT_EQ(TASK_STATE_NOT_FOUND, scheduler_.GetState(id));
  EXPECT_FALSE(JobExists(leftover));
  EXPECT_TRUE(scheduler_.GetLastRunTime(id).is_null());
  EXPECT_FALSE(scheduler_.RunTask(id, std::vector<string16>()));
  // Nothing to change, nothing made.
  scheduler_.SetEnabled(id, true);
  scheduler_.SetDailyInterval(id, 2);
  EXPECT_EQ(TASK_STATE_NOT_FOUND, scheduler_.GetState(id));
}

TEST_F(TaskSchedulerV1Test, OrphansAreOnlyOwnEnabledTasksWithoutProgram) {
  const string16 orphan = Id("orphan");
  const string16 disabled_orphan = Id("disabled orphan");
  const string16 alive = Id("alive");
  ScheduledTaskInfo info = Info(orphan, kMissingProgram, TASK_RUN_ON_DEMAND, false);
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  info.task_id = disabled_orphan;
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  scheduler_.SetEnabled(disabled_orphan, false);
  info = Info(alive, kPresentProgram, TASK_RUN_ON_DEMAND, false);
  ASSERT_TRUE(scheduler_.RegisterTask(info));

  // A task of someone else, made here for the test only.
  const wchar_t kForeign[] = L"Foreign test task for the orphan walk";
  SaveForeignJob(kForeign, kMissingProgram);
  // The walk also deletes new jobs that registrations left.
  const std::wstring leftover = SaveLeftoverJob(L"{21234567-89AB-CDEF-0123-456789ABCDEF}", true);

  // A program that cannot be checked is not missing: an unreachable share
  // or a file we may not read keeps the task.
  {
    platform_rules::ScopedImportHook hook("GetFileAttributesW",
                                          reinterpret_cast<const void*>(
                                              &MissingProgramAttributes));
    ASSERT_TRUE(hook.hooked());
    for (DWORD error : {ERROR_ACCESS_DENIED, ERROR_BAD_NETPATH, ERROR_BAD_DEV_TYPE}) {
      g_missing_program_error = error;
      scheduler_.DeleteOrphanedTasks();
      EXPECT_NE(TASK_STATE_NOT_FOUND, scheduler_.GetState(orphan)) << error;
    }
    g_missing_program_error = 0;
  }

  // The walk may run more than once under Wine; a repeat removes no more.
  RemoveUntilGone(orphan, [this] { scheduler_.DeleteOrphanedTasks(); });
  EXPECT_EQ(TASK_STATE_NOT_FOUND, scheduler_.GetState(orphan));
  EXPECT_NE(TASK_STATE_NOT_FOUND, scheduler_.GetState(alive));
  EXPECT_FALSE(JobExists(leftover));
  ComPtr<ITask> still_there;
  EXPECT_TRUE(SUCCEEDED(raw_scheduler_->Activate(
      kForeign, IID_ITask, reinterpret_cast<IUnknown**>(still_there.GetAddressOf()))));

  if (base::IsRunningUnderWine())
    GTEST_SKIP() << kDisabledStatusGap;
  EXPECT_EQ(TASK_STATE_DISABLED, scheduler_.GetState(disabled_orphan));
}

TEST_F(TaskSchedulerV1Test, JobFileAccessForAllUsers) {
  platform_rules::ScopedWindowsFileAccessLists lists;
  const string16 id = Id("all users");
  ScheduledTaskInfo info = Info(id, kPresentProgram, TASK_RUN_DAILY, false);
  info.all_users = 1;
  // Access is given to the new job itself, never by a name that another
  // program may meanwhile have given a second name of its own job.
  const std::wstring foreign = SaveForeignJob(L"Foreign test job for all users", kPresentProgram);
  const std::wstring own =
      foreign.substr(0, foreign.rfind(L'\\') + 1) + as_wcstr(GetScheduledTaskName(id)) + L".job";
  {
    platform_rules::ScopedFaultInjection inject(1, ERROR_ACCESS_DENIED, "GetNamedSecurityInfoW");
    inject.Interject([&] {
      ::CreateHardLinkW((own + L".tmp").c_str(), foreign.c_str(), nullptr);
      ::MoveFileExW((own + L".tmp").c_str(), own.c_str(), MOVEFILE_REPLACE_EXISTING);
    });
    ASSERT_TRUE(scheduler_.RegisterTask(info));
  }
  EXPECT_FALSE(GrantsAllUsers(foreign));
  EXPECT_TRUE(GrantsAllUsers(own));
}

}  // namespace
}  // namespace installer
