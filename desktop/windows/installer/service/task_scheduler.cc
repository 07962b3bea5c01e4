#include "desktop/windows/installer/service/task_scheduler.h"

#include <string.h>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/branding.h"

namespace installer {

namespace {

const char kScheduledInfix[] = " scheduled ";

// Task Scheduler 1.0 job flags and status codes.
constexpr uint32_t kJobFlagDeleteWhenDone = 0x2;
constexpr uint32_t kJobFlagRunOnlyIfLoggedOn = 0x2000;
constexpr uint32_t kInfiniteRunTime = 0xFFFFFFFF;
constexpr int32_t kStatusReady = 0x41300;
constexpr int32_t kStatusRunning = 0x41301;
constexpr int32_t kStatusDisabled = 0x41302;
constexpr int32_t kStatusHasNotRun = 0x41303;
constexpr int32_t kStatusNoMoreRuns = 0x41304;
constexpr int32_t kStatusNotScheduled = 0x41305;
constexpr int32_t kStatusNoValidTriggers = 0x41307;

// Task Scheduler 2.0 TASK_STATE values.
constexpr int kTaskStateDisabled = 1;
constexpr int kTaskStateQueued = 2;
constexpr int kTaskStateReady = 3;
constexpr int kTaskStateRunning = 4;

}  // namespace

ScheduledTaskInfo::ScheduledTaskInfo(const base::CommandLine& command)
    : command(command) {}

ScheduledTaskInfo::~ScheduledTaskInfo() = default;

string16 GetScheduledTaskName(const string16& task_id) {
  return base::UTF8ToUTF16(GetProductName()) + base::ASCIIToUTF16(kScheduledInfix) +
         task_id;
}

namespace task_scheduler {

bool IsValidTaskId(const string16& task_id) {
  // The 1.0 scheduler makes the task name a file name in its folder, the
  // 2.0 one a path below its root folder: a separator or a character no
  // file name may hold would name another place, another task or someone
  // else's file. The name begins with ours, never only dots or spaces.
  for (const char16 c : task_id) {
    if (c < 0x20 || (c < 0x80 && strchr("\\/:*?\"<>|", static_cast<char>(c)))) {
      LOG(ERROR) << "Not a task id: " << base::UTF16ToUTF8(task_id);
      return false;
    }
  }
  return true;
}

bool IsOwnTaskName(const string16& name, const std::string& product_name) {
  const std::string prefix = base::ToLowerASCII(product_name + kScheduledInfix);
  const std::string lower_name = base::ToLowerASCII(base::UTF16ToUTF8(name));
  return lower_name.compare(0, prefix.size(), prefix) == 0;
}

TriggerPlan PlanTriggers(const ScheduledTaskInfo& info) {
  TriggerPlan plan;
  switch (info.mode) {
    case TASK_RUN_ONCE:
      plan.time = TIME_TRIGGER_ONCE;
      break;
    case TASK_RUN_DAILY:
      plan.time = TIME_TRIGGER_DAILY;
      break;
    default:
      plan.time = TIME_TRIGGER_NONE;
      break;
  }
  // A run-once task goes away after its run: a logon start would never come.
  plan.at_logon = info.logon_trigger && info.mode != TASK_RUN_ONCE;
  return plan;
}

bool IsValidDaysInterval(int days) {
  return days >= 1 && days <= 32767;
}

string16 WorkItemNameFromJob(const string16& enumerated) {
  const size_t kExtensionLength = 4;
  if (enumerated.size() >= kExtensionLength &&
      base::LowerCaseEqualsASCII16(
          base::StringPiece16(enumerated).substr(enumerated.size() - kExtensionLength),
          ".job")) {
    return enumerated.substr(0, enumerated.size() - kExtensionLength);
  }
  return enumerated;
}

uint32_t V1TaskFlags(ScheduledTaskMode mode) {
  uint32_t flags = kJobFlagRunOnlyIfLoggedOn;
  if (mode == TASK_RUN_ONCE)
    flags |= kJobFlagDeleteWhenDone;
  return flags;
}

uint32_t V1MaxRunTimeMs(uint32_t time_limit_seconds) {
  if (time_limit_seconds == 0)
    return kInfiniteRunTime;
  // Limits past about 49 days do not fit in milliseconds; they get the
  // longest finite limit rather than a wrapped, much shorter one.
  const uint64_t ms = static_cast<uint64_t>(time_limit_seconds) * 1000;
  if (ms >= kInfiniteRunTime)
    return kInfiniteRunTime - 1;
  return static_cast<uint32_t>(ms);
}

ScheduledTaskState V1StateFromStatus(int32_t status) {
  switch (status) {
    case kStatusReady:
    case kStatusHasNotRun:
      return TASK_STATE_READY;
    case kStatusRunning:
      return TASK_STATE_RUNNING;
    case kStatusDisabled:
      return TASK_STATE_DISABLED;
    case kStatusNoMoreRuns:
    case kStatusNotScheduled:
    case kStatusNoValidTriggers:
      return TASK_STATE_NO_MORE_RUNS;
    default:
      return TASK_STATE_UNKNOWN;
  }
}

ScheduledTaskState V2StateFromTaskState(int task_state) {
  switch (task_state) {
    case kTaskStateDisabled:
      return TASK_STATE_DISABLED;
    case kTaskStateQueued:
    case kTaskStateReady:
      return TASK_STATE_READY;
    case kTaskStateRunning:
      return TASK_STATE_RUNNING;
    default:
      return TASK_STATE_UNKNOWN;
  }
}

string16 ExecutionTimeLimit(uint32_t time_limit_seconds) {
  return base::ASCIIToUTF16(base::StringPrintf("PT%uS", time_limit_seconds));
}

string16 FormatBoundary(const base::Time::Exploded& local) {
  return base::ASCIIToUTF16(base::StringPrintf(
      "%02d-%02d-%02dT%02d:%02d:%02d", local.year, local.month,
      local.day_of_month, local.hour, local.minute, local.second));
}

}  // namespace task_scheduler

}  // namespace installer
