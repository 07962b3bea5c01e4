#include "base/files/important_file_writer.h"

#include <stdint.h>

#include <algorithm>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/threading/thread_task_runner_handle.h"

namespace base {

namespace {

// Larger data cannot be written with one File::Write.
constexpr size_t kMaxDataSize = 0x7FFFFFFF;

}  // namespace

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
  if (data->size() > kMaxDataSize) {
    LOG(ERROR) << path_.AsUTF8Unsafe() << " not written: too much data";
    OnWriteDone(serializer, write, new Outcome);
    return;
  }
  // The task owns its copy of the path and the data, so it completes even
  // when this writer is gone.
  RunWrite(serializer, write,
           Bind(
               [](const FilePath& path, const std::string* data) {
                 return WriteFileAtomically(path, *data);
               },
               path_, Owned(data.release())));
}

void ImportantFileWriter::PostWrite(DataSerializer* serializer,
                                    const Callback<bool()>& write) {
  RunWrite(serializer, ++serializations_, write);
}

void ImportantFileWriter::RunWrite(DataSerializer* serializer,
                                   uint64_t write,
                                   const Callback<bool()>& task) {
  scoped_refptr<Outcome> outcome(new Outcome);
  // The reply reaches the serializer only while this writer (and so its
  // owner) lives.
  Closure reply = Bind(&ImportantFileWriter::OnWriteDone,
                       weak_factory_.GetWeakPtr(), serializer, write, outcome);
  Closure run = Bind(
      [](const FilePath& path, const Callback<bool()>& task,
         const scoped_refptr<Outcome>& outcome) {
        outcome->success = task.Run();
        if (!outcome->success)
          LOG(ERROR) << path.AsUTF8Unsafe() << " not written";
        outcome->ran.store(true);
      },
      path_, task, outcome);
  if (serializer)
    unreported_.push_back({serializer, write, outcome});
  RunInOrder(run, reply);
}

void ImportantFileWriter::OnWriteDone(DataSerializer* serializer,
                                      uint64_t write,
                                      const scoped_refptr<Outcome>& outcome) {
  if (!serializer || outcome->reported)
    return;
  outcome->reported = true;
  auto listed = std::find_if(
      unreported_.begin(), unreported_.end(),
      [&outcome](const Unreported& u) { return u.outcome == outcome; });
  if (listed != unreported_.end())
    unreported_.erase(listed);
  serializer->OnWriteDone(write, outcome->success);
}

void ImportantFileWriter::ReportRunWrites() {
  // Taken out first: a serializer told of a failure may write again.
  std::vector<Unreported> run;
  for (auto it = unreported_.begin(); it != unreported_.end();) {
    if (it->outcome->ran.load()) {
      it->outcome->reported = true;
      run.push_back(std::move(*it));
      it = unreported_.erase(it);
    } else {
      ++it;
    }
  }
  for (const Unreported& write : run)
    write.serializer->OnWriteDone(write.write, write.outcome->success);
}

Callback<bool()> ImportantFileWriter::NotLanded(DataSerializer* serializer,
                                                uint64_t write) const {
  auto listed = std::find_if(unreported_.begin(), unreported_.end(),
                             [&](const Unreported& u) {
                               return u.serializer == serializer &&
                                      u.write == write;
                             });
  if (listed == unreported_.end())
    return Bind([] { return true; });
  return Bind(
      [](const scoped_refptr<Outcome>& outcome) {
        return !outcome->ran.load() || !outcome->success;
      },
      listed->outcome);
}

}  // namespace base
