#include "desktop/windows/installer/service/task_scheduler_v2_win.h"

#include <windows.h>
#include <wchar.h>

#include <vector>

#include "base/command_line.h"
#include "base/files/test_folder_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_log_capture_testsupport.h"
#include "base/time/time.h"
#include "base/win/scoped_bstr.h"
#include "desktop/windows/installer/service/task_scheduler_v2_fakes_win.h"
#include "desktop/windows/installer/service/utils.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"

namespace installer {
namespace {

string16 U16(const char* text) {
  return base::UTF8ToUTF16(text);
}

// Wine's library refuses the run level that an administrator's task gets
// (and Wine's user is one), so the client tried against the real library
// registers as a user who is not.
class UserTaskSchedulerV2 : public TaskSchedulerV2 {
 protected:
  bool IsAdministrator() override { return false; }
};

// The description and time limit of the task that the library holds under
// |id|, read through a connection of its own. (Wine keeps no actions.)
bool ReadBack(const string16& id, std::wstring* description, std::wstring* time_limit) {
  Microsoft::WRL::ComPtr<ITaskService> service;
  Microsoft::WRL::ComPtr<ITaskFolder> folder;
  Microsoft::WRL::ComPtr<IRegisteredTask> task;
  Microsoft::WRL::ComPtr<ITaskDefinition> definition;
  Microsoft::WRL::ComPtr<IRegistrationInfo> registration;
  Microsoft::WRL::ComPtr<ITaskSettings> settings;
  CLSID task_scheduler;
  VARIANT empty;
  ::VariantInit(&empty);
  base::win::ScopedBstr root(L"\\");
  base::win::ScopedBstr name(as_wcstr(GetScheduledTaskName(id)));
  BSTR text = nullptr;
  BSTR limit = nullptr;
  const bool read =
      SUCCEEDED(::CLSIDFromProgID(L"Schedule.Service", &task_scheduler)) &&
      SUCCEEDED(::CoCreateInstance(task_scheduler, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(service.GetAddressOf()))) &&
      SUCCEEDED(service->Connect(empty, empty, empty, empty)) &&
      SUCCEEDED(service->GetFolder(root.Get(), folder.GetAddressOf())) &&
      SUCCEEDED(folder->GetTask(name.Get(), task.GetAddressOf())) &&
      SUCCEEDED(task->get_Definition(definition.GetAddressOf())) &&
      SUCCEEDED(definition->get_RegistrationInfo(registration.GetAddressOf())) &&
      SUCCEEDED(registration->get_Description(&text)) &&
      SUCCEEDED(definition->get_Settings(settings.GetAddressOf())) &&
      SUCCEEDED(settings->get_ExecutionTimeLimit(&limit));
  *description = text ? text : L"";
  *time_limit = limit ? limit : L"";
  ::SysFreeString(text);
  ::SysFreeString(limit);
  return read;
}

class TaskSchedulerV2Test : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(scheduler_.Init());
  }

  void TearDown() override { ::CoUninitialize(); }

  ScheduledTaskInfo Info(const string16& id) {
    base::CommandLine command(base::FilePath(u"C:\\windows\\system32\\cmd.exe"));
    command.AppendSwitch("scheduledautoupdate");
    command.AppendArg("$(Arg0)");
    ScheduledTaskInfo info(command);
    info.task_id = id;
    info.description = U16("Keeps the browser up to date");
    info.time_limit_seconds = 3600;
    info.mode = TASK_RUN_ON_DEMAND;
    return info;
  }

  UserTaskSchedulerV2 scheduler_;
};

TEST_F(TaskSchedulerV2Test, MissingTask) {
  const string16 id = U16("Test v2 never registered");
  scheduler_.DeleteTask(id);
  EXPECT_EQ(TASK_STATE_NOT_FOUND, scheduler_.GetState(id));
  EXPECT_TRUE(scheduler_.GetLastRunTime(id).is_null());
  EXPECT_FALSE(scheduler_.RunTask(id, std::vector<string16>(1, U16("x"))));
  EXPECT_FALSE(scheduler_.RunTask(id, std::vector<string16>()));
  // Changing a task that is not there makes none.
  scheduler_.SetEnabled(id, true);
  scheduler_.SetDailyInterval(id, 2);
  scheduler_.DeleteOrphanedTasks();
  EXPECT_EQ(TASK_STATE_NOT_FOUND, scheduler_.GetState(id));
}

