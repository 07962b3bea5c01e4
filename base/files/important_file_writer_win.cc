#include "base/files/important_file_writer.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread_task_runner_handle.h"

namespace base {

// How many writes of one file, by any writer of it, wait on a runner or
// are running there.
class ImportantFileWriter::QueuedWrites
    : public RefCountedThreadSafe<ImportantFileWriter::QueuedWrites> {
 public:
  // The one count of |path|: every store and writer of a file, under any
  // spelling of its name, shares it, so that each sees the writes the
  // others handed off. Kept for the process's life, one per file.
  // |exact| turns false when the key is only the path's text, which other
  // spellings of the file do not share.
  static scoped_refptr<QueuedWrites> ForFile(const FilePath& path,
                                             bool* exact) {
    static Lock* lock = new Lock;
    static auto* files =
        new std::map<string16, scoped_refptr<QueuedWrites>>;
    // Asks the file system, which may stall (a share): never under the lock.
    const string16 key = GetFileKey(path, exact);
    AutoLock hold(*lock);
    scoped_refptr<QueuedWrites>& queued = (*files)[key];
    if (!queued)
      queued = new QueuedWrites;
    return queued;
  }

  // Counts a write handed to |runner|; returns how many were counted
  // before.
  int Add(const scoped_refptr<SequencedTaskRunner>& runner) {
    AutoLock hold(lock_);
    runners_.push_back(runner);
    return count_.fetch_add(1);
  }
  void Done(const scoped_refptr<SequencedTaskRunner>& runner) {
    {
      AutoLock hold(lock_);
      runners_.erase(std::find(runners_.begin(), runners_.end(), runner));
    }
    count_.fetch_sub(1);
    landed_.Signal();
  }

  // Whether a runner holding a counted write may need this thread to run
  // it. Asked outside the lock: a pool answers under its own lock, and may
  // drop a write, which takes ours, under it.
  bool MayNeedThisThread() {
    std::vector<scoped_refptr<SequencedTaskRunner>> runners;
    {
      AutoLock hold(lock_);
      runners = runners_;
    }
    for (const auto& runner : runners) {
      if (runner->MayRunTasksOnCurrentThread())
        return true;
    }
    return false;
  }
  int count() const { return count_.load(); }

  bool HasRunnersOtherThan(const scoped_refptr<SequencedTaskRunner>& runner) {
    AutoLock hold(lock_);
    return std::any_of(runners_.begin(), runners_.end(),
                       [&runner](const scoped_refptr<SequencedTaskRunner>& r) {
                         return r != runner;
                       });
  }

  // Waits until at most |most| writes are counted; false when that has not
  // happened by |limit|.
  bool WaitUntilAtMost(int most, TimeDelta limit) {
    const TimeTicks end = TimeTicks::Now() + limit;
    for (;;) {
      // Reset before looking, so that a write landing after the look
      // still ends the wait; every waiter wakes at each landing.
      landed_.Reset();
      if (count_.load() <= most)
        return true;
      const TimeDelta left = end - TimeTicks::Now();
      if (left <= TimeDelta() || !landed_.TimedWait(left))
        return false;
    }
  }

 private:
  friend class RefCountedThreadSafe<QueuedWrites>;
  ~QueuedWrites() = default;

  Lock lock_;
  // The runner of each counted write.
  std::vector<scoped_refptr<SequencedTaskRunner>> runners_;
  std::atomic<int> count_{0};
  WaitableEvent landed_{WaitableEvent::ResetPolicy::MANUAL,
                        WaitableEvent::InitialState::NOT_SIGNALED};
};

// One counted write: done once it has run, or once the runner has let it
// go unrun (a pool that drops it at shutdown), so that no later write waits
// for a write that will never land. It carries its own reply: a reply
// posted with the task would keep the write unreleased, and counted, when
// the task is dropped.
class ImportantFileWriter::HandedWrite {
 public:
  HandedWrite(scoped_refptr<QueuedWrites> queued,
              scoped_refptr<SequencedTaskRunner> runner)
      : queued_(std::move(queued)), runner_(std::move(runner)) {
    earlier_ = queued_->Add(runner_) > 0;
  }
  ~HandedWrite() {
    if (queued_)
      queued_->Done(runner_);
  }

