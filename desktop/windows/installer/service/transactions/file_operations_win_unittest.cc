#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <set>
#include <string>

#include "base/files/file.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/win/scoped_handle.h"
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

using base::DescribeTree;
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
          FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY);
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

class FileOperationsTest : public testing::Test {
 protected:
  FilePath Path(const char* relative) const {
    return folder_.path().AppendASCII(relative);
  }

  // The file of the test folder that holds |text|; empty when none does.
  FilePath FileHolding(const std::string& text) const {
    base::FileEnumerator files(folder_.path(), false,
                               base::FileEnumerator::FILES);
    for (FilePath file = files.Next(); !file.empty(); file = files.Next()) {
      if (Read(file) == text)
        return file;
    }
    return FilePath();
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
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), Attributes(source));
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

  // A file moved to another volume comes back across it, also after a
  // later move took it on (and gave it back as a new copy). A read-only one
  // with another name is only renamed: its mark stays on both names. One
  // that another program holds open is copied, not moved: the move fails.
  const FilePath outside = Path("outside.txt");
  const struct {
    const char* what;
    bool linked;
    const char* to;
    bool moves;
    bool held;
    const char* then;
  } kVolumes[] = {
      {"to another volume", false, "other\\to.txt", true, false, nullptr},
      {"linked, to another volume", true, "other\\to.txt", false, false,
       nullptr},
      {"linked, within the volume", true, "to.txt", true, false, nullptr},
      {"held, to another volume", false, "other\\to.txt", false, true,
       nullptr},
      {"to another volume and on", false, "other\\to.txt", true, false,
       "on.txt"},
  };
  for (const auto& c : kVolumes) {
    SCOPED_TRACE(c.what);
    if (c.linked) {
      ASSERT_TRUE(::CreateHardLinkW(as_wcstr(outside.value()),
                                    as_wcstr(source.value()), nullptr));
    }
    if (c.linked || c.held)
      SetAttributes(source, FILE_ATTRIBUTE_READONLY);
    {
      platform_rules::ScopedOtherVolume other(
          as_wcstr(Path("other").value()), true);
      platform_rules::ScopedWindowsFileIndexes indexes;
      Transaction transaction;
      {
        // Its deletion refused once it is copied (a running program): the
        // source stays, its copy goes; the rollback's, when its removal
        // here fails (the copy's deletion mark, the fourth call).
        platform_rules::ScopedFaultInjection copied(
            c.held ? 3 : 0, ERROR_ACCESS_DENIED, "NtSetInformationFile");
        if (c.held)
          copied.AlsoFail("NtSetInformationFile", 4);
        ASSERT_EQ(c.moves, transaction.AddAndExecute(
                               new MoveFileOperation(source, Path(c.to))));
      }
      EXPECT_NE(c.moves, base::PathExists(source));
      if (c.linked)
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
                  Attributes(outside));
      if (c.then) {
        ASSERT_TRUE(transaction.AddAndExecute(
            new MoveFileOperation(Path(c.to), Path(c.then))));
      }
      transaction.Rollback();
    }
    EXPECT_EQ("moved", Read(source));
    EXPECT_EQ("replaced", Read(target));
    EXPECT_FALSE(base::PathExists(Path("other")));
    EXPECT_FALSE(base::PathExists(Path("on.txt")));
    if (c.held) {
      EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
                Attributes(source));
      SetAttributes(source, FILE_ATTRIBUTE_NORMAL);
    }
    if (c.linked) {
      EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
                Attributes(outside));
      SetAttributes(source, FILE_ATTRIBUTE_NORMAL);
      ASSERT_TRUE(base::DeleteFile(outside, false));
    }
  }

  // A moved file keeps its attributes.
  SetAttributes(source, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(new MoveFileOperation(source, target)));
  }
  EXPECT_FALSE(base::PathExists(source));
  EXPECT_EQ("moved", Read(target));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            Attributes(target));
  SetAttributes(target, FILE_ATTRIBUTE_NORMAL);

  // Named by its short name, a file keeps its own: a rollback puts it
  // back under that, and a commit's copy replaces it there.
  const FilePath own = Path("LongDocumentName.txt");
  Write(own, "long");
  wchar_t short_name[MAX_PATH];
  ASSERT_NE(0u, ::GetShortPathNameW(as_wcstr(own.value()), short_name,
                                    MAX_PATH));
  const FilePath alias(as_u16cstr(short_name));
  ASSERT_NE(own.BaseName().value(), alias.BaseName().value());
  const struct {
    const char* what;
    Operation* operation;
    bool commit;
  } kAliases[] = {
      {"delete", new DeleteFileOperation(alias, false, false), false},
      {"move", new MoveFileOperation(alias, Path("away.txt")), false},
      {"copy onto", new CopyFileOperation(target, alias), true},
  };
  for (const auto& c : kAliases) {
    SCOPED_TRACE(c.what);
    {
      Transaction transaction;
      ASSERT_TRUE(transaction.AddAndExecute(c.operation));
      if (!c.commit)
        transaction.Rollback();
    }
    EXPECT_EQ(c.commit ? "moved" : "long", Read(own));
    EXPECT_EQ(3, CountEntries(folder_.path()));  // own, to.txt, dir
  }
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

  // Another program makes a level just before this operation would: theirs
  // stays, and the level made below it goes.
  {
    Transaction transaction;
    platform_rules::ScopedFaultInjection between(1, 0, "NtCreateFile");
    between.Interject([&] { EXPECT_TRUE(base::CreateDirectory(Path("t"))); });
    ASSERT_TRUE(
        transaction.AddAndExecute(new CreateFolderOperation(Path("t\\u"))));
    EXPECT_TRUE(base::DirectoryExists(Path("t\\u")));
    transaction.Rollback();
  }
  EXPECT_TRUE(base::DirectoryExists(Path("t")));
  EXPECT_FALSE(base::PathExists(Path("t\\u")));

  // A file where the folder or one above it should be is no folder; nor is
  // a level Win32 names miss, dropping its trailing dot or space.
  Write(Path("file"), "f");
  for (const char* path : {"file", "file\\sub", "n.", "n ", "n.\\m"}) {
    Transaction transaction;
    EXPECT_FALSE(
        transaction.AddAndExecute(new CreateFolderOperation(Path(path))))
        << path;
    transaction.Rollback();
  }
  EXPECT_EQ("f", Read(Path("file")));
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

  // Another program moves the file aside and puts its own under the
  // temporary name: neither the rollback nor the commit touches theirs.
  for (bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    Write(file, "data");
    FilePath temporary;
    {
      Transaction transaction;
      ASSERT_TRUE(transaction.AddAndExecute(
          new DeleteFileOperation(file, false, false)));
      temporary = base::FileEnumerator(file.DirName(), false,
                                       base::FileEnumerator::FILES)
                      .Next();
      ASSERT_TRUE(::MoveFileW(as_wcstr(temporary.value()),
                              as_wcstr(Path("aside.dll").value())));
      Write(temporary, "theirs");
      if (!commit)
        transaction.Rollback();
    }
    EXPECT_EQ("theirs", Read(temporary));
    EXPECT_EQ("data", Read(Path("aside.dll")));
    EXPECT_FALSE(base::PathExists(file));
    ASSERT_TRUE(base::DeleteFile(temporary, false));
    ASSERT_TRUE(base::DeleteFile(Path("aside.dll"), false));
  }

  // A later operation deletes or moves the file's folder: nothing of the
  // deletion is held open below it (Windows then refuses to rename it),
  // also when the file needed a grant, and the commit finds the file
  // wherever the folder went.
  platform_rules::ScopedWindowsFileAccessLists lists;
  for (int locked_move = 0; locked_move < 4; ++locked_move) {
    SCOPED_TRACE(locked_move);
    Write(file, "data");
    if (locked_move & 1) {
      PSECURITY_DESCRIPTOR locked = nullptr;
      BOOL present = FALSE, defaulted = FALSE;
      PACL dacl = nullptr;
      ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:P(A;;FR;;;WD)", SDDL_REVISION_1, &locked, nullptr));
      ASSERT_TRUE(::GetSecurityDescriptorDacl(locked, &present, &dacl,
                                              &defaulted));
      ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
                ::SetNamedSecurityInfoW(
                    const_cast<wchar_t*>(as_wcstr(file.value())),
                    SE_FILE_OBJECT,
                    DACL_SECURITY_INFORMATION |
                        PROTECTED_DACL_SECURITY_INFORMATION,
                    nullptr, nullptr, dacl, nullptr));
      ::LocalFree(locked);
    }
    {
      platform_rules::ScopedWindowsFolderRenameRules rules;
      Transaction transaction;
      ASSERT_TRUE(transaction.AddAndExecute(
          new DeleteFileOperation(file, false, false)));
      EXPECT_TRUE(transaction.AddAndExecute(
          locked_move & 2
              ? static_cast<Operation*>(
                    new MoveFileOperation(file.DirName(), Path("moved")))
              : new DeleteFileOperation(Path("sub"), false, false)));
    }
    EXPECT_EQ(0, CountEntries(Path("moved")));
    EXPECT_EQ(locked_move & 2 ? 3 : 1, CountEntries(folder_.path()));
    ASSERT_TRUE(base::DeleteFile(Path("moved"), true));
    ASSERT_TRUE(base::DeleteFile(Path("sub"), true));
  }
}