// An on-demand task without a logon trigger has no trigger at all: a
// definition that Wine's library takes too.
TEST_F(TaskSchedulerV2Test, RegisterReplaceAndDelete) {
  const string16 id = U16("Test v2 register");
  ScheduledTaskInfo info = Info(id);
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  EXPECT_EQ(TASK_STATE_READY, scheduler_.GetState(id));
  EXPECT_TRUE(scheduler_.GetLastRunTime(id).is_null());
  info.description = U16("Replaced");
  info.time_limit_seconds = 7200;
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  std::wstring description, time_limit;
  EXPECT_TRUE(ReadBack(id, &description, &time_limit));
  EXPECT_EQ(L"Replaced", description);
  EXPECT_EQ(L"PT7200S", time_limit);
  scheduler_.SetEnabled(id, true);
  EXPECT_EQ(TASK_STATE_READY, scheduler_.GetState(id));
  scheduler_.DeleteTask(id);
  EXPECT_EQ(TASK_STATE_NOT_FOUND, scheduler_.GetState(id));
}

TEST_F(TaskSchedulerV2Test, TriggersRunLevelAndDisabling) {
  if (base::IsRunningUnderWine()) {
    GTEST_SKIP() << "Wine gap: the 2.0 library refuses trigger ids, logon and "
                    "registration triggers and the run level, and never "
                    "disables a task";
  }
  TaskSchedulerV2 scheduler;
  ASSERT_TRUE(scheduler.Init());
  const string16 id = U16("Test v2 triggers");
  ScheduledTaskInfo info = Info(id);
  info.mode = TASK_RUN_DAILY;
  info.logon_trigger = true;
  ASSERT_TRUE(scheduler.RegisterTask(info));
  EXPECT_EQ(TASK_STATE_READY, scheduler.GetState(id));
  scheduler.SetEnabled(id, false);
  EXPECT_EQ(TASK_STATE_DISABLED, scheduler.GetState(id));
  scheduler.DeleteTask(id);
  EXPECT_EQ(TASK_STATE_NOT_FOUND, scheduler.GetState(id));

  // A run-once task is gone again once it is registered.
  info.mode = TASK_RUN_ONCE;
  ASSERT_TRUE(scheduler.RegisterTask(info));
  EXPECT_EQ(TASK_STATE_NOT_FOUND, scheduler.GetState(id));
}

// The client's logic against the in-memory library, which keeps what
// Wine's does not (triggers, principal, descriptors, enumeration, runs).
class TaskSchedulerV2LogicTest : public testing::Test {
 protected:
  void SetUp() override {
    service_ = new fake_taskschd::Service();
    folder_ = service_->folder.Get();
    ASSERT_TRUE(scheduler_.InitWithService(service_.Get()));
    ASSERT_TRUE(GetCurrentUserNameEx(&user_, NameSamCompatible));
  }

  ScheduledTaskInfo Info(ScheduledTaskMode mode, bool logon_trigger, int32_t all_users) {
    base::CommandLine command(base::FilePath(u"C:\\Palvo\\launcher.exe"));
    command.AppendSwitch("scheduledautoupdate");
    command.AppendArg("$(Arg0)");
    ScheduledTaskInfo info(command);
    info.task_id = U16("Autoupdate 42");
    info.description = U16("Keeps the browser up to date");
    info.time_limit_seconds = 3600;
    info.mode = mode;
    info.logon_trigger = logon_trigger;
    info.all_users = all_users;
    info.run_only_with_network = true;
    return info;
  }

  std::wstring Name() {
    return as_wcstr(GetScheduledTaskName(U16("Autoupdate 42")));
  }

  fake_taskschd::RegisteredTask* Task() {
    auto found = folder_->tasks.find(Name());
    return found == folder_->tasks.end() ? nullptr : found->second.Get();
  }

