#include <windows.h>

#include <string>

#include "base/files/file.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "base/time/time.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/move_file_operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"

namespace installer {

namespace {

using base::FilePath;

void Write(const FilePath& path, const std::string& text) {
  ASSERT_TRUE(base::CreateDirectory(path.DirName()));
  ASSERT_EQ(static_cast<int>(text.size()),
            base::WriteFile(path, text.data(), static_cast<int>(text.size())));
}

std::string Read(const FilePath& path) {
  std::string text;
  EXPECT_TRUE(base::ReadFileToString(path, &text)) << path.AsUTF8Unsafe();
  return text;
}

// The attributes the tests set; the system adds others of its own.
DWORD Attributes(const FilePath& path) {
  return ::GetFileAttributesW(as_wcstr(path.value())) &
         (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
          FILE_ATTRIBUTE_DIRECTORY);
}

void SetAttributes(const FilePath& path, DWORD attributes) {
  ASSERT_TRUE(::SetFileAttributesW(as_wcstr(path.value()), attributes));
}

// Every entry of |folder|, so that tests can see that nothing was left
// behind (no stray ".old" files).
int CountEntries(const FilePath& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find =
      ::FindFirstFileW(as_wcstr(folder.Append(u"*").value()), &data);
  if (find == INVALID_HANDLE_VALUE)
    return 0;
  int count = 0;
  do {
    const std::wstring name(data.cFileName);
    if (name != L"." && name != L"..")
      ++count;
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return count;
}

// Every file below |folder| with its contents, in listing order.
std::string DescribeTree(const FilePath& folder) {
  std::string tree;
  base::FileEnumerator entries(folder, true, base::FileEnumerator::FILES);
  for (FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next())
    tree += entry.AsUTF8Unsafe() + "=" + Read(entry) + "\n";
  return tree;
}

class FileOperationsTest : public testing::Test {
 protected:
  FilePath Path(const char* relative) const {
    return folder_.path().AppendASCII(relative);
  }

  base::TestFolder folder_;
};

}  // namespace

TEST_F(FileOperationsTest, CopyOverExistingFileRollsBackOrCommits) {
  const FilePath source = Path("new.dll");
  const FilePath target = Path("old.dll");
  Write(source, "new");

  // Rollback: the old file comes back with its contents and attributes.
  Write(target, "old");
  SetAttributes(target, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(new CopyFileOperation(source, target)));
    EXPECT_EQ("new", Read(target));
    EXPECT_FALSE(Attributes(target) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(3, CountEntries(folder_.path()));  // source, copy, moved old
    transaction.Rollback();
  }
  EXPECT_EQ("old", Read(target));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            Attributes(target));
  EXPECT_EQ(2, CountEntries(folder_.path()));

  // Commit: the copy stays and the moved-aside file is gone.
  SetAttributes(target, FILE_ATTRIBUTE_NORMAL);
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(new CopyFileOperation(source, target)));
  }
  EXPECT_EQ("new", Read(target));
  EXPECT_EQ("new", Read(source));
  EXPECT_EQ(2, CountEntries(folder_.path()));
}

TEST_F(FileOperationsTest, CopyIntoMissingFoldersRemovesThemOnRollback) {
  const FilePath source = Path("a.txt");
  Write(source, "a");
  SetAttributes(source, FILE_ATTRIBUTE_READONLY);
  const FilePath target = Path("x\\y\\z\\a.txt");
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(new CopyFileOperation(source, target)));
    EXPECT_EQ("a", Read(target));
    EXPECT_FALSE(Attributes(target) & FILE_ATTRIBUTE_READONLY);
    transaction.Rollback();
  }
  EXPECT_FALSE(base::PathExists(Path("x")));
  // The source lends its read-only mark only for the copy.
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), Attributes(source));

  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(new CopyFileOperation(source, target)));
  }
  EXPECT_EQ("a", Read(target));
  SetAttributes(source, FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileOperationsTest, FailedCopyLeavesNothingBehind) {
  Transaction transaction;
  EXPECT_FALSE(transaction.AddAndExecute(
      new CopyFileOperation(Path("missing"), Path("new\\folder\\b.txt"))));
  EXPECT_FALSE(base::PathExists(Path("new")));

  // A target in the way is back under its name after the failure.
  Write(Path("b.txt"), "mine");
  EXPECT_FALSE(transaction.AddAndExecute(
      new CopyFileOperation(Path("missing"), Path("b.txt"))));
  EXPECT_EQ("mine", Read(Path("b.txt")));
  EXPECT_EQ(1, CountEntries(folder_.path()));
}

