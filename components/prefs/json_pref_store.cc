#include "components/prefs/json_pref_store.h"

#include <algorithm>
#include <utility>

#include "base/bind.h"
#include "base/json/json_string_value_serializer.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"
#include "base/strings/string_util.h"
#include "base/threading/thread_task_runner_handle.h"
#include "base/time/default_clock.h"
#include "base/values.h"

namespace base {

namespace {

constexpr int64_t kReportIntervalMinutes = 5;

// Windows without any write after a long gap are reported as zeros, but
// only up to a week of them: a clock that jumps years ahead must not keep
// this thread busy adding samples.
constexpr int64_t kMaxIdleWindowsReported = 7 * 24 * 60 / kReportIntervalMinutes;

// Whether a read that ended in |error| leaves the file never to be written:
// it may hold data we could not see.
bool KeepsFileAsItIs(PrefReadError error) {
  switch (error) {
    case PREF_READ_ERROR_JSON_TYPE:
    case PREF_READ_ERROR_ACCESS_DENIED:
    case PREF_READ_ERROR_FILE_OTHER:
    case PREF_READ_ERROR_FILE_LOCKED:
      return true;
    default:
      return false;
  }
}

// The dictionary a read brought, or an empty one.
std::unique_ptr<DictionaryValue> TakePrefs(JsonPrefStore::ReadResult* read) {
  DictionaryValue* dictionary = nullptr;
  if (read->error != PREF_READ_ERROR_NONE || !read->value ||
      !read->value->GetAsDictionary(&dictionary)) {
    return std::unique_ptr<DictionaryValue>(new DictionaryValue);
  }
  read->value.release();
  return std::unique_ptr<DictionaryValue>(dictionary);
}

// Compact JSON of |prefs| for the file at |path|.
bool SerializePrefs(const FilePath& path,
                    const DictionaryValue& prefs,
                    std::string* output) {
  JSONStringValueSerializer serializer(output);
  if (serializer.Serialize(prefs))
    return true;
  LOG(ERROR) << path.AsUTF8Unsafe()
             << " not written: a value cannot be written as JSON";
  return false;
}

}  // namespace

namespace internal {

std::string GetSpacelessBaseName(const FilePath& path) {
  std::string name = path.BaseName().MaybeAsASCII();
  std::string spaceless;
  ReplaceChars(name, " ", "_", &spaceless);
  return spaceless;
}

}  // namespace internal

JsonPrefStore::ReadResult::ReadResult() {}

JsonPrefStore::ReadResult::~ReadResult() {}

JsonPrefStore::WriteCountHistogram::WriteCountHistogram(
    TimeDelta commit_interval,
    const FilePath& path)
    : WriteCountHistogram(commit_interval,
                          path,
                          std::unique_ptr<Clock>(new DefaultClock)) {}

JsonPrefStore::WriteCountHistogram::WriteCountHistogram(
    TimeDelta commit_interval,
    const FilePath& path,
    std::unique_ptr<Clock> clock)
    : commit_interval_(commit_interval),
      path_(path),
      clock_(std::move(clock)),
      report_interval_(TimeDelta::FromMinutes(kReportIntervalMinutes)),
      last_report_time_(clock_->Now()) {}

JsonPrefStore::WriteCountHistogram::~WriteCountHistogram() {
  ReportOutstandingWrites();
}

void JsonPrefStore::WriteCountHistogram::RecordWriteOccured() {
  ReportOutstandingWrites();
  ++writes_since_last_report_;
}

void JsonPrefStore::WriteCountHistogram::ReportOutstandingWrites() {
  const TimeDelta elapsed = clock_->Now() - last_report_time_;
  if (elapsed <= report_interval_)
    return;

  HistogramBase* histogram = GetHistogram();
  histogram->Add(static_cast<int>(
      std::min<uint32_t>(writes_since_last_report_, 0x7FFFFFFF)));

  const int64_t windows = elapsed / report_interval_;
  const int64_t idle_windows =
      std::min<int64_t>(windows - 1, kMaxIdleWindowsReported);
  for (int64_t i = 0; i < idle_windows; ++i)
    histogram->Add(0);

  writes_since_last_report_ = 0;
  last_report_time_ += report_interval_ * windows;
}

HistogramBase* JsonPrefStore::WriteCountHistogram::GetHistogram() {
  const int max_writes = static_cast<int>(report_interval_ / commit_interval_);
  return Histogram::FactoryGet(
      "Settings.JsonDataWriteCount." + internal::GetSpacelessBaseName(path_),
      1, max_writes, max_writes + 1, HistogramBase::kUmaTargetedHistogramFlag);
}

JsonPrefStore::JsonPrefStore(const FilePath& path,
                             scoped_refptr<SequencedTaskRunner> task_runner)
    : path_(path),
      task_runner_(std::move(task_runner)),
      prefs_(new DictionaryValue),
      writer_(path, task_runner_),
      write_count_histogram_(writer_.commit_interval(), path),
      weak_factory_(this) {}

JsonPrefStore::~JsonPrefStore() {
  releasing_ = true;
  if (read_pending_ && !read_only_ && !unwritten_keys_.empty()) {
    // The read's reply will not come, nor the replies of writes that ran.
    writer_.ReportRunWrites();
    PostChangesOverFile();
    return;
  }
  CommitPendingWrite();
}

void JsonPrefStore::PostChangesOverFile() {
  // At release the keys of writes still to run go too, but only if those
  // writes did not land: a failure reported after the store is gone would
  // lose them, and a landed write's keys carried again could undo what
  // another store changed since. That is known only behind those writes.
  std::unique_ptr<Changes> changes(new Changes);
  std::unique_ptr<Carried> carried(new Carried);
  for (const std::string& key :
       releasing_ ? KeysNotOnFile() : unwritten_keys_) {
    const Value* value = nullptr;
    (*changes)[key] =
        prefs_->Get(key, &value) ? value->CreateDeepCopy() : nullptr;
  }
  if (releasing_) {
    for (const auto& written : keys_being_written_) {
      for (const std::string& key : written.second) {
        if (!unwritten_keys_.count(key))
          (*carried)[key].push_back(writer_.NotLanded(this, written.first));
      }
    }
  }
  // Until the write has landed, a read finds the file without them.
  keys_being_written_[++serializations_] = std::move(unwritten_keys_);
  unwritten_keys_.clear();
  write_count_histogram_.RecordWriteOccured();
  writer_.PostWrite(this, Bind(&JsonPrefStore::WriteChangesOverFile, path_,
                               Owned(changes.release()),
                               Owned(carried.release())));
}

// static
bool JsonPrefStore::WriteChangesOverFile(const FilePath& path,
                                         const Changes* changes,
                                         const Carried* carried) {
  std::unique_ptr<ReadResult> read = ReadPrefsFromDisk(path);
  if (KeepsFileAsItIs(read->error)) {
    LOG(ERROR) << path.AsUTF8Unsafe()
               << " not written: it may hold what cannot be read";
    return false;
  }
  std::unique_ptr<DictionaryValue> prefs = TakePrefs(read.get());
  for (const auto& change : *changes) {
    auto writes = carried->find(change.first);
    if (writes != carried->end() &&
        std::none_of(writes->second.begin(), writes->second.end(),
                     [](const Callback<bool()>& not_landed) {
                       return not_landed.Run();
                     })) {
      continue;
    }
    if (change.second)
      prefs->Set(change.first, change.second->CreateDeepCopy());
    else
      prefs->RemovePath(change.first, nullptr);
  }
  std::string data;
  return SerializePrefs(path, *prefs, &data) &&
         ImportantFileWriter::WriteFileAtomically(path, data);
}

void JsonPrefStore::AddObserver(PrefStore::Observer* observer) {
  observers_.AddObserver(observer);
}

void JsonPrefStore::RemoveObserver(PrefStore::Observer* observer) {
  observers_.RemoveObserver(observer);
}

bool JsonPrefStore::HasObservers() const {
  return observers_.might_have_observers();
}

bool JsonPrefStore::IsInitializationComplete() const {
  return initialized_;
}

bool JsonPrefStore::GetValue(const std::string& key,
                             const Value** result) const {
  const Value* value = nullptr;
  if (!prefs_->Get(key, &value))
    return false;
  if (result)
    *result = value;
  return true;
}

bool JsonPrefStore::GetMutableValue(const std::string& key, Value** result) {
  Value* value = nullptr;
  if (!prefs_->Get(key, &value))
    return false;
  if (result)
    *result = value;
  return true;
}

bool JsonPrefStore::SetIfChanged(const std::string& key,
                                 std::unique_ptr<Value> value) {
  CHECK(value);
  Value* old_value = nullptr;
  if (prefs_->Get(key, &old_value) && value->Equals(old_value))
    return false;
  prefs_->Set(key, std::move(value));
  return true;
}

void JsonPrefStore::ScheduleWriteIfFileMayDiffer(const std::string& key,
                                                 uint32_t flags) {
  if (read_pending_ || read_missed_writes_)
    ScheduleWrite(key, flags);
}

void JsonPrefStore::SetValue(const std::string& key,
                             std::unique_ptr<Value> value,
                             uint32_t flags) {
  if (SetIfChanged(key, std::move(value)))
    ReportValueChanged(key, flags);
  else
    ScheduleWriteIfFileMayDiffer(key, flags);
}

void JsonPrefStore::SetValueSilently(const std::string& key,
                                     std::unique_ptr<Value> value,
                                     uint32_t flags) {
  if (SetIfChanged(key, std::move(value)))
    ScheduleWrite(key, flags);
  else
    ScheduleWriteIfFileMayDiffer(key, flags);
}

void JsonPrefStore::RemoveValue(const std::string& key, uint32_t flags) {
  if (prefs_->RemovePath(key, nullptr))
    ReportValueChanged(key, flags);
  else
    ScheduleWriteIfFileMayDiffer(key, flags);
}

void JsonPrefStore::ReportValueChanged(const std::string& key,
                                       uint32_t flags) {
  observers_.Notify(&PrefStore::Observer::OnPrefValueChanged, key);
  ScheduleWrite(key, flags);
}

bool JsonPrefStore::ReadOnly() const {
  return read_only_;
}

PrefReadError JsonPrefStore::GetReadError() const {
  return read_error_;
}

PrefReadError JsonPrefStore::ReadPrefs() {
  // Writes already handed off, by this store or another of the file, land
  // first, where this thread can wait for them.
  read_missed_writes_ = !writer_.WaitForHandedWrites();
  // The read then takes the file's values for keys whose writes landed.
  writer_.ReportRunWrites();
  OnFileRead(ReadPrefsFromDisk(path_));
  return read_error_;
}

void JsonPrefStore::ReadPrefsAsync(ReadErrorDelegate* error_delegate) {
  initialized_ = false;
  error_delegate_.reset(error_delegate);

  // The reply owns the result; the read fills it in on the file's runner
  // before the reply is posted back.
  std::unique_ptr<ReadResult>* result = new std::unique_ptr<ReadResult>;
  Closure read = Bind(
      [](const FilePath& path, std::unique_ptr<ReadResult>* out) {
        *out = ReadPrefsFromDisk(path);
      },
      path_, result);
  Closure reply = Bind(&JsonPrefStore::OnFileReadReply,
                       weak_factory_.GetWeakPtr(), Owned(result));
  // A runner that takes no tasks would leave the store uninitialized for
  // good, and a thread without a loop can take no reply: read here instead,
  // as the writer does with its writes. So does a read that would come
  // after the writes of this runner only.
  if (!ThreadTaskRunnerHandle::IsSet() || writer_.HasWritesOnOtherRunners() ||
      !task_runner_->PostTaskAndReply(FROM_HERE, std::move(read),
                                      std::move(reply))) {
    ReadPrefs();
    return;
  }
  read_pending_ = true;
}

void JsonPrefStore::OnFileReadReply(std::unique_ptr<ReadResult>* result) {
  // Read on the file's sequence, behind every write handed to it.
  read_missed_writes_ = false;
  OnFileRead(std::move(*result));
}

void JsonPrefStore::OnFileRead(std::unique_ptr<ReadResult> result) {
  read_error_ = result->error;
  // A reply still on its way would replace what this read brings.
  weak_factory_.InvalidateWeakPtrs();
  read_pending_ = false;
  // A write held back by the read; it serializes what is in place by then.
  if (write_after_read_ && !read_only_)
    writer_.ScheduleWrite(this);
  write_after_read_ = false;

  if (result->no_dir) {
    observers_.Notify(&PrefStore::Observer::OnInitializationCompleted, false);
    return;
  }

  if (KeepsFileAsItIs(read_error_))
    read_only_ = true;
  std::unique_ptr<DictionaryValue> prefs = TakePrefs(result.get());
  ApplyUnwrittenChanges(prefs.get());
  prefs_ = std::move(prefs);
  initialized_ = true;

  if (error_delegate_ && read_error_ != PREF_READ_ERROR_NONE)
    error_delegate_->OnError(read_error_);
  observers_.Notify(&PrefStore::Observer::OnInitializationCompleted, true);
}

void JsonPrefStore::CommitPendingWrite() {
  // Writes that ran are forgotten, and failed ones join this write, before
  // their replies come (none comes to a thread without a loop).
  writer_.ReportRunWrites();
  SchedulePendingLossyWrites();
  if (writer_.HasPendingWrite() && !read_only_)
    writer_.DoScheduledWrite();
}

void JsonPrefStore::SchedulePendingLossyWrites() {
  if (pending_lossy_write_)
    writer_.ScheduleWrite(this);
}

void JsonPrefStore::ClearMutableValues() {
  LOG(ERROR) << "NOT IMPLEMENTED";
}

void JsonPrefStore::ApplyUnwrittenChanges(DictionaryValue* read) const {
  // Each changed key takes its current value, or goes when it has none; the
  // result does not depend on the order of the keys. They stay unwritten
  // until the write that the change scheduled has landed.
  for (const std::string& key : KeysNotOnFile()) {
    const Value* value = nullptr;
    if (prefs_->Get(key, &value))
      read->Set(key, value->CreateDeepCopy());
    else
      read->RemovePath(key, nullptr);
  }
}

std::set<std::string> JsonPrefStore::KeysNotOnFile() const {
  std::set<std::string> keys = unwritten_keys_;
  for (const auto& written : keys_being_written_)
    keys.insert(written.second.begin(), written.second.end());
  return keys;
}

bool JsonPrefStore::SerializeData(std::string* output) {
  if (read_pending_) {
    // Would replace the file with only the changes made so far.
    write_after_read_ = true;
    return false;
  }
  pending_lossy_write_ = false;
  // A write scheduled before the read found the file unwritable must not
  // replace the file after all.
  if (read_only_)
    return false;
  if (read_missed_writes_) {
    // Written whole, the dictionary would erase the writes the read missed.
    PostChangesOverFile();
    return false;
  }
  write_count_histogram_.RecordWriteOccured();
  if (!SerializePrefs(path_, *prefs_, output))
    return false;
  keys_being_written_[++serializations_] = std::move(unwritten_keys_);
  unwritten_keys_.clear();
  return true;
}

void JsonPrefStore::OnWriteDone(uint64_t write, bool success) {
  auto batch = keys_being_written_.find(write);
  if (batch == keys_being_written_.end())
    return;
  std::set<std::string> keys = std::move(batch->second);
  keys_being_written_.erase(batch);
  if (success)
    return;
  // The file does not hold them: they go with the next write.
  unwritten_keys_.insert(keys.begin(), keys.end());
  if (!read_only_)
    writer_.ScheduleWrite(this);
}

void JsonPrefStore::ScheduleWrite(const std::string& key, uint32_t flags) {
  unwritten_keys_.insert(key);
  if (read_only_)
    return;
  if (flags & LOSSY_PREF_WRITE_FLAG) {
    pending_lossy_write_ = true;
    return;
  }
  writer_.ScheduleWrite(this);
}

}  // namespace base