  // A boundary text read back as local time.
  static base::Time ParseBoundary(const std::wstring& text) {
    base::Time::Exploded local = {};
    if (swscanf(text.c_str(), L"%d-%d-%dT%d:%d:%d", &local.year, &local.month,
                &local.day_of_month, &local.hour, &local.minute, &local.second) != 6 ||
        text.size() != 19) {
      return base::Time();
    }
    base::Time time;
    base::Time::FromLocalExploded(local, &time);
    return time;
  }

  Microsoft::WRL::ComPtr<fake_taskschd::Service> service_;
  fake_taskschd::Folder* folder_ = nullptr;
  TaskSchedulerV2 scheduler_;
  std::wstring user_;
};

TEST_F(TaskSchedulerV2LogicTest, CurrentUserDailyTask) {
  const base::Time before = base::Time::Now() - base::TimeDelta::FromSeconds(1);
  ASSERT_TRUE(scheduler_.RegisterTask(Info(TASK_RUN_DAILY, true, 0)));
  const base::Time after = base::Time::Now() + base::TimeDelta::FromSeconds(1);

  ASSERT_EQ(1u, folder_->registrations.size());
  const fake_taskschd::Registration& registration = folder_->registrations[0];
  EXPECT_EQ(Name(), registration.name);
  EXPECT_EQ(TASK_CREATE_OR_UPDATE, registration.flags);
  EXPECT_EQ(VT_BSTR, registration.user_type);
  EXPECT_EQ(user_, registration.user);
  EXPECT_EQ(VT_EMPTY, registration.password_type);
  EXPECT_EQ(TASK_LOGON_INTERACTIVE_TOKEN, registration.logon_type);
  EXPECT_EQ(VT_BSTR, registration.descriptor_type);
  EXPECT_EQ(L"", registration.descriptor);

  fake_taskschd::RegisteredTask* task = Task();
  ASSERT_TRUE(task);
  EXPECT_EQ(L"", task->security_descriptor);
  fake_taskschd::Definition* definition = task->definition.Get();
  EXPECT_EQ(user_, definition->registration->author);
  EXPECT_EQ(L"Keeps the browser up to date", definition->registration->description);
  fake_taskschd::Settings* settings = definition->settings.Get();
  EXPECT_EQ(L"PT3600S", settings->time_limit);
  EXPECT_EQ(TASK_INSTANCES_IGNORE_NEW, settings->instances);
  EXPECT_EQ(VARIANT_TRUE, settings->only_with_network);
  EXPECT_EQ(VARIANT_FALSE, settings->stop_on_batteries);
  EXPECT_EQ(VARIANT_FALSE, settings->disallow_on_batteries);
  EXPECT_EQ(VARIANT_TRUE, settings->start_when_available);
  EXPECT_EQ(L"", settings->delete_expired_after);

  const std::vector<fake_taskschd::TriggerRecord*>& triggers =
      definition->triggers->records;
  ASSERT_EQ(2u, triggers.size());
  EXPECT_EQ(TASK_TRIGGER_DAILY, triggers[0]->type);
  EXPECT_EQ(L"Daily run", triggers[0]->id);
  EXPECT_EQ(1, triggers[0]->days);
  const base::Time start = ParseBoundary(triggers[0]->start);
  EXPECT_LE(before.ToInternalValue() / 1000000, start.ToInternalValue() / 1000000);
  EXPECT_GE(after.ToInternalValue() / 1000000, start.ToInternalValue() / 1000000);
  EXPECT_EQ(TASK_TRIGGER_LOGON, triggers[1]->type);
  EXPECT_EQ(L"Logon run", triggers[1]->id);
  EXPECT_EQ(triggers[0]->start, triggers[1]->start);
  EXPECT_EQ(user_, triggers[1]->user);
  EXPECT_EQ(L"PT5M", triggers[1]->delay);

  ASSERT_EQ(1u, definition->actions->items.size());
  EXPECT_EQ(TASK_ACTION_EXEC, definition->actions->items[0]->type);
  EXPECT_EQ(L"C:\\Palvo\\launcher.exe", definition->actions->items[0]->path);
  EXPECT_EQ(L"--scheduledautoupdate $(Arg0)", definition->actions->items[0]->arguments);
}

