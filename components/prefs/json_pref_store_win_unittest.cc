#include "components/prefs/json_pref_store.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "base/json/json_reader.h"
#include "base/message_loop/message_loop.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/manual_task_runner_testsupport.h"
#include "base/test/scoped_log_capture_testsupport.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/threading/thread_task_runner_handle.h"
#include "base/values.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"

namespace base {
namespace {

class RecordingObserver : public PrefStore::Observer {
 public:
  void OnPrefValueChanged(const std::string& key) override {
    changed.push_back(key);
  }
  void OnInitializationCompleted(bool succeeded) override {
    initialized.push_back(succeeded);
  }

  std::vector<std::string> changed;
  std::vector<bool> initialized;
};

class RecordingErrorDelegate : public PersistentPrefStore::ReadErrorDelegate {
 public:
  explicit RecordingErrorDelegate(std::vector<PrefReadError>* errors)
      : errors_(errors) {}
  void OnError(PrefReadError error) override { errors_->push_back(error); }

 private:
  std::vector<PrefReadError>* errors_;
};

class FakeClock : public Clock {
 public:
  explicit FakeClock(Time* now) : now_(now) {}
  Time Now() override { return *now_; }

 private:
  Time* now_;
};

std::unique_ptr<Value> Int(int value) {
  return std::unique_ptr<Value>(new FundamentalValue(value));
}

// The store's timer runs on the thread's runner and its disk work on the
// file runner; both are driven by hand.
class JsonPrefStoreTest : public testing::Test {
 protected:
  JsonPrefStoreTest()
      : thread_runner_(new ManualTaskRunner),
        file_runner_(new ManualTaskRunner),
        handle_(thread_runner_),
        path_(folder_.path().AppendASCII("Local State")) {}

  scoped_refptr<JsonPrefStore> MakeStore() {
    scoped_refptr<JsonPrefStore> store(new JsonPrefStore(path_, file_runner_));
    store->AddObserver(&observer_);
    return store;
  }

  void WriteText(const std::string& text) {
    ASSERT_EQ(static_cast<int>(text.size()),
              WriteFile(path_, text.data(), static_cast<int>(text.size())));
  }

  std::string ReadText(const FilePath& path) {
    std::string text;
    EXPECT_TRUE(ReadFileToString(path, &text));
    return text;
  }

  // Lets the commit interval pass and the disk work run.
  void RunWrites() {
    thread_runner_->FastForwardBy(TimeDelta::FromSeconds(10));
    file_runner_->RunUntilIdle();
    thread_runner_->RunUntilIdle();  // the writes' replies
  }

