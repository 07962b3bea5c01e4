#ifndef COMPONENTS_PREFS_JSON_PREF_STORE_H_
#define COMPONENTS_PREFS_JSON_PREF_STORE_H_

#include <stdint.h>

#include <map>
#include <memory>
#include <set>
#include <vector>
#include <string>

#include "base/files/file_path.h"
#include "base/files/important_file_writer.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/observer_list.h"
#include "base/sequenced_task_runner.h"
#include "base/time/clock.h"
#include "base/time/time.h"
#include "components/prefs/persistent_pref_store.h"

namespace base {

class DictionaryValue;
class HistogramBase;
class SequencedWorkerPool;

// Preferences kept in one JSON file: read once, changed by dotted key, and
// written back whole as compact JSON at most once per commit interval, on
// the file's own task runner. Used on the thread that created it.
class JsonPrefStore : public PersistentPrefStore,
                      public ImportantFileWriter::DataSerializer {
 public:
  // What the read on the file's runner hands back.
  struct ReadResult {
    ReadResult();
    ~ReadResult();

    std::unique_ptr<Value> value;
    PrefReadError error = PREF_READ_ERROR_NONE;
    // The file's folder does not exist.
    bool no_dir = false;
  };

  // Counts serializations per five-minute window into the histogram
  // "Settings.JsonDataWriteCount." plus the file's name.
  class WriteCountHistogram {
   public:
    WriteCountHistogram(TimeDelta commit_interval, const FilePath& path);
    WriteCountHistogram(TimeDelta commit_interval,
                        const FilePath& path,
                        std::unique_ptr<Clock> clock);
    ~WriteCountHistogram();

    WriteCountHistogram(const WriteCountHistogram&) = delete;
    WriteCountHistogram& operator=(const WriteCountHistogram&) = delete;

    void RecordWriteOccured();
    // Adds the count of every window that has ended since the last report.
    void ReportOutstandingWrites();
    HistogramBase* GetHistogram();

   private:
    const TimeDelta commit_interval_;
    const FilePath path_;
    const std::unique_ptr<Clock> clock_;
    const TimeDelta report_interval_;
    Time last_report_time_;
    uint32_t writes_since_last_report_ = 0;
  };

  // The runner of the sequence named after |path| in |pool|; every store of
  // one file shares it, and the pool finishes its tasks before shutting
  // down.
  static scoped_refptr<SequencedTaskRunner> GetTaskRunnerForFile(
      const FilePath& path,
      SequencedWorkerPool* pool);
  // The two steps of the above: the name asks the file system (and may
  // stall on a share), the runner only the pool.
  static std::string GetSequenceNameForFile(const FilePath& path);
  static scoped_refptr<SequencedTaskRunner> GetTaskRunnerForSequence(
      const std::string& name,
      SequencedWorkerPool* pool);

  JsonPrefStore(const FilePath& path,
                scoped_refptr<SequencedTaskRunner> task_runner);

  JsonPrefStore(const JsonPrefStore&) = delete;
  JsonPrefStore& operator=(const JsonPrefStore&) = delete;

  // PrefStore:
  void AddObserver(PrefStore::Observer* observer) override;
  void RemoveObserver(PrefStore::Observer* observer) override;
  bool HasObservers() const override;
  bool IsInitializationComplete() const override;
  bool GetValue(const std::string& key, const Value** result) const override;

  // PersistentPrefStore:
  void SetValue(const std::string& key,
                std::unique_ptr<Value> value,
                uint32_t flags) override;
  void RemoveValue(const std::string& key, uint32_t flags) override;
  bool GetMutableValue(const std::string& key, Value** result) override;
  void ReportValueChanged(const std::string& key, uint32_t flags) override;
  void SetValueSilently(const std::string& key,
                        std::unique_ptr<Value> value,
                        uint32_t flags) override;
  bool ReadOnly() const override;
  PrefReadError GetReadError() const override;
  PrefReadError ReadPrefs() override;
  void ReadPrefsAsync(ReadErrorDelegate* error_delegate) override;
  void CommitPendingWrite() override;
  void SchedulePendingLossyWrites() override;
  void ClearMutableValues() override;

  // ImportantFileWriter::DataSerializer:
  bool SerializeData(std::string* output) override;
  void OnWriteDone(uint64_t write, bool success) override;

 private:
  ~JsonPrefStore() override;

  // Reads and checks the file; moves a damaged one aside. Blocks.
  static std::unique_ptr<ReadResult> ReadPrefsFromDisk(const FilePath& path);

  void OnFileReadReply(std::unique_ptr<ReadResult>* result);
  void OnFileRead(std::unique_ptr<ReadResult> result);
  // Stores |value| at |key| unless an equal value is there; true when it
  // changed something.
  bool SetIfChanged(const std::string& key, std::unique_ptr<Value> value);
  void ScheduleWrite(const std::string& key, uint32_t flags);
  // For a change that leaves the store's view as it was: the file may hold
  // what this store has not seen, and the change may still change it.
  void ScheduleWriteIfFileMayDiffer(const std::string& key, uint32_t flags);
  // Carries the changes not yet written over to what a read brought.
  void ApplyUnwrittenChanges(DictionaryValue* read) const;

  // Changed keys and their values; null for a key removed.
  using Changes = std::map<std::string, std::unique_ptr<Value>>;
  // Keys a release carries only because writes still queued then had
  // them, and those writes' tests of not having landed.
  using Carried = std::map<std::string, std::vector<Callback<bool()>>>;
  // Puts |changes| on top of the file as it is then, unless the file may
  // hold what a store could not read; a key in |carried| only when one of
  // its writes did not land. Whether the file now holds them. Blocks.
  static bool WriteChangesOverFile(const FilePath& path,
                                   const Changes* changes,
                                   const Carried* carried);
  // Hands the unwritten changes to the file's sequence, to go on top of the
  // file as it is then.
  void PostChangesOverFile();
  // The changed keys, and those of writes that have not reported yet.
  std::set<std::string> KeysNotOnFile() const;

  const FilePath path_;
  const scoped_refptr<SequencedTaskRunner> task_runner_;
  std::unique_ptr<DictionaryValue> prefs_;
  bool read_only_ = false;
  ImportantFileWriter writer_;
  ObserverList<PrefStore::Observer> observers_;
  std::unique_ptr<ReadErrorDelegate> error_delegate_;
  bool initialized_ = false;
  bool pending_lossy_write_ = false;
  PrefReadError read_error_ = PREF_READ_ERROR_NONE;
  WriteCountHistogram write_count_histogram_;
  // Between ReadPrefsAsync and its reply nothing is written: the file may
  // hold more than this store has seen yet.
  bool read_pending_ = false;
  // The last read may have come before writes handed to the file: from
  // then on only the changes go out, never the whole dictionary.
  bool read_missed_writes_ = false;
  // Keys changed since the data was last handed to the writer; a read keeps
  // their values rather than the file's.
  std::set<std::string> unwritten_keys_;
  // The keys of each write handed to the writer and not yet done, by the
  // writer's count of the serialization: until it lands, a read finds the
  // file without them.
  std::map<uint64_t, std::set<std::string>> keys_being_written_;
  uint64_t serializations_ = 0;
  bool write_after_read_ = false;
  // Being released: no write's outcome can reach the store any more.
  bool releasing_ = false;
  WeakPtrFactory<JsonPrefStore> weak_factory_;
};

namespace internal {

// The file's base name with spaces turned into "_", as used in histogram
// names; empty when the name is not ASCII.
std::string GetSpacelessBaseName(const FilePath& path);

}  // namespace internal

}  // namespace base

#endif  // COMPONENTS_PREFS_JSON_PREF_STORE_H_
