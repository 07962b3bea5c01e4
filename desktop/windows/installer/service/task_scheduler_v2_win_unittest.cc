#include "desktop/windows/installer/service/task_scheduler_v2_win.h"

#include <windows.h>
#include <stdio.h>

#include <vector>

#include "base/command_line.h"
#include "base/files/test_folder_win.h"
#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

string16 U16(const char* text) {
  return base::UTF8ToUTF16(text);
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

  TaskSchedulerV2 scheduler_;
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

TEST_F(TaskSchedulerV2Test, RegisterReplaceAndDelete) {
  // Wine's principal refuses a run level, which an administrator's task
  // always gets (see the design notes).
  if (base::IsRunningUnderWine()) {
    printf("Skipped under Wine: the 2.0 principal's run level is not supported\n");
    return;
  }
  const string16 id = U16("Test v2 register");
  ScheduledTaskInfo info = Info(id);
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  info.mode = TASK_RUN_DAILY;
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  EXPECT_EQ(TASK_STATE_READY, scheduler_.GetState(id));
  EXPECT_TRUE(scheduler_.GetLastRunTime(id).is_null());
  scheduler_.SetEnabled(id, false);
  EXPECT_EQ(TASK_STATE_DISABLED, scheduler_.GetState(id));
  scheduler_.DeleteTask(id);
  EXPECT_EQ(TASK_STATE_NOT_FOUND, scheduler_.GetState(id));

  // A run-once task is gone again once it is registered.
  info.mode = TASK_RUN_ONCE;
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  EXPECT_EQ(TASK_STATE_NOT_FOUND, scheduler_.GetState(id));
}

}  // namespace
}  // namespace installer
