#include "base/files/file_util.h"

#include <windows.h>

#include <string.h>

#include <memory>
#include <string>

#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/test_folder_win.h"
#include "base/logging.h"
#include "base/test/scoped_log_capture_testsupport.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"

namespace base {
namespace {

void WriteText(const FilePath& path, const std::string& text) {
  ASSERT_EQ(static_cast<int>(text.size()),
            WriteFile(path, text.data(), static_cast<int>(text.size())));
}

std::string ReadText(const FilePath& path) {
  std::string text;
  EXPECT_TRUE(ReadFileToString(path, &text));
  return text;
}

void SetReadOnly(const FilePath& path) {
  const DWORD attributes = ::GetFileAttributesW(as_wcstr(path.value()));
  ASSERT_TRUE(::SetFileAttributesW(as_wcstr(path.value()),
                                   attributes | FILE_ATTRIBUTE_READONLY));
}

bool IsReadOnly(const FilePath& path) {
  return (::GetFileAttributesW(as_wcstr(path.value())) &
          FILE_ATTRIBUTE_READONLY) != 0;
}

// The file index of |path|, which tells one file from a copy of it.
DWORD FileIndex(const FilePath& path) {
  win::ScopedHandle file(::CreateFileW(
      as_wcstr(path.value()), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.IsValid() || !::GetFileInformationByHandle(file.Get(), &info))
    return 0;
  return info.nFileIndexLow;
}

FilePath LongPath(const FilePath& folder) {
  // 260 units in all.
  const size_t rest = kMaxPathLength - folder.value().length() - 1;
  return folder.Append(string16(rest, u'x'));
}

// How many entries |folder| holds.
int CountEntries(const FilePath& folder) {
  FileEnumerator entries(folder, false,
                         FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  int count = 0;
  for (FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next())
    ++count;
  return count;
}

// A drive letter that names no drive here.
FilePath MissingDriveRoot() {
  const DWORD drives = ::GetLogicalDrives();
  for (int i = 25; i >= 3; --i) {
    if (!(drives & (1u << i))) {
      const char16 root[] = {static_cast<char16>(u'A' + i), u':', u'\\', 0};
      return FilePath(root);
    }
  }
  return FilePath();
}

// While alive, folder listings show links as plain folders: what a listing
// says when a folder is swapped for a link after it was listed. With
// |read_only|, every folder shows as a plain read-only one.
class ScopedStaleListing {
 public:
  explicit ScopedStaleListing(bool read_only = false)
      : first_("FindFirstFileExW", reinterpret_cast<void*>(&First)),
        next_("FindNextFileW", reinterpret_cast<void*>(&Next)),
        query_("NtQueryDirectoryFile", reinterpret_cast<void*>(&Query)) {
    first_hook_ = &first_;
    next_hook_ = &next_;
    query_hook_ = &query_;
    read_only_ = read_only;
  }

 private:
  static HANDLE WINAPI First(LPCWSTR name,
                             FINDEX_INFO_LEVELS level,
                             LPVOID data,
                             FINDEX_SEARCH_OPS search,
                             LPVOID filter,
                             DWORD flags) {
    HANDLE find = first_hook_->original<decltype(&::FindFirstFileExW)>()(
        name, level, data, search, filter, flags);
    if (find != INVALID_HANDLE_VALUE)
      Hide(static_cast<WIN32_FIND_DATAW*>(data));
    return find;
  }
  static BOOL WINAPI Next(HANDLE find, LPWIN32_FIND_DATAW data) {
    if (!next_hook_->original<decltype(&::FindNextFileW)>()(find, data))
      return FALSE;
    Hide(data);
    return TRUE;
  }
  static NTSTATUS NTAPI Query(HANDLE file, HANDLE event, PVOID apc,
                              PVOID context, PIO_STATUS_BLOCK io, PVOID data,
                              ULONG length, FILE_INFORMATION_CLASS kind,
                              BOOLEAN single, PUNICODE_STRING name,
                              BOOLEAN restart) {
    const NTSTATUS status =
        query_hook_->original<decltype(&::NtQueryDirectoryFile)>()(
            file, event, apc, context, io, data, length, kind, single, name,
            restart);
    for (auto* entry = static_cast<FILE_DIRECTORY_INFORMATION*>(data);
         status == 0 && kind == FileDirectoryInformation;
         entry = reinterpret_cast<FILE_DIRECTORY_INFORMATION*>(
             reinterpret_cast<BYTE*>(entry) + entry->NextEntryOffset)) {
      Hide(&entry->FileAttributes);
      if (!entry->NextEntryOffset)
        break;
    }
    return status;
  }
  static void Hide(WIN32_FIND_DATAW* data) { Hide(&data->dwFileAttributes); }
  static void Hide(DWORD* attributes) {
    *attributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;
    if (read_only_ && (*attributes & FILE_ATTRIBUTE_DIRECTORY))
      *attributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
  }

  static bool read_only_;

  static platform_rules::ScopedImportHook* first_hook_;
  static platform_rules::ScopedImportHook* next_hook_;
  static platform_rules::ScopedImportHook* query_hook_;
  platform_rules::ScopedImportHook first_;
  platform_rules::ScopedImportHook next_;
  platform_rules::ScopedImportHook query_;
};

bool ScopedStaleListing::read_only_ = false;
platform_rules::ScopedImportHook* ScopedStaleListing::first_hook_ = nullptr;
platform_rules::ScopedImportHook* ScopedStaleListing::next_hook_ = nullptr;
platform_rules::ScopedImportHook* ScopedStaleListing::query_hook_ = nullptr;

// Fails the |fail_at|-th call of |function| with ERROR_ACCESS_DENIED.
class ScopedFaultInjectionOnly : public platform_rules::ScopedFaultInjection {
 public:
  ScopedFaultInjectionOnly(int fail_at, const char* function)
      : ScopedFaultInjection(fail_at, ERROR_ACCESS_DENIED, function) {}
};

// While alive, attribute reads show links as plain folders: what an earlier
// read says when a folder is swapped for a link after it.
class ScopedStaleAttributes {
 public:
  ScopedStaleAttributes()
      : hook_("GetFileAttributesW", reinterpret_cast<void*>(&Read)) {
    hook_for_read_ = &hook_;
  }

 private:
  static DWORD WINAPI Read(LPCWSTR name) {
    const DWORD attributes =
        hook_for_read_->original<decltype(&::GetFileAttributesW)>()(name);
    return attributes == INVALID_FILE_ATTRIBUTES
               ? attributes
               : attributes & ~FILE_ATTRIBUTE_REPARSE_POINT;
  }

  static platform_rules::ScopedImportHook* hook_for_read_;
  platform_rules::ScopedImportHook hook_;
};

platform_rules::ScopedImportHook* ScopedStaleAttributes::hook_for_read_ =
    nullptr;

TEST(FileUtilTest, DeleteFileOfFilesAndFolders) {
  TestFolder folder;
  EXPECT_TRUE(DeleteFile(FilePath(), false));
  EXPECT_TRUE(DeleteFile(folder.path().Append(u"missing"), false));
  EXPECT_TRUE(DeleteFile(folder.path().Append(u"missing\\deeper"), true));

  // Refused before the system is asked, even though it would not exist.
  EXPECT_FALSE(DeleteFile(LongPath(folder.path()), false));

  const FilePath read_only = folder.path().Append(u"ro.txt");
  WriteText(read_only, "x");
  SetReadOnly(read_only);
  // A deletion refused after the mark was lifted gives it back.
  {
    ScopedFaultInjectionOnly inject(2, "NtSetInformationFile");
    EXPECT_FALSE(DeleteFile(read_only, false));
  }
  EXPECT_TRUE(IsReadOnly(read_only));
  EXPECT_TRUE(DeleteFile(read_only, false));
  EXPECT_FALSE(PathExists(read_only));

  const FilePath tree = folder.path().Append(u"tree");
  ASSERT_TRUE(CreateDirectory(tree.Append(u"a\\b")));
  WriteText(tree.Append(u"a\\b\\f.txt"), "f");
  SetReadOnly(tree.Append(u"a\\b\\f.txt"));
  SetReadOnly(tree.Append(u"a"));
  // The mark belongs to the file: its other name keeps it.
  const FilePath other_name = folder.path().Append(u"other_name.txt");
  ASSERT_TRUE(::CreateHardLinkW(as_wcstr(other_name.value()),
                                as_wcstr(tree.Append(u"a\\b\\f.txt").value()),
                                nullptr));
  EXPECT_FALSE(DeleteFile(tree, false));
  EXPECT_TRUE(PathExists(tree.Append(u"a\\b\\f.txt")));
  // Also when the file has another name.
  {
    ScopedFaultInjectionOnly inject(2, "NtSetInformationFile");
    EXPECT_FALSE(DeleteFile(tree, true));
  }
  EXPECT_TRUE(IsReadOnly(tree.Append(u"a\\b\\f.txt")));
  EXPECT_TRUE(DeleteFile(tree, true));
  EXPECT_FALSE(PathExists(tree));
  EXPECT_TRUE(IsReadOnly(other_name));
  EXPECT_EQ("f", ReadText(other_name));
}

// However deep a tree, deleting it needs little of the thread's stack.
TEST(FileUtilTest, DeleteFileOfADeepTreeOnASmallStack) {
  TestFolder folder;
  const FilePath top = FilePath(u"\\\\?\\").Append(folder.path().value()).Append(u"deep");
  FilePath path = top;
  ASSERT_TRUE(::CreateDirectoryW(as_wcstr(path.value()), nullptr));
  for (int i = 0; i < 600; ++i) {
    path = path.Append(u"d");
    ASSERT_TRUE(::CreateDirectoryW(as_wcstr(path.value()), nullptr));
  }
  WriteText(path.Append(u"f.txt"), "f");

  struct Run {
    FilePath top;
    bool deleted;
  } run = {top, false};
  auto delete_tree = [](void* argument) -> DWORD {
    Run* run = static_cast<Run*>(argument);
    run->deleted = DeleteFile(run->top, true);
    return 0;
  };
  HANDLE thread = ::CreateThread(nullptr, 64 * 1024, delete_tree, &run,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_TRUE(thread);
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread, 120000));
  ::CloseHandle(thread);
  EXPECT_TRUE(run.deleted);
  EXPECT_FALSE(PathExists(top));
}

TEST(FileUtilTest, DeleteFileWithPattern) {
  TestFolder folder;
  const FilePath dir = folder.path().Append(u"d");
  ASSERT_TRUE(CreateDirectory(dir.Append(u"sub.tmp")));
  WriteText(dir.Append(u"a.tmp"), "a");
  WriteText(dir.Append(u"keep.txt"), "k");
  WriteText(dir.Append(u"sub.tmp\\inner.tmp"), "i");

  // Not recursive: matching files only, folders stay.
  EXPECT_TRUE(DeleteFile(dir.Append(u"*.tmp"), false));
  EXPECT_FALSE(PathExists(dir.Append(u"a.tmp")));
  EXPECT_TRUE(PathExists(dir.Append(u"keep.txt")));
  EXPECT_TRUE(PathExists(dir.Append(u"sub.tmp\\inner.tmp")));

  // Recursive: the matching folder is emptied by the same pattern and
  // removed; an entry that does not match keeps it, and the walk fails.
  WriteText(dir.Append(u"sub.tmp\\other.txt"), "o");
  EXPECT_FALSE(DeleteFile(dir.Append(u"*.tmp"), true));
  EXPECT_FALSE(PathExists(dir.Append(u"sub.tmp\\inner.tmp")));
  EXPECT_TRUE(PathExists(dir.Append(u"sub.tmp\\other.txt")));
  EXPECT_TRUE(DeleteFile(dir.Append(u"sub.tmp\\other.txt"), false));
  EXPECT_TRUE(DeleteFile(dir.Append(u"*.tmp"), true));
  EXPECT_FALSE(PathExists(dir.Append(u"sub.tmp")));
  EXPECT_TRUE(PathExists(dir.Append(u"keep.txt")));
}

// Deleting a folder must never delete what a link inside it points to.
TEST(FileUtilTest, DeleteFileLeavesLinkTargetsAlone) {
  TestFolder folder;
  const FilePath target = folder.path().Append(u"precious");
  ASSERT_TRUE(CreateDirectory(target));
  WriteText(target.Append(u"data.txt"), "keep me");
  const FilePath victim = folder.path().Append(u"victim");
  const FilePath inner_link = victim.Append(u"link");
  const FilePath direct_link = folder.path().Append(u"direct");
  const FilePath pattern_link = folder.path().Append(u"l.tmp");
  ASSERT_TRUE(CreateDirectory(victim));
  if (!MakeFolderLink(inner_link, target))
    GTEST_SKIP() << "no folder link can be made here";
  ASSERT_TRUE(MakeFolderLink(direct_link, target));
  ASSERT_TRUE(MakeFolderLink(pattern_link, target));

  // A link inside the folder, also when the listing still showed a folder
  // there; the link itself; and a link matched by a pattern.
  {
    platform_rules::ScopedWindowsLinkRules links;
    ScopedStaleListing stale;
    DeleteFile(victim, true);
  }
  EXPECT_EQ("keep me", ReadText(target.Append(u"data.txt")));
  // The link itself, read as a folder.
  {
    platform_rules::ScopedWindowsLinkRules links;
    ScopedStaleAttributes stale;
    DeleteFile(direct_link, true);
  }
  EXPECT_EQ("keep me", ReadText(target.Append(u"data.txt")));
  const bool deleted_inner = DeleteFile(victim, true);
  EXPECT_EQ("keep me", ReadText(target.Append(u"data.txt")));
  const bool deleted_direct = DeleteFile(direct_link, true);
  EXPECT_EQ("keep me", ReadText(target.Append(u"data.txt")));
  const bool deleted_pattern = DeleteFile(folder.path().Append(u"*.tmp"), true);
  EXPECT_EQ("keep me", ReadText(target.Append(u"data.txt")));

  if (IsRunningUnderWine()) {
    RemoveLinkUnderWine(inner_link);
    RemoveLinkUnderWine(direct_link);
    RemoveLinkUnderWine(pattern_link);
    GTEST_SKIP() << "Wine cannot remove a Unix symbolic link to a folder";
  }
  EXPECT_TRUE(deleted_inner);
  EXPECT_FALSE(PathExists(victim));
  EXPECT_TRUE(deleted_direct);
  EXPECT_FALSE(PathExists(direct_link));
  EXPECT_TRUE(deleted_pattern);
  EXPECT_FALSE(PathExists(pattern_link));
}

// The read-only mark is lifted on the entry itself, through a handle to it:
// a folder listed as read-only and then swapped for a link must not change
// what the link points to.
TEST(FileUtilTest, DeleteFileLiftsReadOnlyOfTheEntryItself) {
  TestFolder folder;
  const FilePath precious = folder.path().Append(u"precious");
  ASSERT_TRUE(CreateDirectory(precious));
  WriteText(precious.Append(u"data.txt"), "keep me");
  const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ASSERT_TRUE(::SetFileAttributesW(as_wcstr(precious.value()), attributes));
  const FilePath victim = folder.path().Append(u"victim");
  const FilePath link = victim.Append(u"swapped");
  ASSERT_TRUE(CreateDirectory(victim));
  ASSERT_TRUE(MakeFolderLink(link, precious));
  {
    platform_rules::ScopedWindowsLinkRules links;
    ScopedStaleListing stale(true);
    DeleteFile(victim, true);
  }
  EXPECT_EQ(attributes | FILE_ATTRIBUTE_DIRECTORY,
            ::GetFileAttributesW(as_wcstr(precious.value())) &
                (attributes | FILE_ATTRIBUTE_DIRECTORY |
                 FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ("keep me", ReadText(precious.Append(u"data.txt")));
  RemoveLinkUnderWine(link);
}

// Another program acts between a check and the act that relies on it: it
// renames the entry away and puts its own, or a link to a folder of its
// own, in its place. An entry is held from its check to its deletion, so
// that cannot happen, and nothing of theirs goes.
TEST(FileUtilTest, AnotherProgramActsBetweenCheckAndAct) {
  TestFolder folder;
  const FilePath tree = folder.path().Append(u"tree");
  const FilePath away = folder.path().Append(u"away");
  const FilePath victim = folder.path().Append(u"victim");
  const FilePath file = tree.Append(u"sub\\f.txt");
  const struct {
    const char* what;
    FilePath deleted;
    bool recursive;
    const char* before;  // they act just before the |at|-th call of this
    int at;
    FilePath swapped;
    bool link;  // a link to |victim| takes its place, else a file of theirs
  } kRows[] = {
      {"a folder being emptied, as it is listed", tree, true,
       "NtQueryDirectoryFile", 2, tree.Append(u"sub"), true},
      {"a file of a folder being emptied, as it goes", tree, true,
       "NtSetInformationFile", 1, file, false},
      {"a file checked for deletion, as it goes", file, false,
       "NtSetInformationFile", 1, file, false},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.what);
    ASSERT_TRUE(CreateDirectory(tree.Append(u"sub")));
    ASSERT_TRUE(CreateDirectory(victim));
    WriteText(file, "ours");
    WriteText(victim.Append(u"v.txt"), "v");
    bool swapped = false;
    {
      platform_rules::ScopedWindowsLinkRules links;
      ScopedFaultInjectionOnly inject(r.at, r.before);
      inject.Interject([&] {
        swapped = ::MoveFileExW(as_wcstr(r.swapped.value()),
                                as_wcstr(away.value()), 0) != FALSE;
        if (swapped && r.link)
          MakeFolderLink(r.swapped, victim);
        else if (swapped)
          WriteText(r.swapped, "theirs");
      });
      EXPECT_TRUE(DeleteFile(r.deleted, r.recursive));
      EXPECT_EQ(r.before, inject.failed_function());
    }
    EXPECT_FALSE(swapped);
    EXPECT_EQ("v", ReadText(victim.Append(u"v.txt")));
    if (swapped && !r.link)
      EXPECT_EQ("theirs", ReadText(r.swapped));
    if (IsLink(r.swapped))
      RemoveLinkUnderWine(r.swapped);
    ASSERT_TRUE(DeleteFile(tree, true));
    ASSERT_TRUE(DeleteFile(away, true));
  }
}

TEST(FileUtilTest, CreateDirectoryAndGetError) {
  TestFolder folder;
  File::Error error = File::FILE_OK;
  const FilePath deep = folder.path().Append(u"a\\b\\c");
  EXPECT_TRUE(CreateDirectoryAndGetError(deep, &error));
  EXPECT_TRUE(DirectoryExists(deep));

  error = File::FILE_ERROR_IO;
  EXPECT_TRUE(CreateDirectoryAndGetError(deep, &error));
  EXPECT_EQ(File::FILE_ERROR_IO, error);  // Untouched.

  const FilePath file = folder.path().Append(u"file");
  WriteText(file, "");
  EXPECT_FALSE(CreateDirectoryAndGetError(file, &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_A_DIRECTORY, error);
  EXPECT_FALSE(CreateDirectoryAndGetError(file.Append(u"below"), &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_A_DIRECTORY, error);
  EXPECT_FALSE(CreateDirectory(file.Append(u"below")));

  const FilePath missing_root = MissingDriveRoot();
  ASSERT_FALSE(missing_root.empty());
  EXPECT_FALSE(CreateDirectoryAndGetError(missing_root.Append(u"x"), &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, error);
}

TEST(FileUtilTest, CopyFile) {
  TestFolder folder;
  const FilePath from = folder.path().Append(u"from.txt");
  const FilePath to = folder.path().Append(u"to.txt");
  WriteText(from, "contents");
  SetReadOnly(from);
  WriteText(to, "old");
  EXPECT_TRUE(CopyFile(from, to));
  EXPECT_EQ("contents", ReadText(to));
  EXPECT_FALSE(IsReadOnly(to));
  EXPECT_TRUE(IsReadOnly(from));

  EXPECT_FALSE(CopyFile(folder.path().Append(u"x\\..\\from.txt"),
                        folder.path().Append(u"y.txt")));
  EXPECT_FALSE(PathExists(folder.path().Append(u"y.txt")));
  EXPECT_FALSE(CopyFile(folder.path().Append(u"missing"), to));
  EXPECT_EQ("contents", ReadText(to));

  // A copy reported as failed is not left behind, and the file it was to
  // replace stays.
  WriteText(to, "old");
  for (const FilePath& target : {folder.path().Append(u"new.txt"), to}) {
    {
      ScopedFaultInjectionOnly inject(1, "NtSetInformationFile");
      EXPECT_FALSE(CopyFile(from, target));
    }
    EXPECT_EQ(target == to, PathExists(target));
    EXPECT_EQ(2, CountEntries(folder.path()));
  }
  // Win32 names drop a trailing dot or space that native names keep.
  for (const char16* suffix : {u".", u" "}) {
    EXPECT_FALSE(CopyFile(from, FilePath(to.value() + suffix)));
    EXPECT_FALSE(CopyFileWithoutReplacing(
        from, FilePath(folder.path().Append(u"new.txt").value() + suffix)));
  }
  EXPECT_EQ(2, CountEntries(folder.path()));
  EXPECT_EQ("old", ReadText(to));
  // The name a copy is made under beside the longest name fits.
  const FilePath longest =
      FilePath(folder.path().value().substr(0, 3)).Append(string16(255, u'n'));
  WriteText(longest, "old");
  EXPECT_TRUE(CopyFile(from, longest));
  EXPECT_EQ("contents", ReadText(longest));
  EXPECT_TRUE(DeleteFile(longest, false));

  // Another program acts as the copy is made: it takes the name, or renames
  // the copy away for another name of its own read-only file. Theirs stays
  // as it was, and never takes the target's place.
  const FilePath theirs = folder.path().Append(u"theirs.txt");
  const FilePath target = folder.path().Append(u"new.txt");
  WriteText(theirs, "theirs");
  SetReadOnly(theirs);
  const struct {
    bool replace;
    const char* before;
    int at;
    bool swap;
  } kActs[] = {{false, "NtCreateFile", 1, false},
               {false, "NtSetInformationFile", 1, true},
               {true, "NtSetInformationFile", 2, true},
               {true, "ReadFile", 2, true}};
  for (const auto& r : kActs) {
    SCOPED_TRACE(r.before);
    bool swapped = false;
    {
      ScopedFaultInjectionOnly inject(r.at, r.before);
      inject.Interject([&] {
        if (strcmp(r.before, "ReadFile") == 0)
          return void(swapped = base::win::ScopedHandle(::CreateFileW(
                          as_wcstr(from.value()), GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr)).IsValid());
        const FilePath copy =
            r.replace ? FileEnumerator(folder.path(), false,
                                       FileEnumerator::FILES, u"*.copy")
                            .Next()
                      : target;
        if (!r.swap)
          return WriteText(target, "taken");
        swapped = ::MoveFileExW(as_wcstr(copy.value()),
                                as_wcstr(folder.path().Append(u"away").value()),
                                0) &&
                  ::CreateHardLinkW(as_wcstr(copy.value()),
                                    as_wcstr(theirs.value()), nullptr);
      });
      EXPECT_EQ(r.swap, r.replace ? CopyFile(from, to)
                                  : CopyFileWithoutReplacing(from, target));
    }
    EXPECT_FALSE(swapped);
    EXPECT_EQ(r.swap ? "contents" : "taken", ReadText(r.replace ? to : target));
    EXPECT_EQ("theirs", ReadText(theirs));
    EXPECT_TRUE(IsReadOnly(theirs));
    EXPECT_EQ(r.replace ? 3 : 4, CountEntries(folder.path()));
    ASSERT_TRUE(DeleteFile(target, false));
  }

  // A link is not copied: what it points to may be anyone's.
  const FilePath link = folder.path().Append(u"link.txt");
  RunUnixTool(L"Z:\\bin\\ln",
              L"/bin/ln -s " + UnixPath(theirs) + L" " + UnixPath(link),
              [&link] { return PathExists(link); });
  if (!IsLink(link))
    GTEST_SKIP() << "Wine shows no Unix link to a file as a reparse point";
  EXPECT_FALSE(CopyFile(link, target));
  EXPECT_FALSE(PathExists(target));
}

TEST(FileUtilTest, CopyDirectory) {
  TestFolder folder;
  const FilePath a = folder.path().Append(u"a");
  ASSERT_TRUE(CreateDirectory(a.Append(u"sub\\deeper")));
  WriteText(a.Append(u"top.txt"), "top");
  WriteText(a.Append(u"sub\\deeper\\leaf.txt"), "leaf");

  // Into a new folder: the contents.
  const FilePath copy = folder.path().Append(u"copy");
  EXPECT_TRUE(CopyDirectory(a, copy));
  EXPECT_EQ("top", ReadText(copy.Append(u"top.txt")));
  EXPECT_EQ("leaf", ReadText(copy.Append(u"sub\\deeper\\leaf.txt")));

  // Into an existing folder: the folder itself.
  const FilePath x = folder.path().Append(u"x");
  ASSERT_TRUE(CreateDirectory(x));
  EXPECT_TRUE(CopyDirectory(a, x));
  EXPECT_EQ("leaf", ReadText(x.Append(u"a\\sub\\deeper\\leaf.txt")));

  // Never into itself, whatever the case of the target's spelling, and
  // never into a folder whose name begins with the source's.
  EXPECT_FALSE(CopyDirectory(a, a.Append(u"b")));
  string16 upper = a.value();
  upper.back() = u'A';
  EXPECT_FALSE(CopyDirectory(FilePath(upper), a.Append(u"b")));
  EXPECT_FALSE(PathExists(a.Append(u"b")));
  const FilePath ab = folder.path().Append(u"ab");
  ASSERT_TRUE(CreateDirectory(ab));
  EXPECT_FALSE(CopyDirectory(a, ab));
  EXPECT_FALSE(PathExists(ab.Append(u"a")));
  // Nor into itself under its short name.
  wchar_t short_a[MAX_PATH];
  ASSERT_GT(::GetShortPathNameW(as_wcstr(a.value()), short_a, MAX_PATH), 0u);
  ASSERT_NE(a.value(), as_u16cstr(short_a));
  EXPECT_FALSE(CopyDirectory(a, FilePath(as_u16cstr(short_a)).Append(u"b")));
  EXPECT_FALSE(PathExists(a.Append(u"b")));
  // An identity that cannot be read, the source's or the target's, may be
  // the same folder.
  for (int fail_at : {1, 2}) {
    ScopedFaultInjectionOnly inject(fail_at, "CreateFileW");
    EXPECT_FALSE(CopyDirectory(a, FilePath(as_u16cstr(short_a)).Append(u"b")));
    EXPECT_EQ("CreateFileW", inject.failed_function()) << fail_at;
  }
  EXPECT_FALSE(PathExists(a.Append(u"b")));

  EXPECT_FALSE(CopyDirectory(folder.path().Append(u"missing"),
                             folder.path().Append(u"m2")));
  EXPECT_FALSE(CopyDirectory(LongPath(folder.path()), copy));

  // Nor into itself through a link that leads inside it, whether the target
  // is below the link or is the link.
  const FilePath link = folder.path().Append(u"t\\link");
  ASSERT_TRUE(CreateDirectory(link.DirName()));
  if (!MakeFolderLink(link, a.Append(u"sub")))
    GTEST_SKIP() << "no folder link can be made here";
  EXPECT_FALSE(CopyDirectory(a, link.Append(u"b")));
  EXPECT_FALSE(CopyDirectory(a, link));
  EXPECT_FALSE(PathExists(a.Append(u"sub\\b")));
  EXPECT_FALSE(PathExists(a.Append(u"sub\\a")));
  RemoveLinkUnderWine(link);
}

TEST(FileUtilTest, MoveFilesAndFolders) {
  TestFolder folder;
  const FilePath from = folder.path().Append(u"from.txt");
  const FilePath to = folder.path().Append(u"to.txt");
  WriteText(from, "new");
  WriteText(to, "old");
  EXPECT_TRUE(Move(from, to));
  EXPECT_FALSE(PathExists(from));
  EXPECT_EQ("new", ReadText(to));

  EXPECT_FALSE(Move(folder.path().Append(u"sub\\..\\to.txt"),
                    folder.path().Append(u"moved.txt")));
  EXPECT_TRUE(PathExists(to));
  EXPECT_FALSE(Move(to, folder.path().Append(u"..\\escaped.txt")));
  EXPECT_TRUE(PathExists(to));

  // A folder never replaces an existing folder; it stays whole.
  const FilePath src = folder.path().Append(u"src");
  const FilePath dst = folder.path().Append(u"dst");
  ASSERT_TRUE(CreateDirectory(src.Append(u"inner")));
  WriteText(src.Append(u"inner\\f.txt"), "f");
  ASSERT_TRUE(CreateDirectory(dst));
  EXPECT_FALSE(MoveUnsafe(src, dst));
  EXPECT_EQ("f", ReadText(src.Append(u"inner\\f.txt")));
  EXPECT_FALSE(PathExists(dst.Append(u"src")));
  ASSERT_TRUE(DeleteFile(dst, false));

  // A folder with an open file below cannot be renamed on Windows, nor
  // moved to another volume: either way the source stays whole and no
  // copy is left. Without the open file, the move across volumes copies.
  WriteText(src.Append(u"inner\\g.txt"), "g");
  for (const DWORD rename_error : {DWORD{0}, DWORD{ERROR_NOT_SAME_DEVICE}}) {
    platform_rules::ScopedWindowsFolderRenameRules rules;
    platform_rules::ScopedFaultInjection other_volume(
        rename_error ? 1 : 0, rename_error, "MoveFileExW");
    {
      File open(src.Append(u"inner\\g.txt"),
                File::FLAG_OPEN | File::FLAG_READ);
      ASSERT_TRUE(open.IsValid());
      EXPECT_FALSE(MoveUnsafe(src, dst));
    }
    EXPECT_EQ("f", ReadText(src.Append(u"inner\\f.txt")));
    EXPECT_EQ("g", ReadText(src.Append(u"inner\\g.txt")));
    EXPECT_FALSE(PathExists(dst));
  }
  {
    platform_rules::ScopedFaultInjection other_volume(1, ERROR_NOT_SAME_DEVICE,
                                                      "MoveFileExW");
    EXPECT_TRUE(MoveUnsafe(src, dst));
  }
  EXPECT_FALSE(PathExists(src));
  EXPECT_EQ("g", ReadText(dst.Append(u"inner\\g.txt")));

  // A folder never moves into itself, and stays whole.
  EXPECT_FALSE(MoveUnsafe(dst, dst.Append(u"below")));
  EXPECT_EQ("f", ReadText(dst.Append(u"inner\\f.txt")));
  EXPECT_FALSE(PathExists(dst.Append(u"below")));

  // A failed move keeps the error of the move and loses nothing.
  ::SetLastError(0);
  EXPECT_FALSE(MoveUnsafe(folder.path().Append(u"missing"), dst));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
  EXPECT_FALSE(MoveUnsafe(LongPath(folder.path()), dst));
}

// A folder moved to another volume is copied, attributes and all, and then
// deleted; whatever stops that leaves the source as it was and no copy.
TEST(FileUtilTest, MoveFolderToAnotherVolume) {
  // THEIRS: someone else gets into the target first: they make it, with a
  // file of theirs inside, or put theirs in place of a copied file (moved
  // away, so that theirs cannot reuse its file number). Theirs stays, and
  // the source stays whole. The last three: another program swaps the
  // source, the target for a link, or a copy made for another name of a file
  // of its own, or a copied folder for a link back to the source: nothing of
  // theirs is touched, nothing goes through the link. REPLACED: a copied
  // file set aside for theirs of the same size and time, or (EMPTIED) for an
  // empty folder.
  enum SourceChange { NONE, REWRITTEN, RESIZED, ADDED, WRITTEN, TAKEN,
                      REPLACED, EMPTIED, THEIRS, SOURCE_SWAPPED, TARGET_LINKED,
                      COPY_LINKED, COPY_RELINKED };
  TestFolder folder;
  const FilePath src = folder.path().Append(u"src");
  const FilePath other = folder.path().Append(u"other");
  const FilePath dst = other.Append(u"dst");
  const struct {
    const char* what;
    const char* fail;  // the function whose call |at| fails
    int at;
    bool target_exists;
    // The |change_at|-th call of this function just before which the
    // source (or the target) is changed as |change| says; with |fail|
    // too, its call |at| fails as well.
    const char* change_before;
    int change_at;
    SourceChange change;
    // Then the |back_at|-th NtSetInformationFile call, as the deletion is
    // taken back, fails |back_fails| times: ro.txt's mark put back, or (15)
    // the first deletion mark cleared.
    int back_at;
    int back_fails;
  } kCases[] = {
      {"moved", nullptr, 0, false},
      {"refused for another reason", "MoveFileExW", 1, false},
      {"listing cut short", "NtQueryDirectoryFile", 2, false},
      {"deletion fails half way", "NtSetInformationFile", 8, false},
      {"deletion refused at the last file, its mark not put back at once",
       "NtSetInformationFile", 13, false, nullptr, 0, NONE, 14, 1},
      {"refused at the source, a mark cleared at the second try",
       "NtSetInformationFile", 14, false, nullptr, 0, NONE, 15, 1},
      {"refused at the source, the mark's put-back fails once",
       "NtSetInformationFile", 14, false, nullptr, 0, NONE, 18, 1},
      {"refused at the source, the mark's put-back fails twice",
       "NtSetInformationFile", 14, false, nullptr, 0, NONE, 18, 2},
      {"onto a folder", nullptr, 0, true},
      {"target made meanwhile", nullptr, 0, false, "NtCreateFile", 2, THEIRS},
      {"a file of the target made meanwhile", nullptr, 0, false, "NtCreateFile",
       4, THEIRS},
      {"a copied file replaced as the copy goes again",
       "GetFileInformationByHandle", 23, false, "NtSetInformationFile", 7,
       THEIRS},
      // The source changes after a file was copied: it stays whole, with
      // the change.
      {"a copied file rewritten", nullptr, 0, false, "NtCreateFile", 5,
       REWRITTEN},
      {"a copied file resized, its time put back", nullptr, 0, false,
       "NtCreateFile", 5, RESIZED},
      {"a file added as the folders go", nullptr, 0, false,
       "NtSetInformationFile", 8, ADDED},
      // Whatever can be written then: never a file already checked.
      {"files written as the checks start", nullptr, 0, false,
       "GetFileInformationByHandle", 23, WRITTEN},
      {"files written as the checks end", nullptr, 0, false,
       "GetFileInformationByHandle", 25, WRITTEN},
      {"a file replaced as the checks start", nullptr, 0, false,
       "GetFileInformationByHandle", 23, REPLACED},
      {"a file swapped for a folder as the checks start", nullptr, 0, false,
       "GetFileInformationByHandle", 23, EMPTIED},
      {"a copied folder swapped for a link to its source", nullptr, 0, false,
       "GetFileInformationByHandle", 23, COPY_RELINKED},
      // Nothing is deleted by name, where a writer could come in between.
      {"files written as they go", nullptr, 0, false, "NtSetInformationFile", 7,
       WRITTEN},
      {"the source swapped as its deletion starts", nullptr, 0, false,
       "NtCreateFile", 9, SOURCE_SWAPPED},
      {"the target swapped for a link as it fills", nullptr, 0, false,
       "NtCreateFile", 3, TARGET_LINKED},
      // Where attributes set by name would reach theirs.
      {"a copy made another name of theirs", nullptr, 0, false,
       "SetFileAttributesW", 1, COPY_LINKED},
      {"a freed name taken", nullptr, 0, false, "NtSetInformationFile", 14,
       TAKEN},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(CreateDirectory(src.Append(u"sub")));
    WriteText(src.Append(u"ro.txt"), "r");
    WriteText(src.Append(u"sub\\f.txt"), "f");
    SetReadOnly(src.Append(u"ro.txt"));
    ASSERT_TRUE(::SetFileAttributesW(as_wcstr(src.Append(u"sub").value()),
                                     FILE_ATTRIBUTE_HIDDEN |
                                         FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(CreateDirectory(other));
    if (c.target_exists) {
      ASSERT_TRUE(CreateDirectory(dst));
      WriteText(dst.Append(u"mine.txt"), "mine");
    }
    std::string before = DescribeTree(src);
    if (c.change == TAKEN)
      before.replace(before.find("ro.txt"), 10, "ro.txt 0 theirs");
    const std::string target_before = DescribeTree(dst);
    // A file given back from the copy is another file, as on Windows.
    platform_rules::ScopedWindowsFileIndexes indexes;
    const DWORD index_before = FileIndex(src.Append(u"sub\\f.txt"));
    bool moved = !c.fail && !c.target_exists &&
                 (!c.change_before || c.change == WRITTEN ||
                  c.change >= SOURCE_SWAPPED);
    std::string target_after = target_before;
    {
      platform_rules::ScopedWindowsFolderRenameRules rules;
      platform_rules::ScopedOtherVolume volume(as_wcstr(other.value()));
      ScopedFaultInjectionOnly inject(c.change_before ? c.change_at : c.at,
                                      c.change_before ? c.change_before
                                                      : c.fail);
      if (c.back_fails)
        inject.AlsoFail("NtSetInformationFile", c.back_at, c.back_fails);
      if (c.fail && c.change_before)
        inject.AlsoFail(c.fail, c.at);
      if (c.change_before) inject.Interject([&] {
        const FilePath away = folder.path().Append(u"away.txt");
        if (c.change == SOURCE_SWAPPED &&
            ::MoveFileW(as_wcstr(src.value()), as_wcstr(away.value())))
          return void(CreateDirectory(src));
        if (c.change == TARGET_LINKED &&
            ::MoveFileW(as_wcstr(dst.value()),
                        as_wcstr(other.Append(u"away").value())))
          return void(CreateDirectory(other.Append(u"victim")) &&
                      MakeFolderLink(dst, other.Append(u"victim")));
        if (c.change == COPY_LINKED) {
          WriteText(other.Append(u"theirs.txt"), "theirs");
          return void(::MoveFileW(as_wcstr(dst.Append(u"ro.txt").value()),
                                  as_wcstr(away.value())) &&
                      ::CreateHardLinkW(
                          as_wcstr(dst.Append(u"ro.txt").value()),
                          as_wcstr(other.Append(u"theirs.txt").value()),
                          nullptr));
        }
        if (c.change == COPY_RELINKED) {
          // The copy is held until the source is gone: none of it can go.
          DeleteFile(dst.Append(u"ro.txt"), false);
          if (DeleteFile(dst.Append(u"sub"), true))
            MakeFolderLink(dst.Append(u"sub"), src.Append(u"sub"));
          return;
        }
        if (c.change >= SOURCE_SWAPPED)
          return;
        if (c.change == THEIRS) {
          const bool made = strcmp(c.what, "target made meanwhile") == 0;
          EXPECT_NE(made, DirectoryExists(dst));
          ASSERT_TRUE(CreateDirectory(dst));
          EXPECT_EQ(c.fail != nullptr,
                    ::MoveFileW(as_wcstr(dst.Append(u"ro.txt").value()),
                                as_wcstr(away.value())) != FALSE);
          const FilePath theirs(made ? u"theirs.txt" : u"ro.txt");
          WriteText(dst.Append(theirs.value()), "theirs");
          target_after = ". 16\n" + theirs.AsUTF8Unsafe() + " 0 theirs\n";
          return;
        }
        if (c.change == TAKEN)
          return WriteText(src.Append(u"ro.txt"), "theirs");
        if (c.change == EMPTIED) {
          ASSERT_TRUE(::MoveFileW(as_wcstr(src.Append(u"sub\\f.txt").value()),
                                  as_wcstr(away.value())));
          ASSERT_TRUE(CreateDirectory(src.Append(u"sub\\f.txt")));
          return void(before.replace(before.find("f.txt 0 f"), 9, "f.txt 16 "));
        }
        if (c.change == ADDED) {
          WriteText(src.Append(u"sub\\new.txt"), "new");
          before += "sub\\new.txt 0 new\n";  // the last in name order
          return;
        }
        if (c.change == WRITTEN) {
          for (const char16* name : {u"ro.txt", u"sub\\f.txt"}) {
            base::win::ScopedHandle file(::CreateFileW(
                as_wcstr(src.Append(name).value()), GENERIC_WRITE,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_EXISTING, 0, nullptr));
            if (!file.IsValid())
              continue;
            // A later time too: the clock may not have moved on.
            DWORD written = 0;
            FILETIME later = {0, 0x7FFFFFF};
            ASSERT_TRUE(::WriteFile(file.Get(), "X", 1, &written, nullptr));
            ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &later));
            const std::string line = FilePath(name).AsUTF8Unsafe() + " ";
            const size_t at = before.find(line);
            ASSERT_NE(std::string::npos, at);
            before[before.find('\n', at) - 1] = 'X';
            moved = false;
          }
          return;
        }
        const bool replaced = c.change == REPLACED;
        const FilePath copied = src.Append(replaced ? u"sub\\f.txt" : u"ro.txt");
        FILETIME written;
        base::win::ScopedHandle file(::CreateFileW(
            as_wcstr(copied.value()), FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
            nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(::GetFileTime(file.Get(), nullptr, nullptr, &written));
        file.Close();
        ASSERT_TRUE(::SetFileAttributesW(as_wcstr(copied.value()),
                                         FILE_ATTRIBUTE_NORMAL));
        if (replaced)
          ASSERT_TRUE(::MoveFileW(as_wcstr(copied.value()),
                                  as_wcstr(away.value())));
        WriteText(copied, c.change == REWRITTEN ? "R"
                          : replaced            ? "F"
                                                : "RR");
        // Later, or back as it was: then the size alone tells.
        if (c.change == REWRITTEN)
          written.dwHighDateTime += 1;
        file.Set(::CreateFileW(as_wcstr(copied.value()), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr));
        ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &written));
        file.Close();
        if (replaced)
          return void(before.replace(before.find("f.txt 0 f"), 9, "f.txt 0 F"));
        SetReadOnly(copied);
        before.replace(before.find("ro.txt 1 r"), 10,
                       c.change == REWRITTEN ? "ro.txt 1 R" : "ro.txt 1 RR");
      });
      ScopedLogCapture log;
      EXPECT_EQ(moved, MoveUnsafe(src, dst));
      if (c.change == TAKEN)
        EXPECT_NE(std::string::npos, log.text.find("ro.txt stays as"));
      // A second try puts it back; after two the copy gives it back.
      if (c.back_fails) {
        EXPECT_EQ(c.back_fails > 1,
                  log.text.find("mark as its deletion was taken back") !=
                      std::string::npos);
      }
      // No attributes go on by name, where theirs may stand.
      if (c.fail || c.change_before)
        EXPECT_EQ(c.change == COPY_LINKED ? ""
                  : c.change_before       ? c.change_before
                                          : c.fail,
                  inject.failed_function());
    }
    if (moved) {
      EXPECT_FALSE(PathExists(src));
      EXPECT_EQ(before, DescribeTree(dst));
    } else {
      EXPECT_EQ(before, DescribeTree(src));
      EXPECT_EQ(target_after, DescribeTree(dst));
      // A changed source stops the move before anything goes: a file given
      // back from the copy would be another file (its access list, owner
      // and other names lost).
      if (c.change != ADDED && c.change != REPLACED && c.change != EMPTIED)
        EXPECT_EQ(index_before, FileIndex(src.Append(u"sub\\f.txt")));
    }
    // Nothing gathered for the deletion stays beside it.
    ASSERT_TRUE(DeleteFile(folder.path().Append(u"away.txt"), false));
    EXPECT_EQ(moved ? 1 : 2 + (c.change == TAKEN), CountEntries(folder.path()));
    ASSERT_TRUE(DeleteFile(src, true));
    ASSERT_TRUE(DeleteFile(other, true));
  }

  // No copy can carry a link, inside the folder or the folder itself (it
  // would arrive as an empty folder or a copy of what it points to, and go
  // from the source): the folder stays where it is, the link a link.
  const FilePath linked = folder.path().Append(u"linked");
  ASSERT_TRUE(CreateDirectory(linked));
  ASSERT_TRUE(CreateDirectory(src));
  ASSERT_TRUE(CreateDirectory(other));
  const FilePath inner_link = src.Append(u"link");
  const FilePath outer_link = folder.path().Append(u"outer");
  if (!MakeFolderLink(inner_link, linked))
    GTEST_SKIP() << "no folder link can be made here";
  ASSERT_TRUE(MakeFolderLink(outer_link, linked));
  for (const FilePath& moved : {src, outer_link}) {
    SCOPED_TRACE(moved.AsUTF8Unsafe());
    const std::string before = DescribeTree(moved);
    {
      platform_rules::ScopedWindowsFolderRenameRules rules;
      platform_rules::ScopedOtherVolume volume(as_wcstr(other.value()));
      EXPECT_FALSE(MoveUnsafe(moved, dst));
    }
    EXPECT_EQ(before, DescribeTree(moved));
    EXPECT_TRUE(IsLink(inner_link));
    EXPECT_TRUE(IsLink(outer_link));
    EXPECT_TRUE(DirectoryExists(linked));
    EXPECT_FALSE(PathExists(dst));
  }
  RemoveLinkUnderWine(inner_link);
  RemoveLinkUnderWine(outer_link);
}

// While alive, |path| cannot be deleted: a scanner keeps it open without
// delete sharing.
class ScopedUndeletable {
 public:
  explicit ScopedUndeletable(const FilePath& path) {
    if (!path.empty()) {
      held_.Set(::CreateFileW(as_wcstr(path.value()), FILE_READ_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
      EXPECT_TRUE(held_.IsValid());
    }
  }

 private:
  win::ScopedHandle held_;
};

// A listing that fails at any one of its calls fails what relies on all of
// it, rather than passing for the whole: a copy, emptying a folder, a move to
// another volume (whose source then stays whole; when the deletion of the
// source fails, the source or else the copy stays whole).
TEST(FileUtilTest, ListingFailureFailsTheCaller) {
  TestFolder folder;
  const FilePath src = folder.path().Append(u"src");
  const FilePath other = folder.path().Append(u"other");
  const FilePath dst = other.Append(u"dst");
  enum Caller { COPY, EMPTY, MOVE, MOVE_UNDELETABLE };
  const struct {
    const char* what;
    Caller caller;
  } kCallers[] = {
      {"copy", COPY},
      {"empty the folder", EMPTY},
      {"move to another volume", MOVE},
      {"move whose deletion fails", MOVE_UNDELETABLE},
  };
  for (const auto& c : kCallers) {
    for (const char* function :
         {"FindFirstFileExW", "FindNextFileW", "NtQueryDirectoryFile"}) {
      bool injected = true;
      for (int at = 1; injected; ++at) {
        SCOPED_TRACE(std::string(c.what) + ", " + function + " call " +
                     std::to_string(at));
        ASSERT_TRUE(CreateDirectory(src.Append(u"sub\\deep")));
        ASSERT_TRUE(CreateDirectory(other));
        WriteText(src.Append(u"a.txt"), "a");
        WriteText(src.Append(u"b.txt"), "b");
        WriteText(src.Append(u"sub\\c.txt"), "c");
        WriteText(src.Append(u"sub\\deep\\d.txt"), "d");
        SetReadOnly(src.Append(u"b.txt"));
        const std::string before = DescribeTree(src);
        bool done;
        {
          platform_rules::ScopedWindowsFolderRenameRules rules;
          platform_rules::ScopedOtherVolume volume(as_wcstr(other.value()));
          ScopedUndeletable undeletable(c.caller == MOVE_UNDELETABLE
                                            ? src.Append(u"sub\\c.txt")
                                            : FilePath());
          ScopedFaultInjectionOnly inject(at, function);
          switch (c.caller) {
            case COPY:
              done = CopyDirectory(src, dst);
              break;
            case EMPTY:
              done = DeleteFile(src.Append(u"*"), true);
              break;
            default:
              done = MoveUnsafe(src, dst);
          }
          injected = !inject.failed_function().empty();
        }
        EXPECT_EQ(!injected && c.caller != MOVE_UNDELETABLE, done);
        if (c.caller == MOVE_UNDELETABLE) {
          // A removal of what is left over may fail as well.
          EXPECT_TRUE(before == DescribeTree(src) ||
                      before == DescribeTree(dst));
        } else if (c.caller == MOVE) {
          if (!done) {
            EXPECT_EQ(before, DescribeTree(src));
          }
          EXPECT_EQ(done, PathExists(dst));
        }
        ASSERT_TRUE(DeleteFile(src, true));
        ASSERT_TRUE(DeleteFile(other, true));
      }
    }
  }
}

TEST(FileUtilTest, ReplaceFile) {
  TestFolder folder;
  const FilePath from = folder.path().Append(u"from.txt");
  const FilePath to = folder.path().Append(u"to.txt");
  WriteText(from, "new");
  EXPECT_TRUE(ReplaceFile(from, to));  // No target yet: a plain move.
  EXPECT_EQ("new", ReadText(to));
  WriteText(from, "newer");
  EXPECT_TRUE(ReplaceFile(from, to));
  EXPECT_EQ("newer", ReadText(to));
  EXPECT_FALSE(PathExists(from));
}

TEST(FileUtilTest, ReadFileToStringWithMaxSize) {
  TestFolder folder;
  const FilePath empty = folder.path().Append(u"empty");
  const FilePath one = folder.path().Append(u"one");
  WriteText(empty, "");
  WriteText(one, "1");
  std::string contents = "stale";
  EXPECT_TRUE(ReadFileToStringWithMaxSize(empty, &contents, 0));
  EXPECT_EQ("", contents);
  contents = "stale";
  EXPECT_FALSE(ReadFileToStringWithMaxSize(one, &contents, 0));
  EXPECT_EQ("", contents);
  EXPECT_TRUE(ReadFileToStringWithMaxSize(one, &contents, 1));
  EXPECT_EQ("1", contents);
  EXPECT_FALSE(
      ReadFileToString(folder.path().Append(u"x\\..\\one"), &contents));

  // Another reader or writer does not keep it from being read.
  win::ScopedHandle writer(::CreateFileW(
      as_wcstr(one.value()), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.IsValid());
  EXPECT_EQ("1", ReadText(one));
}

TEST(FileUtilTest, ReadWriteAndAppend) {
  TestFolder folder;
  const FilePath path = folder.path().Append(u"data.bin");
  const char data[] = "abc\0def";
  EXPECT_EQ(7, WriteFile(path, data, 7));
  char buffer[16] = {};
  EXPECT_EQ(7, ReadFile(path, buffer, sizeof(buffer)));
  EXPECT_EQ(std::string(data, 7), std::string(buffer, 7));
  EXPECT_EQ(-1, ReadFile(folder.path().Append(u"missing"), buffer, 3));

  EXPECT_TRUE(AppendToFile(path, "gh", 2));
  EXPECT_EQ(std::string("abc\0defgh", 9), ReadText(path));
  EXPECT_FALSE(AppendToFile(folder.path().Append(u"missing"), "x", 1));
  EXPECT_FALSE(PathExists(folder.path().Append(u"missing")));

  // Negative sizes are refused before anything is opened, so the file
  // keeps its contents.
  EXPECT_EQ(-1, WriteFile(path, data, -1));
  EXPECT_FALSE(AppendToFile(path, data, -1));
  EXPECT_EQ(-1, ReadFile(path, buffer, -1));
  EXPECT_EQ(std::string("abc\0defgh", 9), ReadText(path));

  // Writing into a file someone holds open fails and says so.
  win::ScopedHandle holder(::CreateFileW(as_wcstr(path.value()), GENERIC_READ,
                                         0, nullptr, OPEN_EXISTING, 0,
                                         nullptr));
  ASSERT_TRUE(holder.IsValid());
  EXPECT_EQ(-1, WriteFile(path, data, 3));
  EXPECT_FALSE(AppendToFile(path, data, 3));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
}

std::string* g_log_text = nullptr;

bool CaptureLog(int severity,
                const char* file,
                int line,
                size_t message_start,
                const std::string& text) {
  if (g_log_text)
    *g_log_text += text;
  return true;
}

// Turns verbose lines on for this file's module alone, which lasts for the
// process, so it runs in a child: exits 0 when the failure was logged.
void AppendToFileUnderVmodule(const FilePath& missing) {
  CommandLine::Init();
  CommandLine::ForCurrentProcess()->AppendSwitchASCII("vmodule",
                                                      "file_util_win=1");
  LoggingSettings settings;
  settings.logging_dest = LOG_NONE;
  BaseInitLoggingImpl(settings);
  std::string text;
  g_log_text = &text;
  SetLogMessageHandler(CaptureLog);
  AppendToFile(missing, "x", 1);
  ExitProcess(text.find("CreateFile failed") == std::string::npos);
}

TEST(FileUtilTest, AppendToFileLogsFailuresVerbosely) {
  TestFolder folder;
  const FilePath missing = folder.path().Append(u"missing.log");
  std::string text;
  g_log_text = &text;
  const int saved_level = GetMinLogLevel();
  const LogMessageHandlerFunction saved_handler = GetLogMessageHandler();
  SetLogMessageHandler(CaptureLog);

  EXPECT_FALSE(AppendToFile(missing, "x", 1));
  EXPECT_EQ("", text);  // Not at the default level.
  SetMinLogLevel(-1);
  EXPECT_FALSE(AppendToFile(missing, "x", 1));
  SetMinLogLevel(saved_level);
  SetLogMessageHandler(saved_handler);
  g_log_text = nullptr;

  // The message, then the system's reason.
  const std::string expected =
      "CreateFile failed for path " + missing.AsUTF8Unsafe() + ": ";
  EXPECT_NE(std::string::npos, text.find(expected)) << text;

  // The file's own verbose level is enough, as for VLOG.
  EXPECT_EXIT(AppendToFileUnderVmodule(missing), testing::ExitedWithCode(0),
              "");
}

TEST(FileUtilTest, TemporaryFilesAndFolders) {
  TestFolder folder;
  FilePath temp_file;
  ASSERT_TRUE(CreateTemporaryFileInDir(folder.path(), &temp_file));
  EXPECT_EQ(folder.path(), temp_file.DirName());
  int64_t size = -1;
  EXPECT_TRUE(GetFileSize(temp_file, &size));
  EXPECT_EQ(0, size);
  FilePath second;
  ASSERT_TRUE(CreateTemporaryFileInDir(folder.path(), &second));
  EXPECT_NE(temp_file, second);

  FilePath temp_dir;
  ASSERT_TRUE(GetTempDir(&temp_dir));
  EXPECT_FALSE(FilePath::IsSeparator(temp_dir.value().back()));
  FilePath in_temp;
  ASSERT_TRUE(CreateTemporaryFile(&in_temp));
  EXPECT_TRUE(PathExists(in_temp));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(temp_dir.value(),
                                           in_temp.DirName().value()));
  EXPECT_TRUE(DeleteFile(in_temp, false));
}

TEST(FileUtilTest, FailedTemporaryFileNamesNothing) {
  TestFolder folder;
  const FilePath missing = folder.path().Append(u"missing");
  wchar_t saved[MAX_PATH + 1];
  const DWORD saved_length = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH + 1);
  ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", as_wcstr(missing.value())));
  FilePath path(u"C:\\left\\over");
  const bool created = CreateTemporaryFile(&path);
  ::SetEnvironmentVariableW(L"TMP", saved_length ? saved : nullptr);
  EXPECT_FALSE(created);
  EXPECT_TRUE(path.empty());
}

TEST(FileUtilTest, InformationAndTests) {
  TestFolder folder;
  const FilePath file = folder.path().Append(u"f.txt");
  WriteText(file, "12345");
  File::Info info;
  ASSERT_TRUE(GetFileInfo(file, &info));
  EXPECT_EQ(5, info.size);
  EXPECT_FALSE(info.is_directory);
  EXPECT_FALSE(info.last_modified.is_null());
  ASSERT_TRUE(GetFileInfo(folder.path(), &info));
  EXPECT_TRUE(info.is_directory);
  EXPECT_FALSE(GetFileInfo(folder.path().Append(u"missing"), &info));
  int64_t size = 0;
  EXPECT_FALSE(GetFileSize(folder.path().Append(u"missing"), &size));

  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(PathIsWritable(folder.path()));
  EXPECT_FALSE(PathIsWritable(folder.path().Append(u"missing")));
}

}  // namespace
}  // namespace base