TEST_F(FileOperationsTest, MoveRollsBackToTheSource) {
  const FilePath source = Path("from.txt");
  const FilePath target = Path("to.txt");
  Write(source, "moved");
  Write(target, "replaced");
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(new MoveFileOperation(source, target)));
    EXPECT_FALSE(base::PathExists(source));
    EXPECT_EQ("moved", Read(target));
    transaction.Rollback();
  }
  EXPECT_EQ("moved", Read(source));
  EXPECT_EQ("replaced", Read(target));
  EXPECT_EQ(2, CountEntries(folder_.path()));

  // A folder moves whole into a new folder and back.
  Write(Path("dir\\inner.txt"), "");
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new MoveFileOperation(Path("dir"), Path("new\\dir"))));
    EXPECT_EQ("", Read(Path("new\\dir\\inner.txt")));
    transaction.Rollback();
  }
  EXPECT_TRUE(base::PathExists(Path("dir\\inner.txt")));
  EXPECT_FALSE(base::PathExists(Path("new")));

  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(new MoveFileOperation(source, target)));
  }
  EXPECT_FALSE(base::PathExists(source));
  EXPECT_EQ("moved", Read(target));
}

TEST_F(FileOperationsTest, CreateFolderRemovesOnlyWhatItCreated) {
  {
    Transaction transaction;
    ASSERT_TRUE(
        transaction.AddAndExecute(new CreateFolderOperation(Path("a\\b\\c"))));
    EXPECT_TRUE(base::DirectoryExists(Path("a\\b\\c")));
    transaction.Rollback();
  }
  EXPECT_FALSE(base::PathExists(Path("a")));
  EXPECT_TRUE(base::DirectoryExists(folder_.path()));

  // An existing folder is left alone, and so is a created one that got
  // something else in it.
  ASSERT_TRUE(base::CreateDirectory(Path("a")));
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(new CreateFolderOperation(Path("a"))));
    ASSERT_TRUE(
        transaction.AddAndExecute(new CreateFolderOperation(Path("a\\b\\c"))));
    Write(Path("a\\b\\keep.txt"), "keep");
    transaction.Rollback();
  }
  EXPECT_FALSE(base::PathExists(Path("a\\b\\c")));
  EXPECT_EQ("keep", Read(Path("a\\b\\keep.txt")));
}

TEST_F(FileOperationsTest, DeleteMovesAsideUntilCommit) {
  EXPECT_EQ(u"C:\\B\\a.dll.1500000000.old",
            DeleteFileOperation::TemporaryPath(FilePath(u"C:\\B\\a.dll"),
                                               1500000000)
                .value());

  // Stops the walk up the folders at commit: it must not go beyond the
  // test folder.
  Write(Path("keep.txt"), "keep");
  const FilePath file = Path("sub\\deep\\a.dll");
  Write(file, "data");
  SetAttributes(file, FILE_ATTRIBUTE_READONLY);
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteFileOperation(file, true, true)));
    EXPECT_FALSE(base::PathExists(file));
    EXPECT_EQ(1, CountEntries(Path("sub\\deep")));  // the renamed file
    transaction.Rollback();
  }
  EXPECT_EQ("data", Read(file));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), Attributes(file));
  EXPECT_EQ(1, CountEntries(Path("sub\\deep")));

  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteFileOperation(file, true, true)));
  }
  // The file and the folders it left empty are gone, up to the first one
  // that holds something else.
  EXPECT_FALSE(base::PathExists(Path("sub")));
  EXPECT_EQ("keep", Read(Path("keep.txt")));
}

