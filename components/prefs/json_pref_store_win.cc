#include "components/prefs/json_pref_store.h"

#include "base/files/file_util.h"
#include "base/json/json_file_value_serializer.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"
#include "base/threading/no_op_task_runner.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/values.h"

namespace base {

namespace {

constexpr char kSequencePrefix[] = "json_pref_store-";
constexpr char kTextSequencePrefix[] = "json_pref_store-by-text-";

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
std::string JsonPrefStore::GetSequenceNameForFile(const FilePath& path) {
  bool exact = false;
  const string16 key = GetFileKey(path, &exact);
  // Keys are full paths, so no key begins with the mark of a name by text.
  return std::string(exact ? kSequencePrefix : kTextSequencePrefix) +
         FilePath(key).AsUTF8Unsafe();
}

// static
scoped_refptr<SequencedTaskRunner> JsonPrefStore::GetTaskRunnerForSequence(
    const std::string& name,
    SequencedWorkerPool* pool) {
  // Other names of the file have their own sequences, which would run
  // their writes beside this one's, though its store may find its key
  // exact: a runner that refuses has its writes made in the file's order.
  const std::string text_named(kTextSequencePrefix);
  if (name.compare(0, text_named.size(), text_named) == 0)
    return new NoOpTaskRunner;
  return pool->GetSequencedTaskRunnerWithShutdownBehavior(
      pool->GetNamedSequenceToken(name), SequencedWorkerPool::BLOCK_SHUTDOWN);
}

// static
scoped_refptr<SequencedTaskRunner> JsonPrefStore::GetTaskRunnerForFile(
    const FilePath& path,
    SequencedWorkerPool* pool) {
  return GetTaskRunnerForSequence(GetSequenceNameForFile(path), pool);
}

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

}  // namespace base
