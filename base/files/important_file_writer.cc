#include "base/files/important_file_writer.h"

#include <stdint.h>

#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/threading/thread_task_runner_handle.h"

namespace base {

namespace {

constexpr int64_t kCommitIntervalSeconds = 10;

// Larger data cannot be written with one File::Write.
constexpr size_t kMaxDataSize = 0x7FFFFFFF;

bool WriteStringToFileAtomically(const FilePath& path,
                                 const std::string* data) {
  return ImportantFileWriter::WriteFileAtomically(path, *data);
}

}  // namespace

ImportantFileWriter::ImportantFileWriter(
    const FilePath& path,
    scoped_refptr<SequencedTaskRunner> task_runner)
    : path_(path),
      task_runner_(std::move(task_runner)),
      commit_interval_(TimeDelta::FromSeconds(kCommitIntervalSeconds)),
      weak_factory_(this) {}

ImportantFileWriter::~ImportantFileWriter() {
  timer_.Stop();
}

bool ImportantFileWriter::HasPendingWrite() const {
  return timer_.IsRunning();
}

void ImportantFileWriter::WriteNow(std::unique_ptr<std::string> data) {
  if (data->size() > kMaxDataSize)
    return;
  if (HasPendingWrite())
    timer_.Stop();

  // The task owns its copy of the path and the data, so it completes even
  // when this writer is gone.
  Callback<bool()> task =
      Bind(&WriteStringToFileAtomically, path_, Owned(data.release()));
  if (!PostWriteTask(task))
    task.Run();
}

void ImportantFileWriter::ScheduleWrite(DataSerializer* serializer) {
  serializer_ = serializer;
  if (!timer_.IsRunning()) {
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
    WriteFor(serializer, std::move(data));
}

void ImportantFileWriter::WriteFor(DataSerializer* serializer,
                                   std::unique_ptr<std::string> data) {
  if (data->size() > kMaxDataSize) {
    serializer->OnWriteDone(false);
    return;
  }
  bool* success = new bool(false);
  Closure write = Bind(
      [](const FilePath& path, const std::string* data, bool* success) {
        *success = WriteStringToFileAtomically(path, data);
      },
      path_, Owned(data.release()), success);
  // The reply owns the result; it reaches the serializer only while this
  // writer (and so its owner) lives. A thread without a loop has nowhere
  // to take a reply: its runner must run the write here.
  Closure reply = Bind(&ImportantFileWriter::OnWriteDone,
                       weak_factory_.GetWeakPtr(), serializer, Owned(success));
  if (!ThreadTaskRunnerHandle::IsSet() ||
      !task_runner_->PostTaskAndReply(FROM_HERE, write, reply)) {
    write.Run();
    reply.Run();
  }
}

void ImportantFileWriter::OnWriteDone(DataSerializer* serializer,
                                      const bool* success) {
  serializer->OnWriteDone(*success);
}

bool ImportantFileWriter::PostWriteTask(const Callback<bool()>& task) {
  // The disk task's result is of no use here.
  Closure closure = Bind([](const Callback<bool()>& write) { write.Run(); },
                         task);
  return task_runner_->PostTask(FROM_HERE, std::move(closure));
}

}  // namespace base
