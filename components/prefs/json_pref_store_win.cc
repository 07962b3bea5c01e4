#include "components/prefs/json_pref_store.h"

#include <utility>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/json/json_file_value_serializer.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/values.h"

namespace base {

namespace {

// How long a read waits for the writes already handed to the file's runner.
constexpr int64_t kHandedWritesWaitSeconds = 10;

// Reached once the file's runner has come to a task posted after the
// writes handed to it, or has let the task go unrun.
class RunnerReached : public RefCountedThreadSafe<RunnerReached> {
 public:
  WaitableEvent event{WaitableEvent::ResetPolicy::MANUAL,
                      WaitableEvent::InitialState::NOT_SIGNALED};

 private:
  friend class RefCountedThreadSafe<RunnerReached>;
  ~RunnerReached() = default;
};

class SignalWhenGone {
 public:
  explicit SignalWhenGone(scoped_refptr<RunnerReached> reached)
      : reached_(std::move(reached)) {}
  ~SignalWhenGone() { reached_->event.Signal(); }
  void Signal() { reached_->event.Signal(); }

 private:
  const scoped_refptr<RunnerReached> reached_;
};

// Maps a failed read to its pref read error. A file that is not valid JSON
// is moved aside to the same name with the extension "bad", so that the
// next write starts a good file without destroying the damaged one.
PrefReadError HandleReadFailure(const FilePath& path, int error_code) {
  switch (error_code) {
    case JSONFileValueDeserializer::JSON_ACCESS_DENIED:
      return PREF_READ_ERROR_ACCESS_DENIED;
    case JSONFileValueDeserializer::JSON_CANNOT_READ_FILE:
      return PREF_READ_ERROR_FILE_OTHER;
    case JSONFileValueDeserializer::JSON_FILE_LOCKED:
      return PREF_READ_ERROR_FILE_LOCKED;
    case JSONFileValueDeserializer::JSON_NO_SUCH_FILE:
      return PREF_READ_ERROR_NO_FILE;
    default: {
      const FilePath bad = path.ReplaceExtension(u"bad");
      const bool bad_existed = PathExists(bad);
      // When the damaged file cannot be moved aside, the next write would
      // destroy its only copy: leave it alone and the store read-only.
      if (!Move(path, bad))
        return PREF_READ_ERROR_FILE_OTHER;
      return bad_existed ? PREF_READ_ERROR_JSON_REPEAT
                         : PREF_READ_ERROR_JSON_PARSE;
    }
  }
}

void RecordReadSize(const FilePath& path, size_t bytes) {
  HistogramBase* histogram = Histogram::FactoryGet(
      "Settings.JsonDataReadSizeKilobytes." +
          internal::GetSpacelessBaseName(path),
      1, 10000, 50, HistogramBase::kUmaTargetedHistogramFlag);
  const size_t kilobytes = bytes / 1024;
  histogram->Add(kilobytes > 0x7FFFFFFF ? 0x7FFFFFFF
                                        : static_cast<int>(kilobytes));
}

}  // namespace

// static
std::unique_ptr<JsonPrefStore::ReadResult> JsonPrefStore::ReadPrefsFromDisk(
    const FilePath& path) {
  std::unique_ptr<ReadResult> result(new ReadResult);
  JSONFileValueDeserializer deserializer(path);
  int error_code = 0;
  std::string error_message;
  result->value = deserializer.Deserialize(&error_code, &error_message);

  if (!result->value)
    result->error = HandleReadFailure(path, error_code);
  else if (!result->value->IsType(Value::TYPE_DICTIONARY))
    result->error = PREF_READ_ERROR_JSON_TYPE;
  else
    result->error = PREF_READ_ERROR_NONE;

  result->no_dir = !DirectoryExists(path.DirName());

  if (result->error == PREF_READ_ERROR_NONE)
    RecordReadSize(path, deserializer.get_last_read_size());
  return result;
}

void JsonPrefStore::WaitForHandedWrites() const {
  // Tasks of the runner's own thread cannot run while this one waits; on
  // a pool's worker, the one the runner needs may be this one.
  if (task_runner_->RunsTasksOnCurrentThread() ||
      SequencedWorkerPool::GetWorkerPoolForCurrentThread()) {
    return;
  }
  scoped_refptr<RunnerReached> reached(new RunnerReached);
  Closure mark = Bind([](SignalWhenGone* signal) { signal->Signal(); },
                      Owned(new SignalWhenGone(reached)));
  if (!task_runner_->PostTask(FROM_HERE, std::move(mark)))
    return;
  if (!reached->event.TimedWait(
          TimeDelta::FromSeconds(kHandedWritesWaitSeconds))) {
    LOG(ERROR) << path_.AsUTF8Unsafe()
               << " read before the writes handed to its runner landed";
  }
}

}  // namespace base
