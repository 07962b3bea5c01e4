#include "base/files/important_file_writer.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"
#include "base/test/manual_task_runner_testsupport.h"
#include "base/threading/thread_task_runner_handle.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"

namespace base {
namespace {

std::string ReadAll(const FilePath& path) {
  std::string contents;
  EXPECT_TRUE(ReadFileToString(path, &contents));
  return contents;
}

// Wine's ReplaceFileW, when it fails, leaves a file of its own named
// "rf" + hex digits + ".tmp" in the target's folder; Windows does not.
bool IsWineReplaceLeftover(const FilePath& entry) {
  const std::string name = entry.BaseName().MaybeAsASCII();
  return IsRunningUnderWine() && name.size() > 6 && name.compare(0, 2, "rf") == 0 &&
         name.compare(name.size() - 4, 4, ".tmp") == 0;
}

int CountEntries(const FilePath& folder, bool skip_wine_leftover = false) {
  FileEnumerator entries(folder, false,
                         FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  int count = 0;
  for (FilePath entry = entries.Next(); !entry.empty();
       entry = entries.Next()) {
    if (!skip_wine_leftover || !IsWineReplaceLeftover(entry))
      ++count;
  }
  return count;
}

int64_t TempFileFailures(ImportantFileWriter::TempFileFailure failure) {
  return LinearHistogram::FactoryGet("ImportantFile.TempFileFailures", 6, 7)
      ->GetCount(failure);
}

class FakeSerializer : public ImportantFileWriter::DataSerializer {
 public:
  explicit FakeSerializer(const std::string& data) : data_(data) {}

  bool SerializeData(std::string* output) override {
    ++calls;
    *output = data_;
    return succeed;
  }

  int calls = 0;
  bool succeed = true;

 private:
  std::string data_;
};

TEST(ImportantFileWriterTest, WriteFileAtomicallyReplacesWholeFile) {
  TestFolder folder;
  const FilePath path = folder.path().AppendASCII("prefs.json");

  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(path, "first"));
  EXPECT_EQ("first", ReadAll(path));

  // A shorter text leaves nothing of the longer one, and no temporary file
  // stays beside the target.
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(path, "2"));
  EXPECT_EQ("2", ReadAll(path));
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(path, ""));
  EXPECT_EQ("", ReadAll(path));
  EXPECT_EQ(1, CountEntries(folder.path()));
}

TEST(ImportantFileWriterTest, MissingFolderFailsAtCreation) {
  TestFolder folder;
  const FilePath path =
      folder.path().AppendASCII("missing").AppendASCII("prefs.json");
  const int64_t before = TempFileFailures(ImportantFileWriter::FAILED_CREATING);

  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(path, "data"));
  EXPECT_EQ(before + 1,
            TempFileFailures(ImportantFileWriter::FAILED_CREATING));
  EXPECT_FALSE(PathExists(path));
  EXPECT_EQ(0, CountEntries(folder.path()));
}

TEST(ImportantFileWriterTest, LockedTargetKeepsOldContent) {
  TestFolder folder;
  const FilePath path = folder.path().AppendASCII("prefs.json");
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(path, "old"));
  const int64_t before = TempFileFailures(ImportantFileWriter::FAILED_RENAMING);

  // Open without any sharing: nothing may replace or delete it.
  HANDLE locked = ::CreateFileW(as_wcstr(path.value()), GENERIC_READ, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, locked);
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(path, "new"));
  ::CloseHandle(locked);

  EXPECT_EQ(before + 1,
            TempFileFailures(ImportantFileWriter::FAILED_RENAMING));
  EXPECT_EQ("old", ReadAll(path));
  EXPECT_EQ(1, CountEntries(folder.path(), true));
}