TEST_F(TaskSchedulerV2LogicTest, AllUsersTaskRunsAsSystem) {
  ASSERT_TRUE(scheduler_.RegisterTask(Info(TASK_RUN_DAILY, true, 1)));
  ASSERT_EQ(1u, folder_->registrations.size());
  EXPECT_EQ(L"SYSTEM", folder_->registrations[0].user);
  EXPECT_EQ(TASK_LOGON_SERVICE_ACCOUNT, folder_->registrations[0].logon_type);
  fake_taskschd::RegisteredTask* task = Task();
  ASSERT_TRUE(task);
  EXPECT_EQ(L"D:(A;;GRGX;;;AU)", task->security_descriptor);
  const std::vector<fake_taskschd::TriggerRecord*>& triggers =
      task->definition->triggers->records;
  ASSERT_EQ(2u, triggers.size());
  EXPECT_EQ(TASK_TRIGGER_BOOT, triggers[1]->type);
  EXPECT_EQ(L"Logon run", triggers[1]->id);
  EXPECT_EQ(L"PT5M", triggers[1]->delay);
  EXPECT_EQ(L"", triggers[1]->user);
}

TEST_F(TaskSchedulerV2LogicTest, RunOnceTaskIsRemovedAfterRegistration) {
  const base::Time before = base::Time::Now() + base::TimeDelta::FromSeconds(29);
  ASSERT_TRUE(scheduler_.RegisterTask(Info(TASK_RUN_ONCE, true, 0)));
  const base::Time after = base::Time::Now() + base::TimeDelta::FromSeconds(31);
  // Deleted once registered, and only then.
  EXPECT_EQ(nullptr, Task());
  EXPECT_EQ((std::vector<std::wstring>{Name()}), folder_->deleted);

  ASSERT_EQ(1u, folder_->registrations.size());
  fake_taskschd::Definition* definition = folder_->registrations[0].definition.Get();
  EXPECT_EQ(L"PT0S", definition->settings->delete_expired_after);
  // No logon trigger for a task that goes away.
  const std::vector<fake_taskschd::TriggerRecord*>& triggers =
      definition->triggers->records;
  ASSERT_EQ(1u, triggers.size());
  EXPECT_EQ(TASK_TRIGGER_REGISTRATION, triggers[0]->type);
  EXPECT_EQ(L"Run once", triggers[0]->id);
  EXPECT_EQ(L"", triggers[0]->start);
  const base::Time end = ParseBoundary(triggers[0]->end);
  EXPECT_LE(before.ToInternalValue() / 1000000, end.ToInternalValue() / 1000000);
  EXPECT_GE(after.ToInternalValue() / 1000000, end.ToInternalValue() / 1000000);
}

TEST_F(TaskSchedulerV2LogicTest, RegistrationFailures) {
  folder_->register_result = E_ACCESSDENIED;
  EXPECT_FALSE(scheduler_.RegisterTask(Info(TASK_RUN_DAILY, false, 0)));
  EXPECT_EQ(nullptr, Task());

  // A task already there stays as it was when its replacement is refused.
  fake_taskschd::RegisteredTask* old_task = folder_->Add(Name(), {L"C:\\Old\\launcher.exe"});
  for (ScheduledTaskMode mode : {TASK_RUN_DAILY, TASK_RUN_ON_DEMAND, TASK_RUN_ONCE}) {
    EXPECT_FALSE(scheduler_.RegisterTask(Info(mode, true, 0)));
    ASSERT_EQ(old_task, Task());
    EXPECT_EQ(L"C:\\Old\\launcher.exe", old_task->definition->actions->items[0]->path);
  }
  // Nor is an id that is not one file name registered or deleted.
  folder_->register_result = S_OK;
  ScheduledTaskInfo astray = Info(TASK_RUN_DAILY, true, 0);
  astray.task_id = U16("x\\..\\") + astray.task_id;
  EXPECT_FALSE(scheduler_.RegisterTask(astray));
  scheduler_.DeleteTask(astray.task_id);
  ASSERT_EQ(old_task, Task());
  EXPECT_TRUE(folder_->deleted.empty());

  // A refused descriptor still leaves a registered task.
  folder_->descriptor_result = E_ACCESSDENIED;
  ASSERT_TRUE(scheduler_.RegisterTask(Info(TASK_RUN_ON_DEMAND, false, 1)));
  ASSERT_TRUE(Task());
  EXPECT_TRUE(Task()->definition->triggers->records.empty());
}