TEST_F(FileOperationsTest, DeleteFolderAndMissingFile) {
  Write(Path("dir\\x.txt"), "x");
  Write(Path("other.txt"), "o");
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteFileOperation(Path("nothing"), false, true)));
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteFileOperation(Path("dir"), false, false)));
    EXPECT_FALSE(base::PathExists(Path("dir")));
    transaction.Rollback();
  }
  EXPECT_EQ("x", Read(Path("dir\\x.txt")));
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteFileOperation(Path("dir"), false, false)));
  }
  EXPECT_EQ(1, CountEntries(folder_.path()));
}

TEST_F(FileOperationsTest, DeleteRefusesCollisionsAndFilesInUse) {
  const FilePath file = Path("launcher.exe");
  Write(file, "exe");

  // Something under this second's temporary name: nothing is touched. The
  // name may change while the test runs, so block the next seconds too.
  const int64_t now = base::Time::Now().ToTimeT();
  for (int64_t second = now; second < now + 5; ++second)
    Write(DeleteFileOperation::TemporaryPath(file, second), "");
  {
    Transaction transaction;
    EXPECT_FALSE(transaction.AddAndExecute(
        new DeleteFileOperation(file, false, false)));
  }
  EXPECT_EQ("exe", Read(file));
  for (int64_t second = now; second < now + 5; ++second)
    ASSERT_TRUE(
        base::DeleteFile(DeleteFileOperation::TemporaryPath(file, second),
                         false));

  // Held open without write sharing, like a running program: it may be
  // renamed but not written, so it is put back and the deletion fails.
  HANDLE held = ::CreateFileW(as_wcstr(file.value()), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  {
    Transaction transaction;
    EXPECT_FALSE(transaction.AddAndExecute(
        new DeleteFileOperation(file, true, false)));
  }
  ::CloseHandle(held);
  EXPECT_EQ("exe", Read(file));
  EXPECT_EQ(1, CountEntries(folder_.path()));
}

}  // namespace installer

namespace installer {

// Windows refuses to rename a folder while a file below it is open: the
// deletion or the move then fails, and the folder stays whole.
TEST_F(FileOperationsTest, FolderWithAnOpenFileStaysWhole) {
  for (bool move : {false, true}) {
    SCOPED_TRACE(move ? "move" : "delete");
    const FilePath folder = Path("app");
    for (const char* name : {"a.dll", "b.dll", "sub\\c.txt", "sub\\d.txt"})
      Write(folder.AppendASCII(name), name);
    const std::string before = DescribeTree(folder_.path());
    platform_rules::ScopedWindowsFolderRenameRules rules;
    {
      base::File open(folder.AppendASCII("sub\\d.txt"),
                      base::File::FLAG_OPEN | base::File::FLAG_READ);
      ASSERT_TRUE(open.IsValid());
      Transaction transaction;
      Operation* operation =
          move ? static_cast<Operation*>(
                     new MoveFileOperation(folder, Path("new\\app")))
               : new DeleteFileOperation(folder, false, false);
      EXPECT_FALSE(transaction.AddAndExecute(operation));
    }
    EXPECT_EQ(before, DescribeTree(folder_.path()));
    EXPECT_EQ(1, CountEntries(folder_.path()));
    EXPECT_EQ(1, rules.refused());
  }
}

// A check that fails for another reason than absence is not "absent": the
// file in the way is neither overwritten nor left undeleted.
TEST_F(FileOperationsTest, FailedExistenceCheckFailsTheOperation) {
  const FilePath file = Path("user.txt");
  Write(file, "mine");
  Write(Path("new.txt"), "new");
  const struct {
    bool copy;
    int check;  // which attribute read fails
  } kCases[] = {{false, 1}, {true, 2}};
  for (const auto& c : kCases) {
    {
      Transaction transaction;
      platform_rules::ScopedFaultInjection inject(
          c.check, ERROR_NOT_ENOUGH_MEMORY, "GetFileAttributesW");
      Operation* operation =
          c.copy ? static_cast<Operation*>(
                       new CopyFileOperation(Path("new.txt"), file))
                 : new DeleteFileOperation(file, false, false);
      EXPECT_FALSE(transaction.AddAndExecute(operation)) << c.copy;
      EXPECT_EQ("GetFileAttributesW", inject.failed_function());
      transaction.Rollback();
    }
    EXPECT_EQ("mine", Read(file));
    EXPECT_EQ(2, CountEntries(folder_.path()));
  }
}

}  // namespace installer
