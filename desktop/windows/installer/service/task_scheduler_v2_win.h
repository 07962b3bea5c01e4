#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_WIN_H_

#include <windows.h>
#include <taskschd.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "desktop/windows/installer/service/task_scheduler.h"

namespace installer {

// The client over the Task Scheduler 2.0 interfaces (Vista and later).
// Tasks live in the library's root folder.
class TaskSchedulerV2 : public TaskScheduler {
 public:
  TaskSchedulerV2();
  ~TaskSchedulerV2() override;

  TaskSchedulerV2(const TaskSchedulerV2&) = delete;
  TaskSchedulerV2& operator=(const TaskSchedulerV2&) = delete;

  bool Init() override;
  bool RegisterTask(const ScheduledTaskInfo& info) override;
  void DeleteOrphanedTasks() override;
  void DeleteTask(const string16& task_id) override;
  void SetDailyInterval(const string16& task_id, int days) override;
  void SetEnabled(const string16& task_id, bool enabled) override;
  bool RunTask(const string16& task_id,
               const std::vector<string16>& arguments) override;
  ScheduledTaskState GetState(const string16& task_id) override;
  base::Time GetLastRunTime(const string16& task_id) override;

  // Init() over a service object that is already created: connects it and
  // opens the root folder.
  bool InitWithService(ITaskService* service);

 protected:
  // Whether the process's user is an administrator, whose tasks run at the
  // highest run level.
  virtual bool IsAdministrator();

 private:
  bool OpenTask(const string16& task_id,
                Microsoft::WRL::ComPtr<IRegisteredTask>* task);
  bool ShouldDeleteOrphan(IRegisteredTask* task, const std::string& product_name,
                          std::wstring* name);

  Microsoft::WRL::ComPtr<ITaskService> service_;
  Microsoft::WRL::ComPtr<ITaskFolder> root_folder_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_WIN_H_