  // Some earlier write of the file was still counted.
  bool earlier() const { return earlier_; }

  // |reply| goes to |origin| once the write has run; none when null.
  void ReplyTo(scoped_refptr<SingleThreadTaskRunner> origin, Closure reply) {
    origin_ = std::move(origin);
    reply_ = std::move(reply);
  }

  static void Run(HandedWrite* write, const Closure& task) {
    task.Run();
    write->queued_->Done(write->runner_);
    write->queued_ = nullptr;
    if (write->origin_)
      write->origin_->PostTask(FROM_HERE, std::move(write->reply_));
  }

 private:
  scoped_refptr<QueuedWrites> queued_;
  const scoped_refptr<SequencedTaskRunner> runner_;
  bool earlier_ = false;
  scoped_refptr<SingleThreadTaskRunner> origin_;
  Closure reply_;
};

namespace {

constexpr int64_t kCommitIntervalSeconds = 10;

// How long a write the runner refused, or a read, waits for the earlier
// writes that a runner on another thread still has to finish (a pool
// shutting down).
constexpr int64_t kWritesWaitSeconds = 10;

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
      queued_(QueuedWrites::ForFile(path, &key_exact_)),
      weak_factory_(this) {}

ImportantFileWriter::~ImportantFileWriter() {
  timer_.Stop();
}

bool ImportantFileWriter::PostWriteTask(const Closure& task) {
  return RunInOrder(task, Closure());
}

bool ImportantFileWriter::RunInOrder(const Closure& task,
                                     const Closure& reply) {
  // A thread without a loop has nowhere to take a reply: it writes here,
  // unless an earlier write still waits on the runner; then its write goes
  // behind that one, its outcome only logged.
  HandedWrite* write = new HandedWrite(queued_, task_runner_);
  const bool earlier = write->earlier();
  Closure counted = Bind(&HandedWrite::Run, Owned(write), task);
  const bool loop = ThreadTaskRunnerHandle::IsSet();
  if (loop && reply)
    write->ReplyTo(ThreadTaskRunnerHandle::Get(), reply);
  if ((loop || earlier) && task_runner_->PostTask(FROM_HERE, counted))
    return true;
  // Refused: the write and its reply run here, if at all.
  write->ReplyTo(nullptr, Closure());
  if (!WaitForWritesBeyond(1)) {
    // Written here it would land before them, and they would undo it.
    counted.Reset();
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

bool ImportantFileWriter::WaitForHandedWrites() {
  // Writes counted under another key of the file are out of sight.
  if (!key_exact_) {
    LOG(ERROR) << path_.AsUTF8Unsafe()
               << " read without knowing its writes by other names";
    return false;
  }
  // On a thread a runner may need the read cannot wait, not even on the
  // file's own sequence: the writes are queued behind the running task.
  if (queued_->count() == 0)
    return true;
  if (WritesMayNeedThisThread())
    return false;
  if (WaitForWritesBeyond(0))
    return true;
  LOG(ERROR) << path_.AsUTF8Unsafe()
             << " read before the writes handed to its runner landed";
  return false;
}

bool ImportantFileWriter::HasWritesOnOtherRunners() const {
  return queued_->HasRunnersOtherThan(task_runner_);
}

bool ImportantFileWriter::WaitForWritesBeyond(int own) {
  if (queued_->count() <= own)
    return true;
  // A pool shutting down still runs what it took.
  if (WritesMayNeedThisThread())
    return false;
  return queued_->WaitUntilAtMost(
      own, TimeDelta::FromSeconds(kWritesWaitSeconds));
}

bool ImportantFileWriter::WritesMayNeedThisThread() const {
  // Only threads the runners do not need can wait for their work: on a
  // runner's own thread, or on any worker of its pool (the one it needs may
  // be this one), the wait might never end.
  return task_runner_->MayRunTasksOnCurrentThread() ||
         queued_->MayNeedThisThread();
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
