#include "base/files/important_file_writer.h"

#include <stdint.h>

#include <atomic>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread_task_runner_handle.h"

namespace base {

// The outcome of one write, filled in on the runner and read by the reply.
class ImportantFileWriter::Outcome
    : public RefCountedThreadSafe<ImportantFileWriter::Outcome> {
 public:
  bool success = false;

 private:
  friend class RefCountedThreadSafe<Outcome>;
  ~Outcome() = default;
};

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

// Larger data cannot be written with one File::Write.
constexpr size_t kMaxDataSize = 0x7FFFFFFF;

// How long a write the runner refused waits for the earlier ones that a
// runner on another thread still has to finish (a pool shutting down).
constexpr int64_t kEarlierWritesWaitSeconds = 10;

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

bool ImportantFileWriter::HasPendingWrite() const {
  return serializer_ != nullptr;
}

void ImportantFileWriter::WriteNow(std::unique_ptr<std::string> data) {
  serializer_ = nullptr;
  timer_.Stop();
  WriteFor(nullptr, 0, std::move(data));
}

void ImportantFileWriter::ScheduleWrite(DataSerializer* serializer) {
  serializer_ = serializer;
  if (!timer_.IsRunning() && ThreadTaskRunnerHandle::IsSet()) {
    timer_.Start(FROM_HERE, commit_interval_,
                 Bind(&ImportantFileWriter::DoScheduledWrite,
                      weak_factory_.GetWeakPtr()));
  }
}

void ImportantFileWriter::DoScheduledWrite() {
  // The owner may flush when nothing is scheduled; and a serializer with
  // nothing to write must still leave the writer idle, or the timer would
  // come back later without one.
  DataSerializer* serializer = serializer_;
  serializer_ = nullptr;
  timer_.Stop();
  if (!serializer)
    return;
  std::unique_ptr<std::string> data(new std::string);
  if (serializer->SerializeData(data.get()))
    WriteFor(serializer, ++serializations_, std::move(data));
}

void ImportantFileWriter::WriteFor(DataSerializer* serializer,
                                   uint64_t write,
                                   std::unique_ptr<std::string> data) {
  scoped_refptr<Outcome> outcome(new Outcome);
  // The reply reaches the serializer only while this writer (and so its
  // owner) lives.
  Closure reply = Bind(&ImportantFileWriter::OnWriteDone,
                       weak_factory_.GetWeakPtr(), serializer, write, outcome);
  if (data->size() > kMaxDataSize) {
    LOG(ERROR) << path_.AsUTF8Unsafe() << " not written: too much data";
    reply.Run();
    return;
  }
  // The task owns its copy of the path and the data, so it completes even
  // when this writer is gone.
  Closure task = Bind(
      [](const FilePath& path, const std::string* data,
         const scoped_refptr<Outcome>& outcome) {
        outcome->success = WriteFileAtomically(path, *data);
        if (!outcome->success)
          LOG(ERROR) << path.AsUTF8Unsafe() << " not written";
      },
      path_, Owned(data.release()), outcome);
  RunInOrder(task, reply);
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

void ImportantFileWriter::OnWriteDone(DataSerializer* serializer,
                                      uint64_t write,
                                      const scoped_refptr<Outcome>& outcome) {
  if (serializer)
    serializer->OnWriteDone(write, outcome->success);
}

}  // namespace base