// Windows' ReplaceFileW may fail after the target is gone, the new data
// still under the temporary name: that copy goes into place, and when even
// that fails it stays.
TEST(ImportantFileWriterTest, ReplaceFailingAfterTheTargetWentKeepsTheData) {
  const struct {
    DWORD error;
    bool move_fails;
  } kCases[] = {{ERROR_UNABLE_TO_MOVE_REPLACEMENT, false},
                {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, false},
                {ERROR_UNABLE_TO_MOVE_REPLACEMENT, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.error << " " << c.move_fails);
    TestFolder folder;
    const FilePath path = folder.path().AppendASCII("prefs.json");
    ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(path, "old"));
    platform_rules::ScopedReplaceFileFailure failure(c.error);
    platform_rules::ScopedFaultInjection move_failure(
        c.move_fails ? 1 : 0, ERROR_ACCESS_DENIED, "MoveFileExW");
    EXPECT_NE(c.move_fails,
              ImportantFileWriter::WriteFileAtomically(path, "new"));
    EXPECT_TRUE(failure.used());
    if (!c.move_fails) {
      EXPECT_EQ("new", ReadAll(path));
      continue;
    }
    FileEnumerator entries(folder.path(), false, FileEnumerator::FILES);
    int copies = 0;
    for (FilePath entry = entries.Next(); !entry.empty();
         entry = entries.Next()) {
      copies += ReadAll(entry) == "new";
    }
    EXPECT_EQ(1, copies);
  }
}

// The writer's timer posts to the thread's runner and its disk work to the
// file runner; both are driven by hand.
class ImportantFileWriterScheduleTest : public testing::Test {
 protected:
  ImportantFileWriterScheduleTest()
      : thread_runner_(new ManualTaskRunner),
        file_runner_(new ManualTaskRunner),
        handle_(thread_runner_),
        path_(folder_.path().AppendASCII("prefs.json")),
        writer_(new ImportantFileWriter(path_, file_runner_)) {}

  TestFolder folder_;
  scoped_refptr<ManualTaskRunner> thread_runner_;
  scoped_refptr<ManualTaskRunner> file_runner_;
  ThreadTaskRunnerHandle handle_;
  FilePath path_;
  std::unique_ptr<ImportantFileWriter> writer_;
};

TEST_F(ImportantFileWriterScheduleTest, FirstRequestFixesTheDeadline) {
  FakeSerializer early("early");
  FakeSerializer late("late");

  writer_->ScheduleWrite(&early);
  EXPECT_TRUE(writer_->HasPendingWrite());
  thread_runner_->FastForwardBy(TimeDelta::FromSeconds(9));
  writer_->ScheduleWrite(&late);
  thread_runner_->FastForwardBy(TimeDelta::FromMilliseconds(999));
  EXPECT_EQ(0, late.calls);

  thread_runner_->FastForwardBy(TimeDelta::FromMilliseconds(1));
  EXPECT_FALSE(writer_->HasPendingWrite());
  EXPECT_EQ(0, early.calls);
  EXPECT_EQ(1, late.calls);
  // The disk work waits for the file runner.
  EXPECT_FALSE(PathExists(path_));
  file_runner_->RunUntilIdle();
  EXPECT_EQ("late", ReadAll(path_));
  EXPECT_EQ(1, file_runner_->posts());
}

TEST_F(ImportantFileWriterScheduleTest, WriteNowCancelsScheduledWrite) {
  FakeSerializer scheduled("scheduled");
  writer_->ScheduleWrite(&scheduled);
  writer_->WriteNow(std::unique_ptr<std::string>(new std::string("now")));
  EXPECT_FALSE(writer_->HasPendingWrite());

  thread_runner_->FastForwardBy(TimeDelta::FromSeconds(30));
  file_runner_->RunUntilIdle();
  EXPECT_EQ(0, scheduled.calls);
  EXPECT_EQ("now", ReadAll(path_));
}

TEST_F(ImportantFileWriterScheduleTest, FailingSerializerLeavesWriterIdle) {
  FakeSerializer failing("ignored");
  failing.succeed = false;
  writer_->ScheduleWrite(&failing);

  // Flushed by the owner before the deadline: the timer must not come back
  // later without a serializer.
  writer_->DoScheduledWrite();
  EXPECT_EQ(1, failing.calls);
  EXPECT_FALSE(writer_->HasPendingWrite());
  thread_runner_->FastForwardBy(TimeDelta::FromSeconds(30));
  EXPECT_EQ(1, failing.calls);
  EXPECT_EQ(0, file_runner_->posts());

  // Flushing with nothing scheduled does nothing.
  writer_->DoScheduledWrite();
  EXPECT_EQ(0, file_runner_->posts());
  EXPECT_FALSE(PathExists(path_));
}

}  // namespace
}  // namespace base
