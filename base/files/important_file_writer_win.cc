#include "base/files/important_file_writer.h"

#include <algorithm>
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

  // Counts a write handed to |runner|; returns its ticket, greater than
  // that of every write counted before.
  uint64_t Add(const scoped_refptr<SequencedTaskRunner>& runner) {
    AutoLock hold(lock_);
    writes_[next_ticket_] = runner;
    return next_ticket_++;
  }
  void Done(uint64_t ticket) {
    AutoLock hold(lock_);
    writes_.erase(ticket);
    // Each waiter has its own event: no waiter can swallow another's wake.
    for (WaitableEvent* waiter : waiters_)
      waiter->Signal();
  }

  // The ticket the next write will get: every write counted so far is
  // before it.
  uint64_t NextTicket() {
    AutoLock hold(lock_);
    return next_ticket_;
  }
  // Some write counted before |ticket| has not landed.
  bool AnyBefore(uint64_t ticket) {
    AutoLock hold(lock_);
    return !writes_.empty() && writes_.begin()->first < ticket;
  }

  // Whether a runner holding a counted write may need this thread to run
  // it. Asked outside the lock: a pool answers under its own lock, and may
  // drop a write, which takes ours, under it.
  bool MayNeedThisThread() {
    std::vector<scoped_refptr<SequencedTaskRunner>> runners;
    {
      AutoLock hold(lock_);
      for (const auto& write : writes_)
        runners.push_back(write.second);
    }
    for (const auto& runner : runners) {
      if (runner->MayRunTasksOnCurrentThread())
        return true;
    }
    return false;
  }

  bool HasRunnersOtherThan(const scoped_refptr<SequencedTaskRunner>& runner) {
    AutoLock hold(lock_);
    return std::any_of(writes_.begin(), writes_.end(),
                       [&runner](const Writes::value_type& write) {
                         return write.second != runner;
                       });
  }

  // Waits until every write counted before |ticket| has landed, never for
  // later ones (they may be waiting for this one); false when that has not
  // happened by |limit|.
  bool WaitForWritesBefore(uint64_t ticket, TimeDelta limit) {
    WaitableEvent landed(WaitableEvent::ResetPolicy::AUTOMATIC,
                         WaitableEvent::InitialState::NOT_SIGNALED);
    const TimeTicks end = TimeTicks::Now() + limit;
    bool done = false;
    for (;;) {
      {
        // Looked at and registered under one lock, so that a landing after
        // the look still sets this waiter's event.
        AutoLock hold(lock_);
        done = writes_.empty() || writes_.begin()->first >= ticket;
        if (done)
          break;
        if (std::find(waiters_.begin(), waiters_.end(), &landed) ==
            waiters_.end())
          waiters_.push_back(&landed);
      }
      const TimeDelta left = end - TimeTicks::Now();
      if (left <= TimeDelta() || !landed.TimedWait(left))
        break;
    }
    AutoLock hold(lock_);
    waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), &landed),
                   waiters_.end());
    return done;
  }

 private:
  friend class RefCountedThreadSafe<QueuedWrites>;
  ~QueuedWrites() = default;

  using Writes = std::map<uint64_t, scoped_refptr<SequencedTaskRunner>>;

  Lock lock_;
  // The runner of each counted write, by its ticket.
  Writes writes_;
  uint64_t next_ticket_ = 0;
  std::vector<WaitableEvent*> waiters_;
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
    ticket_ = queued_->Add(runner_);
    earlier_ = queued_->AnyBefore(ticket_);
  }
  ~HandedWrite() {
    if (queued_)
      queued_->Done(ticket_);
  }

  // Some earlier write of the file was still counted.
  bool earlier() const { return earlier_; }
  uint64_t ticket() const { return ticket_; }

  // |reply| goes to |origin| once the write has run; none when null.
  void ReplyTo(scoped_refptr<SingleThreadTaskRunner> origin, Closure reply) {
    origin_ = std::move(origin);
    reply_ = std::move(reply);
  }

  static void Run(HandedWrite* write, const Closure& task) {
    task.Run();
    write->queued_->Done(write->ticket_);
    write->queued_ = nullptr;
    if (write->origin_)
      write->origin_->PostTask(FROM_HERE, std::move(write->reply_));
  }

 private:
  scoped_refptr<QueuedWrites> queued_;
  const scoped_refptr<SequencedTaskRunner> runner_;
  uint64_t ticket_ = 0;
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
      weak_factory_(this) {
  // A runner named by an inexact key is not the file's: other names of the
  // file have their own, which would run their writes beside this one's.
  runner_is_the_files_ = key_exact_;
}

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
  const bool exact = KeyExact();
  HandedWrite* write = new HandedWrite(queued_, task_runner_);
  const bool earlier = write->earlier();
  Closure counted = Bind(&HandedWrite::Run, Owned(write), task);
  const bool loop = ThreadTaskRunnerHandle::IsSet();
  if (loop && reply)
    write->ReplyTo(ThreadTaskRunnerHandle::Get(), reply);
  if (runner_is_the_files_ && (loop || earlier) &&
      task_runner_->PostTask(FROM_HERE, counted)) {
    return true;
  }
  // Refused, or the runner is not the file's: the write and its reply run
  // here, if at all.
  write->ReplyTo(nullptr, Closure());
  if (!exact || !WaitForWritesBefore(write->ticket())) {
    // Written here it would land before them, and they would undo it.
    counted.Reset();
    LOG(ERROR) << path_.AsUTF8Unsafe()
               << (exact ? " not written: its runner refuses writes while"
                           " earlier ones wait there"
                         : " not written: its writes by other names are out"
                           " of sight");
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
  if (!KeyExact()) {
    LOG(ERROR) << path_.AsUTF8Unsafe()
               << " read without knowing its writes by other names";
    return false;
  }
  // On a thread a runner may need the read cannot wait, not even on the
  // file's own sequence: the writes are queued behind the running task.
  const uint64_t ticket = queued_->NextTicket();
  if (!queued_->AnyBefore(ticket))
    return true;
  if (WritesMayNeedThisThread())
    return false;
  if (WaitForWritesBefore(ticket))
    return true;
  LOG(ERROR) << path_.AsUTF8Unsafe()
             << " read before the writes handed to its runner landed";
  return false;
}

bool ImportantFileWriter::HasWritesOnOtherRunners() const {
  // A runner that is not the file's runs nothing in order with its writes.
  return !runner_is_the_files_ || queued_->HasRunnersOtherThan(task_runner_);
}

bool ImportantFileWriter::KeyExact() {
  if (key_exact_)
    return true;
  bool exact = false;
  scoped_refptr<QueuedWrites> queued = QueuedWrites::ForFile(path_, &exact);
  if (exact) {
    queued_ = std::move(queued);
    key_exact_ = true;
  }
  return key_exact_;
}

bool ImportantFileWriter::WaitForWritesBefore(uint64_t ticket) {
  if (!queued_->AnyBefore(ticket))
    return true;
  // A pool shutting down still runs what it took.
  if (WritesMayNeedThisThread())
    return false;
  return queued_->WaitForWritesBefore(
      ticket, TimeDelta::FromSeconds(kWritesWaitSeconds));
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
