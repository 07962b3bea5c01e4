#ifndef BASE_FILES_IMPORTANT_FILE_WRITER_H_
#define BASE_FILES_IMPORTANT_FILE_WRITER_H_

#include <stdint.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/sequenced_task_runner.h"
#include "base/strings/string_piece.h"
#include "base/time/time.h"
#include "base/timer/timer.h"

namespace base {

// Keeps one file up to date without ever leaving it half written: data goes
// to a temporary file in the same folder, which is flushed and then moved
// over the target. Changes are batched: the first ScheduleWrite fixes a
// deadline |commit_interval| away, and the serializer is asked for the data
// once, then. The disk work runs on |task_runner|, in the order the writes
// were made; a write the runner refuses, or one made on a thread without a
// loop (which can take no reply), happens on the calling thread, but only
// when none of the earlier writes of the file, by any writer, still waits
// on a runner (a runner on another thread is waited for). So does every
// write when the file could not be keyed at first; while it still cannot,
// nothing is written (logged).
//
// Used on one thread. A scheduled write that has not happened is lost when
// the writer goes away, so owners flush with DoScheduledWrite first. On a
// thread without a loop nothing fires: scheduled writes wait for that flush.
class ImportantFileWriter {
 public:
  // The step of WriteFileAtomically that failed, recorded in the histogram
  // "ImportantFile.TempFileFailures".
  enum TempFileFailure {
    FAILED_CREATING = 0,
    FAILED_OPENING = 1,
    // 2 is not used.
    FAILED_WRITING = 3,
    FAILED_RENAMING = 4,
    FAILED_FLUSHING = 5,
    TEMP_FILE_FAILURE_MAX = 6,
  };

  class DataSerializer {
   public:
    // False: nothing to write.
    virtual bool SerializeData(std::string* output) = 0;
    // The write of the data of the |write|-th SerializeData of this writer
    // that returned true (counted from 1) has run; |success|: the file now
    // holds it. Told on the writer's thread, not always in order, once:
    // by the write's reply, or by ReportRunWrites when it has run first (a
    // write handed off from a thread without a loop has only that).
    virtual void OnWriteDone(uint64_t write, bool success) {}

   protected:
    virtual ~DataSerializer() = default;
  };

  ImportantFileWriter(const FilePath& path,
                      scoped_refptr<SequencedTaskRunner> task_runner);
  ~ImportantFileWriter();

  ImportantFileWriter(const ImportantFileWriter&) = delete;
  ImportantFileWriter& operator=(const ImportantFileWriter&) = delete;

  // The atomic write itself, on the calling thread. False when the target
  // was left as it was.
  static bool WriteFileAtomically(const FilePath& path, StringPiece data);

  const FilePath& path() const { return path_; }
  TimeDelta commit_interval() const { return commit_interval_; }

  // A write is scheduled and has not been done yet.
  bool HasPendingWrite() const;

  // Writes |data| now (as a scheduled write would); cancels a scheduled
  // write.
  void WriteNow(std::unique_ptr<std::string> data);

  // Asks |serializer| for the data |commit_interval| after the first
  // request; a later request only replaces the serializer. The serializer
  // must stay alive until the write happens or is cancelled.
  void ScheduleWrite(DataSerializer* serializer);

  // Performs the scheduled write at once.
  void DoScheduledWrite();

  // Runs |task|, disk work on the file, behind every write made so far, as
  // a write would run. False when it ran nowhere (logged).
  bool PostWriteTask(const Closure& task);

  // Runs |write|, disk work that returns whether the file now holds what it
  // was to write, as the next serialization of |serializer| would be
  // written; its outcome is logged and told the same way.
  void PostWrite(DataSerializer* serializer, const Callback<bool()>& write);

  // Lets the writes of the file already handed to a runner, by any writer
  // of it, land before a read here. False, logged, when some may still be
  // left (the runner needs this thread, or they took too long).
  bool WaitForHandedWrites();

  // Some writes of the file wait on runners other than this writer's, or
  // this writer's runner is not the file's (its key was not exact at first:
  // it then writes on the calling thread, behind the file's writes).
  bool HasWritesOnOtherRunners() const;

  // Tells the serializers the outcomes of their writes that have run and
  // were not told yet, without waiting for the replies.
  void ReportRunWrites();

  // Whether the |write|-th write of |serializer| has not landed, asked
  // where it can be known: by a write run behind it. Always true for a
  // write whose outcome was told.
  Callback<bool()> NotLanded(DataSerializer* serializer, uint64_t write) const;

 private:
  // The outcome of one write, filled in on the runner and read here.
  class Outcome : public RefCountedThreadSafe<Outcome> {
   public:
    // Set on the runner: |success| first, then |ran|.
    bool success = false;
    std::atomic<bool> ran{false};
    // On the writer's thread: the serializer was told.
    bool reported = false;

   private:
    friend class RefCountedThreadSafe<Outcome>;
    ~Outcome() = default;
  };
  class QueuedWrites;
  class HandedWrite;

  // Writes |data|, the |write|-th serialization of |serializer| (null: none),
  // and tells it the outcome.
  void WriteFor(DataSerializer* serializer,
                uint64_t write,
                std::unique_ptr<std::string> data);
  // Runs |task| as the |write|-th write of |serializer|.
  void RunWrite(DataSerializer* serializer,
                uint64_t write,
                const Callback<bool()>& task);
  // Runs |task| on the runner, then |reply| (if any) back here; when the
  // runner refuses, both here, but only after the earlier writes.
  bool RunInOrder(const Closure& task, const Closure& reply);
  // Whether every write of the file counted before |ticket| has landed;
  // waits for those a runner on another thread still runs.
  bool WaitForWritesBefore(uint64_t ticket);
  // Whether waiting here for the file's writes might never end.
  bool WritesMayNeedThisThread() const;
  // Whether the file's key is exact now; a key that was not is looked up
  // again (the failure may have passed).
  bool KeyExact();
  void OnWriteDone(DataSerializer* serializer,
                   uint64_t write,
                   const scoped_refptr<Outcome>& outcome);

  struct Unreported {
    DataSerializer* serializer;
    uint64_t write;
    scoped_refptr<Outcome> outcome;
  };

  const FilePath path_;
  const scoped_refptr<SequencedTaskRunner> task_runner_;
  OneShotTimer timer_;
  // Set while a write is scheduled: the timer's task dies with the loop.
  DataSerializer* serializer_ = nullptr;
  uint64_t serializations_ = 0;
  // The writes for a serializer whose outcome it has not been told.
  std::vector<Unreported> unreported_;
  // Set before |queued_|, by the look-up of its key.
  bool key_exact_ = true;
  // Shared with the writes on the runner, which may outlive the writer.
  scoped_refptr<QueuedWrites> queued_;
  // The key was exact at first, so the runner is the file's own.
  bool runner_is_the_files_ = true;
  const TimeDelta commit_interval_;
  WeakPtrFactory<ImportantFileWriter> weak_factory_;
};

}  // namespace base

#endif  // BASE_FILES_IMPORTANT_FILE_WRITER_H_