TEST_F(TaskSchedulerV2LogicTest, DailyIntervalIsRegisteredAgain) {
  ASSERT_TRUE(scheduler_.RegisterTask(Info(TASK_RUN_DAILY, true, 0)));
  scheduler_.SetDailyInterval(U16("Autoupdate 42"), 1);
  // Unchanged: nothing registered again.
  ASSERT_EQ(1u, folder_->registrations.size());

  scheduler_.SetDailyInterval(U16("Autoupdate 42"), 3);
  ASSERT_EQ(2u, folder_->registrations.size());
  const fake_taskschd::Registration& update = folder_->registrations[1];
  EXPECT_EQ(TASK_UPDATE, update.flags);
  EXPECT_EQ(TASK_LOGON_NONE, update.logon_type);
  EXPECT_EQ(VT_EMPTY, update.user_type);
  EXPECT_EQ(VT_EMPTY, update.password_type);
  EXPECT_EQ(VT_BSTR, update.descriptor_type);
  EXPECT_EQ(3, Task()->definition->triggers->records[0]->days);

  // Out of the 16-bit range: left alone.
  scheduler_.SetDailyInterval(U16("Autoupdate 42"), 40000);
  EXPECT_EQ(2u, folder_->registrations.size());
}

TEST_F(TaskSchedulerV2LogicTest, RunPassesArgumentsInOrder) {
  ASSERT_TRUE(scheduler_.RegisterTask(Info(TASK_RUN_ON_DEMAND, false, 0)));
  std::vector<string16> arguments = {U16("--first"), U16("second arg"), U16("")};
  EXPECT_TRUE(scheduler_.RunTask(U16("Autoupdate 42"), arguments));
  fake_taskschd::RegisteredTask* task = Task();
  EXPECT_EQ(VT_ARRAY | VT_BSTR, task->run_parameters_type);
  EXPECT_EQ(0, task->run_lower_bound);
  EXPECT_EQ((std::vector<std::wstring>{L"--first", L"second arg", L""}), task->run_arguments);

  EXPECT_TRUE(scheduler_.RunTask(U16("Autoupdate 42"), std::vector<string16>()));
  EXPECT_EQ(VT_EMPTY, task->run_parameters_type);
  task->run_result = E_FAIL;
  EXPECT_FALSE(scheduler_.RunTask(U16("Autoupdate 42"), std::vector<string16>()));
  EXPECT_EQ(3, task->runs);
}

TEST_F(TaskSchedulerV2LogicTest, StateAndLastRun) {
  ASSERT_TRUE(scheduler_.RegisterTask(Info(TASK_RUN_ON_DEMAND, false, 0)));
  fake_taskschd::RegisteredTask* task = Task();
  const string16 id = U16("Autoupdate 42");
  task->state = ::TASK_STATE_QUEUED;
  EXPECT_EQ(TASK_STATE_READY, scheduler_.GetState(id));
  task->state = ::TASK_STATE_RUNNING;
  EXPECT_EQ(TASK_STATE_RUNNING, scheduler_.GetState(id));
  task->state_result = E_FAIL;
  EXPECT_EQ(TASK_STATE_UNKNOWN, scheduler_.GetState(id));

  scheduler_.SetEnabled(id, false);
  EXPECT_EQ(VARIANT_FALSE, task->enabled);
  scheduler_.SetEnabled(id, true);
  EXPECT_EQ(VARIANT_TRUE, task->enabled);

  // Never ran: the zero date is no run.
  EXPECT_TRUE(scheduler_.GetLastRunTime(id).is_null());
  SYSTEMTIME local = {2016, 10, 2, 4, 9, 5, 7, 0};
  ASSERT_TRUE(::SystemTimeToVariantTime(&local, &task->last_run));
  base::Time::Exploded exploded = {2016, 10, 2, 4, 9, 5, 7, 0};
  base::Time expected;
  ASSERT_TRUE(base::Time::FromLocalExploded(exploded, &expected));
  EXPECT_EQ(expected, scheduler_.GetLastRunTime(id));
  task->last_run_result = E_FAIL;
  EXPECT_TRUE(scheduler_.GetLastRunTime(id).is_null());
}