  TestFolder folder_;
  scoped_refptr<ManualTaskRunner> thread_runner_;
  scoped_refptr<ManualTaskRunner> file_runner_;
  ThreadTaskRunnerHandle handle_;
  FilePath path_;
  RecordingObserver observer_;
};

TEST_F(JsonPrefStoreTest, ReadsDictionaryAndWritesCompactJson) {
  WriteText("{\"z\": \"x\", /* kept */ \"a\": {\"n\": 2}}");
  scoped_refptr<JsonPrefStore> store = MakeStore();
  EXPECT_EQ(PREF_READ_ERROR_NONE, store->ReadPrefs());
  EXPECT_TRUE(store->IsInitializationComplete());
  EXPECT_FALSE(store->ReadOnly());
  EXPECT_EQ(std::vector<bool>{true}, observer_.initialized);

  const Value* value = nullptr;
  ASSERT_TRUE(store->GetValue("a.n", &value));
  EXPECT_TRUE(Int(2)->Equals(value));
  EXPECT_FALSE(store->GetValue("a.missing", nullptr));

  store->SetValue("a.m", Int(1), 0);
  EXPECT_EQ(std::vector<std::string>{"a.m"}, observer_.changed);
  RunWrites();
  const std::string written = "{\"a\":{\"m\":1,\"n\":2},\"z\":\"x\"}";
  EXPECT_EQ(written, ReadText(path_));

  // A value the reader takes on its own would make the file one level too
  // deep to read back: the file keeps what it had.
  std::unique_ptr<Value> deep(new ListValue);
  for (int depth = 1; depth < JSONReader::kMaxDepth; ++depth) {
    std::unique_ptr<ListValue> outer(new ListValue);
    outer->Append(std::move(deep));
    deep = std::move(outer);
  }
  ScopedLogCapture log(LOG_ERROR);
  store->SetValue("deep", std::move(deep), 0);
  RunWrites();
  EXPECT_EQ(written, ReadText(path_));
  EXPECT_NE(std::string::npos,
            log.text.find("not written: a value cannot be written as JSON"));
}

// A missing file gives an empty store that writes; a missing folder, a store
// that never completes its start.
TEST_F(JsonPrefStoreTest, MissingFileGivesEmptyWritableStore) {
  scoped_refptr<JsonPrefStore> store = MakeStore();
  EXPECT_EQ(PREF_READ_ERROR_NO_FILE, store->ReadPrefs());
  EXPECT_TRUE(store->IsInitializationComplete());
  EXPECT_FALSE(store->ReadOnly());

  // Removing what is not there tells nobody.
  store->SetValue("a.b.c", Int(1), 0);
  store->RemoveValue("a.b.c", 0);
  store->RemoveValue("a.b.c", 0);
  EXPECT_EQ((std::vector<std::string>{"a.b.c", "a.b.c"}), observer_.changed);
  RunWrites();
  EXPECT_EQ("{}", ReadText(path_));

  path_ = folder_.path().AppendASCII("gone").AppendASCII("prefs.json");
  observer_.initialized.clear();
  store = MakeStore();
  EXPECT_EQ(PREF_READ_ERROR_NO_FILE, store->ReadPrefs());
  EXPECT_FALSE(store->IsInitializationComplete());
  EXPECT_EQ(std::vector<bool>{false}, observer_.initialized);
}

TEST_F(JsonPrefStoreTest, DamagedFileIsMovedAside) {
  const FilePath bad = folder_.path().AppendASCII("Local State.bad");
  WriteText("{\"a\": 1,}");
  std::vector<PrefReadError> errors;
  {
    scoped_refptr<JsonPrefStore> store = MakeStore();
    store->ReadPrefsAsync(new RecordingErrorDelegate(&errors));
    file_runner_->RunUntilIdle();
    EXPECT_FALSE(store->IsInitializationComplete());
    thread_runner_->RunUntilIdle();
    EXPECT_TRUE(store->IsInitializationComplete());
    EXPECT_EQ(PREF_READ_ERROR_JSON_PARSE, store->GetReadError());
    EXPECT_FALSE(store->ReadOnly());
    EXPECT_FALSE(store->GetValue("a", nullptr));
  }
  EXPECT_EQ(std::vector<PrefReadError>{PREF_READ_ERROR_JSON_PARSE}, errors);
  EXPECT_FALSE(PathExists(path_));
  EXPECT_EQ("{\"a\": 1,}", ReadText(bad));

  // The second damaged file replaces the first one moved aside.
  WriteText("{oops");
  scoped_refptr<JsonPrefStore> store = MakeStore();
  EXPECT_EQ(PREF_READ_ERROR_JSON_REPEAT, store->ReadPrefs());
  EXPECT_EQ("{oops", ReadText(bad));
  store->SetValue("fresh", Int(1), 0);
  store->CommitPendingWrite();
  file_runner_->RunUntilIdle();
  EXPECT_EQ("{\"fresh\":1}", ReadText(path_));

  // One that readers may share but nobody may move or delete stays, and the
  // store never writes over it.
  WriteText("{broken");
  HANDLE pinned = ::CreateFileW(as_wcstr(path_.value()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, pinned);
  store = MakeStore();
  EXPECT_EQ(PREF_READ_ERROR_FILE_OTHER, store->ReadPrefs());
  ::CloseHandle(pinned);
  EXPECT_TRUE(store->ReadOnly());
  store->SetValue("a", Int(1), 0);
  store->CommitPendingWrite();
  file_runner_->RunUntilIdle();
  EXPECT_EQ("{broken", ReadText(path_));
}

// While set, a blocking wait runs the runner as another thread would (unless
// stalled), then ends at once; waits on the runner's own thread are counted.
ManualTaskRunner* g_run_at_wait = nullptr;
bool g_runner_stalled = false;
int g_waits_on_the_runners_thread = 0;
decltype(&::WaitForSingleObject) g_wait;
DWORD WINAPI WaitRunning(HANDLE handle, DWORD ms) {
  if (!ms || !g_run_at_wait)
    return g_wait(handle, ms);
  if (g_run_at_wait->MayRunTasksOnCurrentThread())
    ++g_waits_on_the_runners_thread;
  else if (!g_runner_stalled)
    g_run_at_wait->RunUntilIdle();
  return g_wait(handle, 0);
}

// Counts waits off the loop's thread; its next wait runs |g_land_at_wait|.
std::atomic<int> g_other_waits{0};
ManualTaskRunner* g_land_at_wait = nullptr;
DWORD WINAPI WaitBesideAnother(HANDLE handle, DWORD ms) {
  if (ms && !ThreadTaskRunnerHandle::IsSet())
    ++g_other_waits;
  else if (ms && g_land_at_wait)
    std::exchange(g_land_at_wait, nullptr)->RunUntilIdle();
  return g_wait(handle, ms);
}

// While set, opens of this folder fail as those of one nobody may open.
string16 g_refused_folder;
decltype(&::CreateFileW) g_create;
HANDLE WINAPI CreateRefusingFolder(const wchar_t* name, DWORD access, DWORD share,
                                   SECURITY_ATTRIBUTES* sa, DWORD disposition, DWORD flags,
                                   HANDLE model) {
  if (!g_refused_folder.empty() && !_wcsicmp(name, as_wcstr(g_refused_folder))) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return g_create(name, access, share, sa, disposition, flags, model);
}

// Whatever the order of read, change, commit and release, a change the
// store accepted reaches the file, on top of what the file held; a change
// already written does not hide a later edit of the file from a re-read.
TEST_F(JsonPrefStoreTest, ChangesAroundAReadGoOnTopOfTheFile) {
  enum Order {
    // The commit interval passes before the read has run: writing then
    // would replace the file with the changes alone.
    CHANGE_WHILE_READING,
    // The read the store had made knew nothing of the changes.
    CHANGE_THEN_READ_AGAIN,
    RELEASE_BEFORE_THE_READ_RUNS,
    RELEASE_BEFORE_THE_REPLY,
    WRITTEN_THEN_READ_AGAIN,
    // Read again while the write waits on the file's runner, or after it
    // failed: the store keeps the changes the file does not hold.
    COMMITTED_THEN_READ_AGAIN,
    WRITE_FAILED_THEN_READ_AGAIN,
    // A runner of another thread holds a write, then refuses posts (a pool
    // shutting down) as the store goes with a change scheduled, a read
    // pending, after the write went unrun, or a second store read then.
    REFUSED_WITH_A_WRITE_SCHEDULED,
    REFUSED_DURING_A_READ,
    DROPPED_THEN_REFUSED,
    SECOND_STORE_WHILE_REFUSED,
    // The same on the runner's own thread, or behind a stalled runner: the
    // second store neither waits for ever nor writes under the write.
    SECOND_STORE_ON_THE_RUNNERS_THREAD,
    SECOND_STORE_BEHIND_A_STALLED_WRITE,
    // Taking posts: a store of the file under another spelling, or whose
    // folder cannot be opened, so that writes by other spellings are out of
    // sight; a store on a worker of the file's pool, of the file's runner or
    // of one refusing all; a store whose wait for the runner gives up.
    SECOND_SPELLING,
    UNRESOLVED_FOLDER,
    SECOND_STORE_ON_A_WORKER_OF_THE_POOL,
    REFUSING_STORE_ON_A_WORKER_OF_THE_POOL,
    SECOND_STORE_AFTER_THE_WAIT_GAVE_UP,
    // A store of another runner reading in the background.
    ASYNC_READ_ON_ANOTHER_RUNNER,
    // As on a worker; the store changes and goes before a write fails.
    RELEASED_BEFORE_A_FAILED_WRITE_REPORTS,
  };
  const std::string kFile = "{\"keep\":1,\"other\":\"x\",\"gone\":{\"a\":1}}";
  const std::string kMerged = "{\"keep\":1,\"new\":1,\"other\":2}";
  const std::string kMergedAndLater =
      "{\"keep\":1,\"later\":1,\"new\":1,\"other\":2}";
  const std::string kUndone = "{\"keep\":1,\"later\":1,\"other\":\"x\"}";
  const struct {
    Order order;
    std::string file;
    std::string written;
  } kCases[] = {
      {CHANGE_WHILE_READING, kFile, kMerged},
      {CHANGE_THEN_READ_AGAIN, kFile, kMerged},
      {RELEASE_BEFORE_THE_READ_RUNS, kFile, kMerged},
      {RELEASE_BEFORE_THE_REPLY, kFile, kMerged},
      // A file the store could not read is never written.
      {RELEASE_BEFORE_THE_READ_RUNS, "[1,2]", "[1,2]"},
      {CHANGE_WHILE_READING, "[1,2]", "[1,2]"},
      {WRITTEN_THEN_READ_AGAIN, kFile, "{\"other\":3}"},
      {COMMITTED_THEN_READ_AGAIN, kFile, kMerged},
      {WRITE_FAILED_THEN_READ_AGAIN, kFile, kMerged},
      {REFUSED_WITH_A_WRITE_SCHEDULED, kFile, kMergedAndLater},
      {REFUSED_DURING_A_READ, kFile, kMergedAndLater},
      {SECOND_STORE_WHILE_REFUSED, kFile, kUndone},
      {DROPPED_THEN_REFUSED, kFile, kMergedAndLater},
      {SECOND_STORE_ON_THE_RUNNERS_THREAD, kFile, kMerged},
      {SECOND_STORE_BEHIND_A_STALLED_WRITE, kFile, kMerged},
      {SECOND_SPELLING, kFile, kUndone},
      {UNRESOLVED_FOLDER, kFile, kUndone},
      {SECOND_STORE_ON_A_WORKER_OF_THE_POOL, kFile, kUndone},
      {REFUSING_STORE_ON_A_WORKER_OF_THE_POOL, kFile, kMerged},
      {SECOND_STORE_AFTER_THE_WAIT_GAVE_UP, kFile, kUndone},
      {ASYNC_READ_ON_ANOTHER_RUNNER, kFile, kMergedAndLater},
      {RELEASED_BEFORE_A_FAILED_WRITE_REPORTS, kFile, kUndone},
  };
  platform_rules::ScopedImportHook hook(
      "WaitForSingleObject", reinterpret_cast<const void*>(&WaitRunning));
  g_wait = hook.original<decltype(g_wait)>();
  platform_rules::ScopedImportHook create(
      "CreateFileW", reinterpret_cast<const void*>(&CreateRefusingFolder));
  g_create = create.original<decltype(g_create)>();
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "order " << c.order << " " << c.file);
    ScopedLogCapture log(LOG_ERROR);
    file_runner_ = new ManualTaskRunner;  // as each order leaves it
    observer_.initialized.clear();
    WriteText(c.file);
    scoped_refptr<JsonPrefStore> store = MakeStore();
    if (c.order == CHANGE_THEN_READ_AGAIN ||
        c.order >= WRITTEN_THEN_READ_AGAIN)
      store->ReadPrefs();
    else
      store->ReadPrefsAsync(nullptr);
    store->SetValue("new", Int(1), 0);
    store->SetValue("other", Int(2), 0);
    // Only the file holds it while the read is pending.
    store->RemoveValue("gone.a", 0);
    switch (c.order) {
      default: {
        file_runner_->set_runs_tasks_here(
            c.order == SECOND_STORE_ON_THE_RUNNERS_THREAD);
        store->CommitPendingWrite();
        if (c.order == REFUSED_DURING_A_READ)
          store->ReadPrefsAsync(nullptr);
        if (c.order == DROPPED_THEN_REFUSED)
          file_runner_->DropPending();
        g_run_at_wait = file_runner_.get();
        const bool gave_up = c.order == SECOND_STORE_BEHIND_A_STALLED_WRITE ||
                             c.order == SECOND_STORE_AFTER_THE_WAIT_GAVE_UP;
        g_runner_stalled =
            gave_up || c.order == REFUSING_STORE_ON_A_WORKER_OF_THE_POOL;
        file_runner_->set_refuse_posts(c.order < SECOND_SPELLING);
        const bool on_a_worker =
            c.order == SECOND_STORE_ON_A_WORKER_OF_THE_POOL ||
            c.order == RELEASED_BEFORE_A_FAILED_WRITE_REPORTS;
        file_runner_->set_may_run_tasks_here(
            on_a_worker ||
            c.order == REFUSING_STORE_ON_A_WORKER_OF_THE_POOL);
        scoped_refptr<ManualTaskRunner> another(new ManualTaskRunner);
        another->set_refuse_posts(c.order != ASYNC_READ_ON_ANOTHER_RUNNER);
        another->set_runs_tasks_here(false);
        if (c.order == SECOND_SPELLING) {
          store = new JsonPrefStore(
              FilePath(UTF8ToUTF16("\\\\?\\" + ToUpperASCII(path_.AsUTF8Unsafe()))),
              file_runner_);
        } else if (c.order == REFUSING_STORE_ON_A_WORKER_OF_THE_POOL ||
                   c.order == ASYNC_READ_ON_ANOTHER_RUNNER) {
          store = new JsonPrefStore(path_, another);
        } else if (c.order >= SECOND_STORE_WHILE_REFUSED) {
          g_refused_folder = c.order == UNRESOLVED_FOLDER ? folder_.path().value() : u"";
          store = MakeStore();
          g_refused_folder.clear();
        }
        if (c.order == ASYNC_READ_ON_ANOTHER_RUNNER) {
          store->ReadPrefsAsync(nullptr);
          another->RunUntilIdle();
          thread_runner_->RunUntilIdle();
        } else if (c.order >= SECOND_STORE_WHILE_REFUSED) {
          store->ReadPrefs();
          // Changes that leave a stale view as it was still change the file;
          // handed off, they stay over a read until they land, even failed.
          store->RemoveValue("new", 0);
          (store.get()->*(c.order == SECOND_STORE_AFTER_THE_WAIT_GAVE_UP
                              ? &JsonPrefStore::SetValueSilently  // the same
                              : &JsonPrefStore::SetValue))(
              "other", std::unique_ptr<Value>(new StringValue("x")), 0);
          store->SetValue("later", Int(1), 0);
          store->CommitPendingWrite();
          platform_rules::ScopedFaultInjection fault(
              2, ERROR_SHARING_VIOLATION, "ReplaceFileW");
          if (on_a_worker)
            file_runner_->RunUntilIdle();
          if (c.order == SECOND_STORE_ON_A_WORKER_OF_THE_POOL)
            thread_runner_->RunUntilIdle();
          if (c.order != RELEASED_BEFORE_A_FAILED_WRITE_REPORTS)
            store->ReadPrefs();
          else
            store->RemoveValue("later", 0);  // set again below
          EXPECT_EQ(c.order != RELEASED_BEFORE_A_FAILED_WRITE_REPORTS,
                    store->GetValue("later", nullptr));
          EXPECT_EQ(on_a_worker,
                    log.text.find(" not written\n") != std::string::npos);
        }
        store->SetValue("later", Int(1), 0);
        store = nullptr;
        another->RunUntilIdle();
        if (g_runner_stalled)
          EXPECT_EQ(c.file, ReadText(path_));
        EXPECT_EQ(gave_up,
                  log.text.find("read before the writes") != std::string::npos);
        // Its key is looked up again at the read, and found.
        EXPECT_EQ(c.order == UNRESOLVED_FOLDER,
                  log.text.find("keyed by its full path") != std::string::npos);
        EXPECT_EQ(0, g_waits_on_the_runners_thread);
        g_run_at_wait = nullptr;
        break;
      }
      case CHANGE_WHILE_READING:
        thread_runner_->FastForwardBy(TimeDelta::FromSeconds(10));
        EXPECT_EQ(1, file_runner_->posts());
        break;
      case WRITTEN_THEN_READ_AGAIN:
        RunWrites();
        WriteText("{\"other\":3}");
        [[fallthrough]];
      case CHANGE_THEN_READ_AGAIN:
        store->ReadPrefsAsync(nullptr);
        break;
      case COMMITTED_THEN_READ_AGAIN:
        store->CommitPendingWrite();
        EXPECT_EQ(PREF_READ_ERROR_NONE, store->ReadPrefs());
        break;
      case WRITE_FAILED_THEN_READ_AGAIN: {
        thread_runner_->FastForwardBy(TimeDelta::FromSeconds(10));
        // Its temporary file cannot be made (a full disk, a denied folder).
        platform_rules::ScopedFaultInjection fail(1, ERROR_ACCESS_DENIED, "CreateFileW");
        file_runner_->RunUntilIdle();
        store->ReadPrefsAsync(nullptr);
        break;
      }
      case RELEASE_BEFORE_THE_REPLY:
        file_runner_->RunUntilIdle();
        [[fallthrough]];
      case RELEASE_BEFORE_THE_READ_RUNS:
        store->CommitPendingWrite();
        store = nullptr;
        break;
    }
    file_runner_->RunUntilIdle();
    thread_runner_->RunUntilIdle();
    // The reply of a read whose store is gone is dropped.
    if (c.order == RELEASE_BEFORE_THE_REPLY)
      EXPECT_TRUE(observer_.initialized.empty());
    if (store) {
      EXPECT_TRUE(store->IsInitializationComplete());
      const Value* other = nullptr;
      ASSERT_TRUE(store->GetValue("other", &other));
      EXPECT_TRUE(
          Int(c.order == WRITTEN_THEN_READ_AGAIN ? 3 : 2)->Equals(other));
      EXPECT_FALSE(store->GetValue("gone", nullptr));
      RunWrites();
    }
    EXPECT_EQ(c.written, ReadText(path_));
    // A file left as it was, by a store that is gone, says why.
    EXPECT_EQ(!store && c.file == c.written,
              log.text.find("may hold what cannot be read") !=
                  std::string::npos);
  }
}

FilePath ShortName(const FilePath& name) {
  wchar_t buffer[MAX_PATH] = {};  // none: a spelling left out
  ::GetShortPathNameW(as_wcstr(name.value()), buffer, MAX_PATH);
  return FilePath(as_u16cstr(buffer));
}

// Spellings of one file name its one sequence of a pool, those of two files
// two; each pair on its own, the folder |made| made between the two, the
// second spelling looked up while its |fail_at|th open runs out of resources.
// Returns the second spellings whose folder cannot be reached here.
struct Spelling { FilePath a, b; bool same; int fail_at; };
std::string ExpectSequencesBySpelling(const FilePath& made, const std::vector<Spelling>& pairs) {
  scoped_refptr<SequencedWorkerPool> pool(new SequencedWorkerPool(1, "prefs", 0));
  std::string unusable;
  int expected = 0, shared = 0;
  for (const auto& sp : pairs) {
    auto a = JsonPrefStore::GetTaskRunnerForFile(sp.a, pool.get());
    if (!made.empty())
      CreateDirectory(made);
    if (!DirectoryExists(sp.b.DirName())) {
      unusable += " " + sp.b.AsUTF8Unsafe();
      continue;
    }
    ++expected;  // rows whose runners share as they should
    platform_rules::ScopedFaultInjection fault(
        sp.fail_at, platform_rules::ScopedFaultInjection::kOutOfResources, "CreateFileW");
    auto b = JsonPrefStore::GetTaskRunnerForFile(sp.b, pool.get());
    a->PostTask(FROM_HERE, Bind([](decltype(b) b, bool same, int* shared) {
                  *shared += b->RunsTasksOnCurrentThread() == same;
                }, b, sp.same, &shared));
  }
  pool->Shutdown(0);
  EXPECT_EQ(expected, shared);
  return unusable;
}

// Its short name, device form; a file yet to be made, or in a folder made
// between look-ups, or first opened out of resources.
TEST_F(JsonPrefStoreTest, SpellingsOfAFileShareItsSequence) {
  WriteText("{}");
  const FilePath made = folder_.path().AppendASCII("made");
  const FilePath short_made = ShortName(folder_.path()).Append(made.BaseName().value());
  EXPECT_EQ("", ExpectSequencesBySpelling(
                    made, {{made.AppendASCII("x"), made.AppendASCII("x"), true},
                           {made.AppendASCII("x"), made.AppendASCII("X"), true},
                           {path_, ShortName(path_), true},
                           {path_, ShortName(path_), true, 1},
                           {path_, FilePath(u"\\\\.\\" + path_.value()), true},
                           {made, short_made, true},
                           {made, short_made, true, 2},
                           {path_, made, false}}));
}

// Its name through a folder link, its verbatim share form.
TEST_F(JsonPrefStoreTest, LinkedAndSharedSpellingsShareItsSequence) {
  const FilePath link = folder_.path().AppendASCII("link");
  ::CreateSymbolicLinkW(as_wcstr(link.value()), as_wcstr(folder_.path().value()),
                        SYMBOLIC_LINK_FLAG_DIRECTORY);
  const FilePath share(u"\\\\?\\UNC\\localhost\\" + path_.value().substr(0, 1) + u"$" +
                       path_.value().substr(2));
  const std::string unusable = ExpectSequencesBySpelling(
      FilePath(), {{path_, link.Append(path_.BaseName().value()), true}, {path_, share, true}});
  if (!unusable.empty()) {
    GTEST_SKIP() << "Wine gap: no folder symbolic link, no administrative share;"
                 << " not reached:" << unusable;
  }
}

// A write the runner refuses, or one made on a thread whose loop has ended,
// is done on this thread, but never before an earlier write that still
// waits on the runner; each outcome reaches the keys it wrote.
TEST_F(JsonPrefStoreTest, WritesTheRunnerCannotTakeKeepTheirOrder) {
  enum Case {
    REFUSED_FROM_THE_START,
    NOT_KEYED_AT_FIRST,  // another name of the file
    REFUSED_BEHIND_A_QUEUED_WRITE,
    NO_LOOP_BEHIND_A_QUEUED_WRITE,
    NO_LOOP_WRITE_FAILS,
    CHANGES_AFTER_A_LANDED_WRITE,
    REFUSED_BESIDE_A_REFUSED_WRITE,  // another thread waits first
    REFUSED_BESIDE_A_READ,
  };
  for (Case c : {REFUSED_FROM_THE_START, REFUSED_BEHIND_A_QUEUED_WRITE,
                 NO_LOOP_BEHIND_A_QUEUED_WRITE, NO_LOOP_WRITE_FAILS,
                 CHANGES_AFTER_A_LANDED_WRITE, NOT_KEYED_AT_FIRST,
                 REFUSED_BESIDE_A_REFUSED_WRITE, REFUSED_BESIDE_A_READ}) {
    SCOPED_TRACE(c);
    thread_runner_ = new ManualTaskRunner;
    file_runner_ = new ManualTaskRunner;
    ThreadTaskRunnerHandle handle(thread_runner_);
    WriteText("{\"a\":1,\"b\":1}");
    file_runner_->set_refuse_posts(c <= NOT_KEYED_AT_FIRST);
    scoped_refptr<JsonPrefStore> store = MakeStore();
    if (c == NO_LOOP_WRITE_FAILS) {
      { ThreadTaskRunnerHandle gone(thread_runner_); }
      ASSERT_FALSE(ThreadTaskRunnerHandle::IsSet());
    }
    store->ReadPrefsAsync(nullptr);
    file_runner_->RunUntilIdle();
    thread_runner_->RunUntilIdle();
    ASSERT_TRUE(store->IsInitializationComplete());
    store->SetValue("a", Int(2), 0);
    if (c == REFUSED_FROM_THE_START) {
      thread_runner_->FastForwardBy(TimeDelta::FromSeconds(10));
      EXPECT_EQ("{\"a\":2,\"b\":1}", ReadText(path_));
      continue;
    }
    if (c == NOT_KEYED_AT_FIRST) {
      // Its folder's or its own open failing twice: its writes are made
      // here, in the file's order, none on its runner beside the file's.
      const FilePath name =
          ShortName(folder_.path()).Append(path_.BaseName().value());
      for (const FilePath& unopenable : {name.DirName(), name}) {
        scoped_refptr<ManualTaskRunner> beside(new ManualTaskRunner);
        platform_rules::ScopedImportHook hook(
            "CreateFileW", reinterpret_cast<const void*>(&CreateRefusingFolder));
        g_create = hook.original<decltype(g_create)>();
        g_refused_folder = unopenable.value();
        scoped_refptr<JsonPrefStore> other = new JsonPrefStore(name, beside);
        g_refused_folder.clear();
        other->ReadPrefsAsync(nullptr);  // here: its runner is not the file's
        other->SetValue("b", Int(unopenable == name ? 3 : 2), 0);
        other = nullptr;
        EXPECT_EQ(0, beside->posts());
      }
      EXPECT_EQ("{\"a\":1,\"b\":3}", ReadText(path_));
      // Nor when only its sequence was named while the folder was refused:
      // that sequence is not the file's (its only thread is held here).
      scoped_refptr<SequencedWorkerPool> pool(new SequencedWorkerPool(1, "prefs", 0));
      WaitableEvent held(WaitableEvent::ResetPolicy::MANUAL,
                         WaitableEvent::InitialState::NOT_SIGNALED);
      pool->PostTask(FROM_HERE, Bind(&WaitableEvent::Wait, Unretained(&held)));
      std::string sequence;
      {
        platform_rules::ScopedImportHook hook(
            "CreateFileW", reinterpret_cast<const void*>(&CreateRefusingFolder));
        g_create = hook.original<decltype(g_create)>();
        g_refused_folder = name.DirName().value();
        sequence = JsonPrefStore::GetSequenceNameForFile(name);
        g_refused_folder.clear();
      }
      scoped_refptr<JsonPrefStore> other = new JsonPrefStore(
          name, JsonPrefStore::GetTaskRunnerForSequence(sequence, pool.get()));
      other->ReadPrefsAsync(nullptr);
      other->SetValue("b", Int(4), 0);
      other = nullptr;
      EXPECT_EQ("{\"a\":1,\"b\":4}", ReadText(path_));
      held.Signal();
      pool->Shutdown(0);
      continue;
    }
    if (c >= REFUSED_BESIDE_A_REFUSED_WRITE) {
      file_runner_->set_runs_tasks_here(false);  // another thread's
      store->CommitPendingWrite();
      // Their reads may miss the queued write: each writes its change only.
      scoped_refptr<ManualTaskRunner> refusing(new ManualTaskRunner);
      refusing->set_refuse_posts(true);
      refusing->set_may_run_tasks_here(true);
      scoped_refptr<JsonPrefStore> here = new JsonPrefStore(path_, refusing),
                                   there = new JsonPrefStore(path_, refusing);
      for (const char* key : {"here", "there"}) {
        (*key == 'h' ? here : there)->ReadPrefs();
        (*key == 'h' ? here : there)->SetValue(key, Int(1), 0);
      }
      refusing->set_may_run_tasks_here(false);
      refusing->set_runs_tasks_here(false);
      platform_rules::ScopedImportHook hook(
          "WaitForSingleObject",
          reinterpret_cast<const void*>(&WaitBesideAnother));
      g_wait = hook.original<decltype(g_wait)>();
      g_other_waits = 0;
      std::thread other([&] {
        if (c == REFUSED_BESIDE_A_REFUSED_WRITE)
          there = nullptr;
        else
          scoped_refptr<JsonPrefStore>(new JsonPrefStore(path_, file_runner_))
              ->ReadPrefs();
        ++g_other_waits;  // also when it never waited
      });
      while (g_other_waits == 0)
        ::Sleep(1);
      g_land_at_wait = file_runner_.get();
      here = nullptr;  // waits for the queued write, and for the other's
      other.join();
      there = nullptr;
      EXPECT_EQ("{\"a\":2,\"b\":1,\"here\":1,\"there\":1}",
                ReadText(path_));
      continue;
    }
    if (c != NO_LOOP_WRITE_FAILS)
      store->CommitPendingWrite();  // waits on the file's runner
    store->SetValue("b", Int(2), 0);
    if (c == REFUSED_BEHIND_A_QUEUED_WRITE) {
      file_runner_->set_refuse_posts(true);
      ScopedLogCapture log(LOG_ERROR);
      store->CommitPendingWrite();
      EXPECT_NE(std::string::npos, log.text.find("Local State not written"));
      file_runner_->set_refuse_posts(false);
      file_runner_->RunUntilIdle();
      thread_runner_->RunUntilIdle();
      EXPECT_EQ("{\"a\":2,\"b\":1}", ReadText(path_));
      // The refused change is still unwritten: a re-read keeps it, and it
      // goes out with the next write.
      ASSERT_EQ(PREF_READ_ERROR_NONE, store->ReadPrefs());
      thread_runner_->FastForwardBy(TimeDelta::FromSeconds(10));
      RunWrites();
    } else if (c == NO_LOOP_BEHIND_A_QUEUED_WRITE) {
      { ThreadTaskRunnerHandle gone(thread_runner_); }
      // No reply comes: once its write ran, a read takes the file's values.
      store->CommitPendingWrite();
      file_runner_->RunUntilIdle();
      WriteText("{\"a\":2}");
      store->ReadPrefs();
      store->SetValue("b", Int(2), 0);  // no change unless b was read
    } else if (c == CHANGES_AFTER_A_LANDED_WRITE) {
      file_runner_->set_may_run_tasks_here(true);
      store->ReadPrefs();  // may miss the queued write: changes only
      // Its next write must not bring back d, removed behind its write.
      store->SetValue("d", Int(1), 0);
      store->CommitPendingWrite();
      scoped_refptr<JsonPrefStore> other = MakeStore();
      other->ReadPrefs();
      other->RemoveValue("d", 0);
      other->CommitPendingWrite();
      store->SetValue("c", Int(1), 0);
      store->CommitPendingWrite();
      file_runner_->RunUntilIdle();
      // Released as a write waits to fail: that goes with the last.
      store->RemoveValue("c", 0);
      store->CommitPendingWrite();
      // Nor e, set by it and then removed by another: that write lands;
      // f, removed by it after another set it, still goes.
      store->SetValue("e", Int(1), 0);
      store->SetValue("f", Int(1), 0);
      store->CommitPendingWrite();
      other->RemoveValue("e", 0);
      other->SetValue("f", Int(5), 0);
      other->CommitPendingWrite();
      store->RemoveValue("f", 0);
      store->SetValue("b", Int(2), 0);
      platform_rules::ScopedFaultInjection fail(1, ERROR_SHARING_VIOLATION,
                                                "ReplaceFileW");
      store = nullptr;
      file_runner_->RunUntilIdle();
    } else {
      {
        // A write on this thread that fails; it is kept for the next flush
        // (no timer can run here).
        platform_rules::ScopedFaultInjection fail(1, ERROR_ACCESS_DENIED,
                                                  "CreateFileW");
        store->CommitPendingWrite();
      }
      EXPECT_EQ("{\"a\":1,\"b\":1}", ReadText(path_));
      store->CommitPendingWrite();
      EXPECT_EQ("{\"a\":2,\"b\":2}", ReadText(path_));
    }
    store = nullptr;
    file_runner_->RunUntilIdle();
    EXPECT_EQ("{\"a\":2,\"b\":2}", ReadText(path_));
  }
}

TEST_F(JsonPrefStoreTest, EqualValueChangesNothing) {
  scoped_refptr<JsonPrefStore> store = MakeStore();
  store->ReadPrefs();
  store->SetValue("a", Int(1), 0);
  RunWrites();
  observer_.changed.clear();

  store->SetValue("a", Int(1), 0);
  store->SetValueSilently("a", Int(1), 0);
  EXPECT_EQ(0u, thread_runner_->pending_count());

  // A silent change is written but not announced.
  store->SetValueSilently("a", Int(3), 0);
  RunWrites();
  EXPECT_TRUE(observer_.changed.empty());
  EXPECT_EQ("{\"a\":3}", ReadText(path_));
}

TEST_F(JsonPrefStoreTest, ManyChangesGiveOneWrite) {
  scoped_refptr<JsonPrefStore> store = MakeStore();
  store->ReadPrefs();
  for (int i = 0; i < 200; ++i) {
    store->SetValue("count", Int(i), 0);
    thread_runner_->FastForwardBy(TimeDelta::FromMilliseconds(40));
  }
  RunWrites();
  EXPECT_EQ(1, file_runner_->posts());
  EXPECT_EQ("{\"count\":199}", ReadText(path_));
}

TEST_F(JsonPrefStoreTest, LossyChangeWaitsForAnotherWrite) {
  scoped_refptr<JsonPrefStore> store = MakeStore();
  store->ReadPrefs();
  store->SetValue("lossy", Int(1), PersistentPrefStore::LOSSY_PREF_WRITE_FLAG);
  EXPECT_EQ(std::vector<std::string>{"lossy"}, observer_.changed);
  RunWrites();
  EXPECT_EQ(0, file_runner_->posts());

  store->SetValue("plain", Int(2), 0);
  RunWrites();
  EXPECT_EQ("{\"lossy\":1,\"plain\":2}", ReadText(path_));

  // Alone, a lossy change goes out when the store flushes.
  store->SetValue("lossy", Int(3), PersistentPrefStore::LOSSY_PREF_WRITE_FLAG);
  store->CommitPendingWrite();
  file_runner_->RunUntilIdle();
  EXPECT_EQ("{\"lossy\":3,\"plain\":2}", ReadText(path_));
}

// A change not yet written goes out when the store does, also when the
// thread's loop (and with it the timer's task) has ended first; a last
// write that fails says so.
TEST_F(JsonPrefStoreTest, DestructionFlushesScheduledWrite) {
  enum End { STORE, STORE_WRITE_FAILS, LOOP_THEN_STORE };
  for (End end : {STORE, STORE_WRITE_FAILS, LOOP_THEN_STORE}) {
    SCOPED_TRACE(end);
    DeleteFile(path_, false);
    std::unique_ptr<MessageLoop> loop;
    if (end == LOOP_THEN_STORE) {
      { ThreadTaskRunnerHandle gone(thread_runner_); }
      loop.reset(new MessageLoop);
    }
    scoped_refptr<JsonPrefStore> store = MakeStore();
    store->ReadPrefs();
    store->SetValue("a", Int(1), 0);
    loop.reset();
    ScopedLogCapture log(LOG_ERROR);
    platform_rules::ScopedFaultInjection fail(
        end == STORE_WRITE_FAILS ? 1 : 0, ERROR_ACCESS_DENIED, "CreateFileW");
    store = nullptr;
    EXPECT_EQ(end == LOOP_THEN_STORE, PathExists(path_));
    file_runner_->RunUntilIdle();
    EXPECT_EQ(end != STORE_WRITE_FAILS, PathExists(path_));
    EXPECT_EQ(end == STORE_WRITE_FAILS,
              log.text.find("Local State not written") != std::string::npos);
  }
  EXPECT_EQ("{\"a\":1}", ReadText(path_));
}

TEST(JsonPrefStoreWriteCountTest, ReportsWholeWindows) {
  Time now = Time::Now();
  const FilePath path(u"C:\\prefs\\write count.json");
  HistogramBase* histogram = nullptr;
  // The histogram lives for the whole process: count from here.
  int64_t before[3] = {};
  {
    JsonPrefStore::WriteCountHistogram counter(
        TimeDelta::FromSeconds(10), path,
        std::unique_ptr<Clock>(new FakeClock(&now)));
    histogram = counter.GetHistogram();
    EXPECT_EQ("Settings.JsonDataWriteCount.write_count.json",
              histogram->histogram_name());
    EXPECT_EQ(30, histogram->declared_max());
    EXPECT_EQ(31u, histogram->bucket_count());
    for (int sample = 0; sample < 3; ++sample)
      before[sample] = histogram->GetCount(sample);

    counter.RecordWriteOccured();
    counter.RecordWriteOccured();
    now += TimeDelta::FromMinutes(16);
    counter.RecordWriteOccured();
    EXPECT_EQ(before[2] + 1, histogram->GetCount(2));
    EXPECT_EQ(before[0] + 2, histogram->GetCount(0));

    // A clock that leaps years ahead adds a bounded number of idle windows.
    now += TimeDelta::FromDays(365 * 100);
  }
  EXPECT_EQ(before[1] + 1, histogram->GetCount(1));
  EXPECT_EQ(before[0] + 2 + 2016, histogram->GetCount(0));
}

}  // namespace
}  // namespace base