// The entries of |path|'s access list, as text.
std::wstring DaclEntries(const FilePath& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(const_cast<wchar_t*>(as_wcstr(path.value())),
                              SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr,
                              &descriptor) != ERROR_SUCCESS) {
    return L"unreadable";
  }
  wchar_t* text = nullptr;
  std::wstring entries = L"unreadable";
  if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
          nullptr)) {
    // Without the flags before the first entry: Wine drops the protected
    // one on every change.
    entries = text;
    entries.erase(0, entries.find(L'('));
    ::LocalFree(text);
  }
  ::LocalFree(descriptor);
  return entries;
}

// A file whose access list had to be widened for the deletion gets its list
// back on rollback, and the attributes it had before the list changed
// (changing the list may change them: Wine drops the read-only mark): under
// its name, or where it stays when it cannot move back. What took its name
// meanwhile is left alone.
TEST_F(FileOperationsTest, DeleteWithWidenedAccessGivesItAllBack) {
  const FilePath file = Path("locked.exe");
  const struct {
    const char* what;
    int fail_move;     // which rename fails
    bool name_taken;   // someone writes under the file's name
    bool in_use;       // the in-use test fails and moves it back
    // Another program moves it aside and puts its own file under its name
    // just before the |fail_move|-th |call|, and the deletion fails:
    // theirs keeps its list, ours gets its own back at once.
    bool swapped;
    const char* call = "NtSetInformationFile";
    // The same under the temporary name, before the rollback's first call.
    bool at_rollback = false;
    // The swap comes before the name is opened: theirs is deleted.
    bool theirs_deleted = false;
    // Another program gives the moved file a name of its own, and the
    // deletion commits: the file lives on there with its own list.
    bool second_name = false;
    // Instead, another program lifts the mark before the list goes back at
    // the rollback, whose put-back of the mark then fails once.
    bool lifted = false;
  } kCases[] = {
      {"rollback", 0, false, false, false},
      {"move back fails", 2, false, false, false},
      {"name taken", 0, true, false, false},
      {"move back of the in-use test fails", 2, false, true, false},
      {"swapped after the grant", 1, false, false, true, "NtCreateFile"},
      {"swapped before it is opened", 1, false, false, true, "FindFirstFileW",
       false, true},
      {"temporary name taken, in use", 4, false, true, true, "CreateFileW"},
      {"swapped before the grant", 1, false, false, true,
       "GetNamedSecurityInfoW"},
      {"swapped during the grant", 1, false, false, true, "SetSecurityInfo"},
      {"swapped before the rollback", 1, false, false, true, nullptr, true},
      // Its reopen by id for the list failing once at the commit.
      {"a second name made before the commit", 1, false, false, false,
       "OpenFileById", true, false, true, false},
      {"mark lifted before the rollback", 1, false, false, false,
       "SetSecurityInfo", true, false, false, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    // Lists kept as Windows keeps them, whichever name or handle sets them.
    platform_rules::ScopedWindowsFileAccessLists lists;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;FR;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
    // Ours, and theirs when they swap one in: both locked alike.
    const auto write_locked = [&](const FilePath& path, const char* text) {
      Write(path, text);
      ASSERT_TRUE(::SetFileSecurityW(as_wcstr(path.value()),
                                     DACL_SECURITY_INFORMATION, descriptor));
    };
    write_locked(file, "data");
    SetAttributes(file, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    const std::wstring entries = DaclEntries(file);
    std::wstring other_entries;
    std::wstring their_entries;
    FilePath swapped = file;  // where the swap takes ours from
    {
      // Held without write sharing, like a running program.
      const auto hold = [](const FilePath& path) {
        return ::CreateFileW(as_wcstr(path.value()), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      };
      HANDLE held = c.in_use ? hold(file) : INVALID_HANDLE_VALUE;
      ASSERT_EQ(c.in_use, held != INVALID_HANDLE_VALUE);
      // Still on as the transaction commits.
      platform_rules::ScopedFaultInjection move_fails(
          c.fail_move, ERROR_SHARING_VIOLATION, c.call, !c.at_rollback);
      if (c.lifted) {
        move_fails.Interject([&] {
          EXPECT_TRUE(::SetFileAttributesW(as_wcstr(file.value()),
                                           FILE_ATTRIBUTE_HIDDEN));
        });
        move_fails.AlsoFail("SetFileInformationByHandle", 1);
      }
      Transaction transaction;
      if (c.swapped) {
        move_fails.Interject([&] {
          if (c.in_use)
            swapped = FileHolding("data");
          ASSERT_TRUE(::MoveFileW(as_wcstr(swapped.value()),
                                  as_wcstr(Path("aside.exe").value())));
          write_locked(swapped, "theirs");
          SetAttributes(swapped, FILE_ATTRIBUTE_READONLY);
          their_entries = DaclEntries(swapped);
          if (c.in_use) {
            ::CloseHandle(held);
            held = hold(swapped);
          }
        });
      }
      EXPECT_EQ(!c.in_use && (!c.swapped || c.at_rollback || c.theirs_deleted),
                transaction.AddAndExecute(
                    new DeleteFileOperation(file, c.in_use, false)));
      if (c.swapped && !c.at_rollback && !c.theirs_deleted) {
        EXPECT_EQ(entries, DaclEntries(FileHolding("data")));
        EXPECT_EQ("theirs", Read(swapped));
      } else if (!c.in_use && !c.theirs_deleted) {
        ASSERT_NE(entries, DaclEntries(FileHolding("data")))
            << "the list was not widened: this case tests nothing";
      }
      if (c.name_taken) {
        Write(file, "other");
        other_entries = DaclEntries(file);
      }
      if (c.at_rollback) {
        swapped = FileHolding("data");
        move_fails.Start();
      }
      if (c.second_name) {
        ASSERT_TRUE(::CreateHardLinkW(as_wcstr(Path("theirs.exe").value()),
                                      as_wcstr(FileHolding("data").value()),
                                      nullptr));
      } else {
        transaction.Rollback();
      }
      if (held != INVALID_HANDLE_VALUE)
        ::CloseHandle(held);
    }
    const FilePath kept = FileHolding("data");
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(entries, DaclEntries(kept));
    EXPECT_EQ(
        static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
        Attributes(kept));
    if (c.name_taken) {
      EXPECT_EQ(other_entries, DaclEntries(file));
      EXPECT_EQ(0u, Attributes(file));
    }
    if (c.swapped) {
      EXPECT_EQ("theirs", Read(swapped));
      EXPECT_EQ(their_entries, DaclEntries(swapped));
      EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), Attributes(swapped));
      SetAttributes(swapped, FILE_ATTRIBUTE_NORMAL);
    }
    SetAttributes(kept, FILE_ATTRIBUTE_NORMAL);
    ::LocalFree(descriptor);
    ASSERT_TRUE(base::DeleteFile(folder_.path().Append(u"*"), false));
    EXPECT_EQ(0, CountEntries(folder_.path()));
  }
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

  // The temporary name taken after it was found free: what took it stays.
  {
    Transaction transaction;
    platform_rules::ScopedFaultInjection between(1, 0, "NtSetInformationFile");
    between.Interject([&] {
      const int64_t later = base::Time::Now().ToTimeT();
      for (int64_t second = now; second <= later; ++second)
        Write(DeleteFileOperation::TemporaryPath(file, second), "taken");
    });
    EXPECT_FALSE(transaction.AddAndExecute(
        new DeleteFileOperation(file, false, false)));
  }
  EXPECT_EQ("exe", Read(file));
  EXPECT_EQ("taken", Read(FileHolding("taken")));
  ASSERT_TRUE(base::DeleteFile(folder_.path().Append(u"*.old"), false));

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

// What can hold a folder below |folder| open.
enum Holder { READ_FILE, ATTRIBUTES_ONLY, SUBFOLDER, CURRENT_FOLDER };

// Holds something below |folder| open until destroyed.
class ScopedHolder {
 public:
  ScopedHolder(Holder holder, const FilePath& folder) {
    const FilePath file = folder.AppendASCII("sub\\d.txt");
    switch (holder) {
      case READ_FILE:
      case ATTRIBUTES_ONLY:
        handle_ = ::CreateFileW(
            as_wcstr(file.value()),
            holder == READ_FILE ? GENERIC_READ : FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
            nullptr);
        break;
      case SUBFOLDER:
        handle_ = ::CreateFileW(as_wcstr(file.DirName().value()),
                                FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr);
        break;
      case CURRENT_FOLDER:
        ::GetCurrentDirectoryW(MAX_PATH, saved_);
        EXPECT_TRUE(::SetCurrentDirectoryW(as_wcstr(file.DirName().value())));
        return;
    }
    EXPECT_NE(INVALID_HANDLE_VALUE, handle_);
  }
  ~ScopedHolder() {
    if (handle_ != INVALID_HANDLE_VALUE)
      ::CloseHandle(handle_);
    if (saved_[0])
      ::SetCurrentDirectoryW(saved_);
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  wchar_t saved_[MAX_PATH] = {};
};

// Windows refuses to rename a folder while anything below it is open: the
// deletion or the move then fails, and the folder stays whole.
TEST_F(FileOperationsTest, FolderWithAnOpenFileStaysWhole) {
  const FilePath folder = Path("app");
  for (const char* name : {"a.dll", "b.dll", "sub\\c.txt", "sub\\d.txt"})
    Write(folder.AppendASCII(name), name);
  const std::string before = DescribeTree(folder_.path());
  for (const Holder holder :
       {READ_FILE, ATTRIBUTES_ONLY, SUBFOLDER, CURRENT_FOLDER}) {
    for (bool move : {false, true}) {
      SCOPED_TRACE(testing::Message() << (move ? "move" : "delete")
                                      << ", held by " << holder);
      platform_rules::ScopedWindowsFolderRenameRules rules;
      {
        ScopedHolder held(holder, folder);
        Transaction transaction;
        Operation* operation =
            move ? static_cast<Operation*>(
                       new MoveFileOperation(folder, Path("new\\app")))
                 : new DeleteFileOperation(folder, false, false);
        EXPECT_FALSE(transaction.AddAndExecute(operation));
      }
      EXPECT_EQ(before, DescribeTree(folder_.path()));
      EXPECT_EQ(1, rules.refused());
    }
  }
}

// A rollback never moves anything over a name that is taken: here the move
// back fails once (a scanner holds the moved file), or the source's name
// was taken meanwhile. Nor does a transfer replace what took the target's
// name after room was made there: it fails. Every file stays whole under
// one name or another, and what took the name keeps its attributes.
TEST_F(FileOperationsTest, RollbackNeverReplacesATakenName) {
  const FilePath source = Path("from.txt");
  const FilePath target = Path("to.txt");
  enum Taken {
    NONE, SOURCE, TARGET, ACROSS, REPLACED, RETURNING, UNIDENTIFIED, SWAPPED,
    TRIED
  };
  const struct {
    const char* what;
    bool copy;
    Taken taken;
    const char* call; int at;  // where another program acts, or fails
  } kCases[] = {
      {"move back fails", false, NONE, nullptr, 0},
      {"source taken", false, SOURCE, nullptr, 0},
      // After the old target's move aside, itself a rename through a handle.
      {"target taken before the move", false, TARGET, "NtSetInformationFile",
       2},
      {"target taken before the copy", true, TARGET, "NtCreateFile", 2},
      {"target taken before a move to another volume", false, ACROSS,
       "NtCreateFile", 4},
      // Between the source's check and its move, someone moves it away and
      // puts theirs in its place.
      {"source swapped before the move", false, SWAPPED, "NtCreateFile", 2},
      // Someone moves the transferred file away and puts theirs in its
      // place before the rollback.
      {"moved file replaced", false, REPLACED, nullptr, 0},
      {"moved file replaced as it goes back", false, RETURNING, nullptr, 0},
      {"copy replaced", true, REPLACED, nullptr, 0},
      {"copy replaced as it goes", true, RETURNING, nullptr, 0},
      // What the transfer put there cannot be identified: a rollback could
      // not tell it from what takes the name later.
      {"copy unidentified", true, UNIDENTIFIED, "CreateFileW", 6},
      {"moved file unidentified", false, UNIDENTIFIED, "CreateFileW", 6},
      // Tried as the file is copied there and back: refused, as it is held
      // (each time just before the old way's move by name). Last:
      // Wine gives its freed file indexes to the files of later rows.
      {"source swapped before a move to another volume", false, TRIED,
       nullptr, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    Write(source, "moved");
    Write(target, "replaced");
    SetAttributes(source, FILE_ATTRIBUTE_READONLY);
    // Another program moves ours away and puts theirs in its place.
    const auto take_aside = [&](const FilePath& path) {
      ASSERT_TRUE(::MoveFileW(as_wcstr(path.value()),
                              as_wcstr(Path("aside.txt").value())));
      Write(path, "other");
    };
    // The same, tried while we hold ours: refused.
    const auto try_aside = [&](const FilePath& path) {
      if (::MoveFileW(as_wcstr(path.value()),
                      as_wcstr(Path("aside.txt").value())))
        Write(path, "other");
    };
    {
      Transaction transaction;
      platform_rules::ScopedOtherVolume across(
          as_wcstr((c.taken == ACROSS || c.taken == TRIED ? source
                                                           : Path("none"))
                       .value()),
          true);
      {
        const bool unidentified = c.taken == UNIDENTIFIED;
        platform_rules::ScopedFaultInjection between(
            c.taken == TRIED ? 23 : c.at, ERROR_ACCESS_DENIED, c.call);
        if (c.taken == SWAPPED)
          between.Interject([&] { take_aside(source); });
        else if (c.taken == TRIED)
          between.Interject([&] { try_aside(source); });
        else if (!unidentified)
          between.Interject([&] { Write(target, "other"); });
        Operation* operation =
            c.copy ? static_cast<Operation*>(
                         new CopyFileOperation(source, target))
                   : new MoveFileOperation(source, target);
        const bool executed = transaction.AddAndExecute(operation);
        ASSERT_EQ(c.taken != TARGET && c.taken != ACROSS &&
                      c.taken != SWAPPED && !unidentified,
                  executed);
      }
      // Undone at once, so the old target could come back.
      if (c.taken == UNIDENTIFIED)
        EXPECT_EQ("replaced", Read(target));
      if (c.taken == SOURCE)
        Write(source, "other");
      if (c.taken == REPLACED)
        take_aside(target);
      // After the rollback's check of the moved file, before its move back.
      const char* call = c.taken == RETURNING
                             ? (c.copy ? "CreateFileW" : "NtCreateFile")
                             : c.taken == TRIED ? nullptr
                                                : "NtSetInformationFile";
      platform_rules::ScopedFaultInjection held(
          c.taken == TRIED ? 9
          : c.taken == NONE || c.taken == RETURNING ? 1 + c.copy : 0,
          ERROR_SHARING_VIOLATION, call);
      if (c.taken == RETURNING)
        held.Interject([&] { take_aside(target); });
      if (c.taken == TRIED)
        held.Interject([&] { try_aside(target); });
      transaction.Rollback();
    }
    if (c.taken == TARGET || c.taken == ACROSS || c.taken == REPLACED ||
        c.taken == RETURNING)
      EXPECT_EQ("other", Read(target));
    if (c.taken == NONE)  // its move back failed: it never goes by name
      EXPECT_EQ("moved", Read(target));
    std::multiset<std::string> contents;
    base::FileEnumerator entries(folder_.path(), false,
                                 base::FileEnumerator::FILES);
    for (FilePath entry = entries.Next(); !entry.empty();
         entry = entries.Next()) {
      contents.insert(Read(entry));
      if (Read(entry) == "other")
        EXPECT_EQ(0u, Attributes(entry));
      // The moved file keeps its mark wherever it is.
      if (Read(entry) == "moved" && (!c.copy || entry == source))
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
                  Attributes(entry));
      SetAttributes(entry, FILE_ATTRIBUTE_NORMAL);
      ASSERT_TRUE(base::DeleteFile(entry, false));
    }
    std::multiset<std::string> expected = {"moved", "replaced"};
    if (c.taken != NONE && c.taken != UNIDENTIFIED && c.taken != TRIED)
      expected.insert("other");
    if ((c.taken == REPLACED || c.taken == RETURNING) && c.copy)
      expected.insert("moved");  // the copy, where they moved it
    EXPECT_EQ(expected, contents);
  }
}

// A folder moved to another volume is copied and then deleted: the copy
// carries every attribute, and the source comes back as it was, after a
// rollback and after a move that failed half way.
TEST_F(FileOperationsTest, FolderMovedToAnotherVolumeKeepsAttributes) {
  const FilePath folder = Path("app");
  const FilePath moved = Path("other\\app");
  for (bool fail : {false, true}) {
    SCOPED_TRACE(fail ? "failed move" : "rollback");
    Write(folder.AppendASCII("ro.txt"), "r");
    Write(folder.AppendASCII("sub\\hidden.txt"), "h");
    SetAttributes(folder.AppendASCII("ro.txt"), FILE_ATTRIBUTE_READONLY);
    SetAttributes(folder.AppendASCII("sub\\hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
    SetAttributes(folder.AppendASCII("sub"),
                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    SetAttributes(folder, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const std::string before = DescribeTree(folder);
    platform_rules::ScopedWindowsFolderRenameRules rules;
    platform_rules::ScopedOtherVolume other(as_wcstr(Path("other").value()));
    {
      Transaction transaction;
      // The first folder's removal fails: the files come back from the
      // copy.
      platform_rules::ScopedFaultInjection deletion(fail ? 4 : 0,
                                                    ERROR_ACCESS_DENIED,
                                                    "NtSetInformationFile");
      EXPECT_NE(fail, transaction.AddAndExecute(
                          new MoveFileOperation(folder, moved)));
      if (!fail) {
        EXPECT_FALSE(base::PathExists(folder));
        EXPECT_EQ(before, DescribeTree(moved));
      }
      transaction.Rollback();
    }
    EXPECT_EQ(before, DescribeTree(folder));
    EXPECT_FALSE(base::PathExists(Path("other")));
    ASSERT_TRUE(base::DeleteFile(folder, true));
  }
}

// A check that fails for another reason than absence is not "absent": the
// file in the way is neither overwritten nor left undeleted, the free name
// is not taken, and the existing folder does not count as created.
TEST_F(FileOperationsTest, FailedExistenceCheckFailsTheOperation) {
  const FilePath file = Path("user.txt");
  const FilePath folder = Path("empty");
  Write(file, "mine");
  Write(Path("new.txt"), "new");
  ASSERT_TRUE(base::CreateDirectory(folder));
  enum Kind { DELETE_FILE, COPY_FILE, CREATE_FOLDER };
  const struct {
    Kind kind;
    const char* path;
    int check;  // which attribute read fails
  } kCases[] = {
      {DELETE_FILE, "user.txt", 1},    // the file
      {DELETE_FILE, "user.txt", 2},    // its temporary name
      {COPY_FILE, "user.txt", 2},      // the target in the way
      {CREATE_FOLDER, "empty", 1},     // the folder
      {CREATE_FOLDER, "empty\\new", 2},  // its parent
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.kind << " " << c.path << " "
                                    << c.check);
    {
      Transaction transaction;
      platform_rules::ScopedFaultInjection inject(
          c.check, ERROR_NOT_ENOUGH_MEMORY, "GetFileAttributesW");
      Operation* operation = nullptr;
      switch (c.kind) {
        case DELETE_FILE:
          operation = new DeleteFileOperation(Path(c.path), false, false);
          break;
        case COPY_FILE:
          operation = new CopyFileOperation(Path("new.txt"), Path(c.path));
          break;
        case CREATE_FOLDER:
          operation = new CreateFolderOperation(Path(c.path));
          break;
      }
      EXPECT_FALSE(transaction.AddAndExecute(operation));
      EXPECT_EQ("GetFileAttributesW", inject.failed_function());
      transaction.Rollback();
    }
    EXPECT_EQ("mine", Read(file));
    EXPECT_TRUE(base::DirectoryExists(folder));
    EXPECT_EQ(0, CountEntries(folder));
    EXPECT_EQ(3, CountEntries(folder_.path()));
  }
}

}  // namespace installer
