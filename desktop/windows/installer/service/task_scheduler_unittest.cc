#include "desktop/windows/installer/service/task_scheduler.h"

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/branding.h"
#include "gtest/gtest.h"

namespace installer {
namespace task_scheduler {
namespace {

string16 U16(const char* text) {
  return base::UTF8ToUTF16(text);
}

ScheduledTaskInfo MakeInfo(ScheduledTaskMode mode, bool logon_trigger) {
  ScheduledTaskInfo info{base::CommandLine()};
  info.mode = mode;
  info.logon_trigger = logon_trigger;
  return info;
}

TEST(TaskSchedulerTest, TaskNamesAreRecognisedAsOwn) {
  const string16 name = GetScheduledTaskName(U16("Autoupdate 42"));
  const string16 suffix = U16(" scheduled Autoupdate 42");
  ASSERT_GE(name.size(), suffix.size());
  EXPECT_EQ(suffix, name.substr(name.size() - suffix.size()));
  EXPECT_TRUE(IsOwnTaskName(name, GetProductName()));

  EXPECT_TRUE(IsOwnTaskName(U16("Palvo scheduled Autoupdate 42"), "Palvo"));
  // 1.0 lists job files; ASCII case does not matter.
  EXPECT_TRUE(IsOwnTaskName(U16("PALVO Scheduled Autoupdate 42.job"), "Palvo"));
  EXPECT_TRUE(IsOwnTaskName(U16("Palvo scheduled "), "Palvo"));
}

TEST(TaskSchedulerTest, OtherNamesAreNotOwn) {
  EXPECT_FALSE(IsOwnTaskName(U16("Other scheduled Autoupdate 42"), "Palvo"));
  EXPECT_FALSE(IsOwnTaskName(U16(" scheduled Autoupdate 42"), "Palvo"));
  EXPECT_FALSE(IsOwnTaskName(U16("Palvo scheduledAutoupdate"), "Palvo"));
  EXPECT_FALSE(IsOwnTaskName(U16("Palvo"), "Palvo"));
  EXPECT_FALSE(IsOwnTaskName(U16(""), "Palvo"));
  EXPECT_FALSE(IsOwnTaskName(U16("Palvo Browser scheduled x"), "Palvo"));
  // Only ASCII letters fold.
  EXPECT_FALSE(IsOwnTaskName(U16("P\xC3\x84LVO scheduled x"), "P\xC3\xA4lvo"));
  // An id that would make the name more or other than one file name.
  for (const char* id : {"x\\..\\y", "a/b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b",
                         "a\x1f" "b", "a\nb"})
    EXPECT_FALSE(IsValidTaskId(U16(id))) << id;
  EXPECT_TRUE(IsValidTaskId(U16("{0BADC0DE-32} . \x7f\xC3\xA4\xC5\x9C ")));
}

TEST(TaskSchedulerTest, JobExtensionIsDropped) {
  EXPECT_EQ(U16("Palvo scheduled x"), WorkItemNameFromJob(U16("Palvo scheduled x.job")));
  EXPECT_EQ(U16("Palvo scheduled x"), WorkItemNameFromJob(U16("Palvo scheduled x.JOB")));
  EXPECT_EQ(U16("Palvo scheduled x"), WorkItemNameFromJob(U16("Palvo scheduled x")));
  EXPECT_EQ(U16(""), WorkItemNameFromJob(U16(".job")));
  EXPECT_EQ(U16("job"), WorkItemNameFromJob(U16("job")));
  EXPECT_EQ(U16("a.job.txt"), WorkItemNameFromJob(U16("a.job.txt")));
}

TEST(TaskSchedulerTest, TriggersFollowTheMode) {
  TriggerPlan plan = PlanTriggers(MakeInfo(TASK_RUN_ONCE, true));
  EXPECT_EQ(TIME_TRIGGER_ONCE, plan.time);
  EXPECT_FALSE(plan.at_logon);

  plan = PlanTriggers(MakeInfo(TASK_RUN_DAILY, true));
  EXPECT_EQ(TIME_TRIGGER_DAILY, plan.time);
  EXPECT_TRUE(plan.at_logon);

  plan = PlanTriggers(MakeInfo(TASK_RUN_DAILY, false));
  EXPECT_EQ(TIME_TRIGGER_DAILY, plan.time);
  EXPECT_FALSE(plan.at_logon);

  plan = PlanTriggers(MakeInfo(TASK_RUN_ON_DEMAND, false));
  EXPECT_EQ(TIME_TRIGGER_NONE, plan.time);
  EXPECT_FALSE(plan.at_logon);

  plan = PlanTriggers(MakeInfo(TASK_RUN_ON_DEMAND, true));
  EXPECT_EQ(TIME_TRIGGER_NONE, plan.time);
  EXPECT_TRUE(plan.at_logon);
}

TEST(TaskSchedulerTest, JobFlagsAndRunTime) {
  EXPECT_EQ(0x2002u, V1TaskFlags(TASK_RUN_ONCE));
  EXPECT_EQ(0x2000u, V1TaskFlags(TASK_RUN_DAILY));
  EXPECT_EQ(0x2000u, V1TaskFlags(TASK_RUN_ON_DEMAND));

  EXPECT_EQ(0xFFFFFFFFu, V1MaxRunTimeMs(0));
  EXPECT_EQ(3600000u, V1MaxRunTimeMs(3600));
  EXPECT_EQ(4294967000u, V1MaxRunTimeMs(4294967));
  // Past the millisecond range the limit stays long instead of wrapping
  // round to a few seconds, and never turns into "no limit".
  EXPECT_EQ(0xFFFFFFFEu, V1MaxRunTimeMs(4294968));
  EXPECT_EQ(0xFFFFFFFEu, V1MaxRunTimeMs(0xFFFFFFFF));
}

TEST(TaskSchedulerTest, JobStatusToState) {
  EXPECT_EQ(TASK_STATE_READY, V1StateFromStatus(0x41300));
  EXPECT_EQ(TASK_STATE_RUNNING, V1StateFromStatus(0x41301));
  EXPECT_EQ(TASK_STATE_DISABLED, V1StateFromStatus(0x41302));
  EXPECT_EQ(TASK_STATE_READY, V1StateFromStatus(0x41303));
  EXPECT_EQ(TASK_STATE_NO_MORE_RUNS, V1StateFromStatus(0x41304));
  EXPECT_EQ(TASK_STATE_NO_MORE_RUNS, V1StateFromStatus(0x41305));
  EXPECT_EQ(TASK_STATE_UNKNOWN, V1StateFromStatus(0x41306));
  EXPECT_EQ(TASK_STATE_NO_MORE_RUNS, V1StateFromStatus(0x41307));
  EXPECT_EQ(TASK_STATE_UNKNOWN, V1StateFromStatus(0));
}

TEST(TaskSchedulerTest, TaskStateToState) {
  EXPECT_EQ(TASK_STATE_UNKNOWN, V2StateFromTaskState(0));
  EXPECT_EQ(TASK_STATE_DISABLED, V2StateFromTaskState(1));
  EXPECT_EQ(TASK_STATE_READY, V2StateFromTaskState(2));
  EXPECT_EQ(TASK_STATE_READY, V2StateFromTaskState(3));
  EXPECT_EQ(TASK_STATE_RUNNING, V2StateFromTaskState(4));
  EXPECT_EQ(TASK_STATE_UNKNOWN, V2StateFromTaskState(5));
  EXPECT_EQ(TASK_STATE_UNKNOWN, V2StateFromTaskState(-1));
}

TEST(TaskSchedulerTest, DefinitionTexts) {
  EXPECT_EQ(U16("PT3600S"), ExecutionTimeLimit(3600));
  EXPECT_EQ(U16("PT0S"), ExecutionTimeLimit(0));
  EXPECT_EQ(U16("PT4294967295S"), ExecutionTimeLimit(0xFFFFFFFF));

  base::Time::Exploded local = {};
  local.year = 2016;
  local.month = 10;
  local.day_of_month = 4;
  local.hour = 9;
  local.minute = 5;
  local.second = 7;
  EXPECT_EQ(U16("2016-10-04T09:05:07"), FormatBoundary(local));
}

TEST(TaskSchedulerTest, DaysIntervalRange) {
  EXPECT_FALSE(IsValidDaysInterval(0));
  EXPECT_FALSE(IsValidDaysInterval(-1));
  EXPECT_TRUE(IsValidDaysInterval(1));
  EXPECT_TRUE(IsValidDaysInterval(32767));
  // Would wrap to a negative 16-bit interval.
  EXPECT_FALSE(IsValidDaysInterval(32768));
  EXPECT_FALSE(IsValidDaysInterval(65537));
}

}  // namespace
}  // namespace task_scheduler
}  // namespace installer
