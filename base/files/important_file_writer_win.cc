#include "base/files/important_file_writer.h"

#include <atomic>
#include <utility>

#include "base/bind.h"
#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread_task_runner_handle.h"

namespace base {

// How many writes wait on the runner or are running there, the one being
// made included.
class ImportantFileWriter::QueuedWrites
    : public RefCountedThreadSafe<ImportantFileWriter::QueuedWrites> {
 public:
  // Returns how many were counted before.
  int Add() { return count_.fetch_add(1); }
  void Done() {
    count_.fetch_sub(1);
    landed_.Signal();
  }
  int count() const { return count_.load(); }

  // Waits until only the caller's own write is counted; false when that
  // has not happened by |limit|.
  bool WaitUntilAlone(TimeDelta limit) {
    const TimeTicks end = TimeTicks::Now() + limit;
    while (count_.load() > 1) {
      const TimeDelta left = end - TimeTicks::Now();
      if (left <= TimeDelta() || !landed_.TimedWait(left))
        return false;
    }
    return true;
  }

  static void RunCounted(const scoped_refptr<QueuedWrites>& queued,
                         const Closure& task) {
    task.Run();
    queued->Done();
  }

 private:
  friend class RefCountedThreadSafe<QueuedWrites>;
  ~QueuedWrites() = default;

  std::atomic<int> count_{0};
  WaitableEvent landed_{WaitableEvent::ResetPolicy::AUTOMATIC,
                        WaitableEvent::InitialState::NOT_SIGNALED};
};

namespace {

constexpr int64_t kCommitIntervalSeconds = 10;

// How long a write the runner refused waits for the earlier ones that a
// runner on another thread still has to finish (a pool shutting down).
constexpr int64_t kEarlierWritesWaitSeconds = 10;

void RecordTempFileFailure(ImportantFileWriter::TempFileFailure failure) {
  static HistogramBase* histogram = LinearHistogram::FactoryGet(
      "ImportantFile.TempFileFailures",
      ImportantFileWriter::TEMP_FILE_FAILURE_MAX,
      ImportantFileWriter::TEMP_FILE_FAILURE_MAX + 1);
  histogram->Add(failure);
}

// Drops the temporary file of a failed write and records why it failed.
bool FailWrite(const FilePath& temp_file,
               ImportantFileWriter::TempFileFailure failure) {
  RecordTempFileFailure(failure);
  DeleteFile(temp_file, false);
  return false;
}

}  // namespace

ImportantFileWriter::ImportantFileWriter(
    const FilePath& path,
    scoped_refptr<SequencedTaskRunner> task_runner)
    : path_(path),
      task_runner_(std::move(task_runner)),
      commit_interval_(TimeDelta::FromSeconds(kCommitIntervalSeconds)),
      queued_(new QueuedWrites),
      weak_factory_(this) {}

ImportantFileWriter::~ImportantFileWriter() {
  timer_.Stop();
}

bool ImportantFileWriter::PostWriteTask(const Closure& task) {
  return RunInOrder(task, Closure());
}

bool ImportantFileWriter::RunInOrder(const Closure& task,
                                     const Closure& reply) {
  Closure counted = Bind(&QueuedWrites::RunCounted, queued_, task);
  // A thread without a loop has nowhere to take a reply: it writes here,
  // unless an earlier write still waits on the runner; then its write goes
  // behind that one, its outcome only logged.
  const bool earlier = queued_->Add() > 0;
  bool posted;
  if (!ThreadTaskRunnerHandle::IsSet())
    posted = earlier && task_runner_->PostTask(FROM_HERE, counted);
  else if (reply)
    posted = task_runner_->PostTaskAndReply(FROM_HERE, counted, reply);
  else
    posted = task_runner_->PostTask(FROM_HERE, counted);
  if (posted)
    return true;
  if (!WaitForEarlierWrites()) {
    // Written here it would land before them, and they would undo it.
    queued_->Done();
    LOG(ERROR) << path_.AsUTF8Unsafe()
               << " not written: its runner refuses writes while earlier"
                  " ones wait there";
    if (reply)
      reply.Run();
    return false;
  }
  counted.Run();
  if (reply)
    reply.Run();
  return true;
}

bool ImportantFileWriter::WaitForEarlierWrites() {
  if (queued_->count() <= 1)
    return true;
  // Only a runner on another thread can finish them while this one waits;
  // a pool shutting down still runs what it took.
  if (task_runner_->RunsTasksOnCurrentThread())
    return false;
  return queued_->WaitUntilAlone(
      TimeDelta::FromSeconds(kEarlierWritesWaitSeconds));
}

// static
bool ImportantFileWriter::WriteFileAtomically(const FilePath& path,
                                              StringPiece data) {
  // The temporary file lives beside the target so that the final move
  // stays on one volume and cannot be half done.
  FilePath temp_file;
  if (!CreateTemporaryFileInDir(path.DirName(), &temp_file)) {
    RecordTempFileFailure(FAILED_CREATING);
    return false;
  }

  File file(temp_file, File::FLAG_OPEN | File::FLAG_WRITE);
  if (!file.IsValid())
    return FailWrite(temp_file, FAILED_OPENING);

  CHECK_LE(data.size(), static_cast<size_t>(0x7FFFFFFF));
  const int size = static_cast<int>(data.size());
  const int written = file.Write(0, data.data(), size);
  const bool flushed = file.Flush();
  file.Close();

  if (written != size)
    return FailWrite(temp_file, FAILED_WRITING);
  if (!flushed)
    return FailWrite(temp_file, FAILED_FLUSHING);
  if (!ReplaceFile(temp_file, path)) {
    // When the target is gone (or cannot be seen), the temporary file may
    // hold the only copy of the data left: it stays.
    if (!PathExists(path)) {
      RecordTempFileFailure(FAILED_RENAMING);
      return false;
    }
    return FailWrite(temp_file, FAILED_RENAMING);
  }
  return true;
}

}  // namespace base