TEST_F(TaskSchedulerV2LogicTest, OrphansAreOwnEnabledTasksWithoutProgram) {
  const std::wstring own = as_wcstr(GetScheduledTaskName(U16("")));
  const std::wstring missing = L"C:\\no such folder\\launcher.exe";
  const std::wstring present = L"C:\\windows\\system32\\cmd.exe";
  folder_->Add(own + L"orphan", {missing});
  folder_->Add(own + L"alive", {present});
  folder_->Add(own + L"disabled", {missing})->enabled = VARIANT_FALSE;
  folder_->Add(own + L"two actions", {missing, missing});
  folder_->Add(L"Someone else's task", {missing});
  fake_taskschd::RegisteredTask* other_action = folder_->Add(own + L"other action", {missing});
  other_action->definition->actions->items[0]->type = TASK_ACTION_SEND_EMAIL;

  scheduler_.DeleteOrphanedTasks();
  EXPECT_EQ((std::vector<std::wstring>{own + L"orphan"}), folder_->deleted);
  EXPECT_EQ(5u, folder_->tasks.size());

  // Only a "not found" answer makes an orphan: an unreachable share, a
  // drive this session does not have, or a program we may not read keeps
  // the task, and says so.
  std::wstring absent_drive;
  for (wchar_t letter = L'Q'; letter <= L'Y' && absent_drive.empty(); ++letter) {
    if (!(::GetLogicalDrives() & (1u << (letter - L'A'))))
      absent_drive = std::wstring(1, letter) + L":\\Palvo\\launcher.exe";
  }
  ASSERT_FALSE(absent_drive.empty());
  // The scheduler expands variables in the program's path.
  ASSERT_TRUE(::SetEnvironmentVariableW(L"PALVO_TEST_FOLDER", L"system32"));
  const std::wstring with_variable = L"C:\\windows\\%PALVO_TEST_FOLDER%\\cmd.exe";
  const struct {
    DWORD error;
    const std::wstring& program;
    bool deleted;
  } kAnswers[] = {
      {ERROR_FILE_NOT_FOUND, present, true},
      {ERROR_PATH_NOT_FOUND, present, true},
      {ERROR_PATH_NOT_FOUND, absent_drive, false},
      {ERROR_ACCESS_DENIED, present, false},
      {ERROR_BAD_NETPATH, present, false},
      {ERROR_BAD_DEV_TYPE, present, false},
      {ERROR_SHARING_VIOLATION, present, false},
      {platform_rules::ScopedFaultInjection::kOutOfResources, present, false},
      {ERROR_SUCCESS, with_variable, false},
  };
  for (const auto& answer : kAnswers) {
    SCOPED_TRACE(answer.error);
    folder_->tasks.clear();
    folder_->deleted.clear();
    folder_->Add(own + L"checked", {answer.program});
    base::ScopedLogCapture log;
    platform_rules::ScopedFaultInjection inject(answer.error ? 1 : 0, answer.error,
                                                "GetFileAttributesW");
    scheduler_.DeleteOrphanedTasks();
    EXPECT_EQ(answer.error ? "GetFileAttributesW" : "", inject.failed_function());
    EXPECT_EQ(answer.deleted, folder_->tasks.empty());
    EXPECT_EQ(answer.deleted || !answer.error,
              log.text.find("Keeping the task of " + base::WideToUTF8(answer.program)) ==
                  std::string::npos);
  }
  ::SetEnvironmentVariableW(L"PALVO_TEST_FOLDER", nullptr);
}

}  // namespace
}  // namespace installer
