#include "base/files/file_enumerator.h"

#include <set>

#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"

namespace base {
namespace {

// Names below the root, in the order listed.
std::vector<string16> ListAll(FileEnumerator* enumerator, const FilePath& root) {
  std::vector<string16> names;
  for (FilePath path = enumerator->Next(); !path.empty();
       path = enumerator->Next()) {
    FilePath relative;
    EXPECT_TRUE(root.AppendRelativePath(path, &relative));
    names.push_back(relative.value());
  }
  return names;
}

std::set<string16> AsSet(const std::vector<string16>& names) {
  return std::set<string16>(names.begin(), names.end());
}

class FileEnumeratorTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = folder_.path();
    ASSERT_TRUE(CreateDirectory(root_.Append(u"d1.log\\inner")));
    ASSERT_TRUE(CreateDirectory(root_.Append(u"d2")));
    Touch(u"a.log");
    Touch(u"b.txt");
    Touch(u"d1.log\\c.txt");
    Touch(u"d1.log\\inner\\e.txt");
    Touch(u"d2\\f.log");
  }

  void Touch(StringPiece16 name) {
    ASSERT_EQ(0, WriteFile(root_.Append(name), "", 0));
  }

  TestFolder folder_;
  FilePath root_;
};

TEST_F(FileEnumeratorTest, ListsByTypeAndDepth) {
  FileEnumerator top(root_, false,
                     FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  EXPECT_EQ(AsSet({u"a.log", u"b.txt", u"d1.log", u"d2"}),
            AsSet(ListAll(&top, root_)));

  FileEnumerator files(root_, true, FileEnumerator::FILES);
  EXPECT_EQ(AsSet({u"a.log", u"b.txt", u"d1.log\\c.txt",
                   u"d1.log\\inner\\e.txt", u"d2\\f.log"}),
            AsSet(ListAll(&files, root_)));

  FileEnumerator dirs(root_, true, FileEnumerator::DIRECTORIES);
  const std::vector<string16> listed = ListAll(&dirs, root_);
  EXPECT_EQ(AsSet({u"d1.log", u"d1.log\\inner", u"d2"}), AsSet(listed));
  // Subfolders are listed only once their parent folder is finished.
  ASSERT_EQ(3u, listed.size());
  EXPECT_EQ(u"d1.log\\inner", listed.back());

  // The end is sticky, and no failure.
  EXPECT_TRUE(dirs.Next().empty());
  EXPECT_FALSE(dirs.failed());
}

TEST_F(FileEnumeratorTest, PatternAppliesToTheRootOnly) {
  FileEnumerator top(root_, false,
                     FileEnumerator::FILES | FileEnumerator::DIRECTORIES,
                     u"*.log");
  EXPECT_EQ(AsSet({u"a.log", u"d1.log"}), AsSet(ListAll(&top, root_)));

  // The matching folder is listed whole; d2 (no match) is not entered.
  FileEnumerator deep(root_, true,
                      FileEnumerator::FILES | FileEnumerator::DIRECTORIES,
                      u"*.log");
  EXPECT_EQ(AsSet({u"a.log", u"d1.log", u"d1.log\\c.txt", u"d1.log\\inner",
                   u"d1.log\\inner\\e.txt"}),
            AsSet(ListAll(&deep, root_)));

  // Nothing matching is an end, not a failure.
  FileEnumerator none(root_, true, FileEnumerator::FILES, u"*.none");
  EXPECT_TRUE(none.Next().empty());
  EXPECT_FALSE(none.failed());
}

TEST_F(FileEnumeratorTest, InfoOfTheCurrentEntry) {
  FileEnumerator enumerator(root_, false, FileEnumerator::DIRECTORIES,
                            u"d2");
  const FileEnumerator::FileInfo before = enumerator.GetInfo();
  EXPECT_EQ(0u, before.find_data().dwFileAttributes);
  EXPECT_EQ(0, before.find_data().cFileName[0]);
  EXPECT_FALSE(before.IsDirectory());

  EXPECT_EQ(root_.Append(u"d2"), enumerator.Next());
  EXPECT_TRUE(enumerator.GetInfo().IsDirectory());
  EXPECT_EQ(string16(u"d2"),
            as_u16cstr(enumerator.GetInfo().find_data().cFileName));
}

// A missing root lists nothing, and cannot pass for an empty folder; nor
// can a subfolder whose attributes cannot be read.
TEST_F(FileEnumeratorTest, UnfinishedListingFails) {
  FileEnumerator enumerator(root_.Append(u"missing"), true,
                            FileEnumerator::FILES);
  EXPECT_TRUE(enumerator.Next().empty());
  EXPECT_TRUE(enumerator.Next().empty());
  EXPECT_TRUE(enumerator.failed());

  platform_rules::ScopedFaultInjection inject(1, ERROR_ACCESS_DENIED,
                                              "GetFileAttributesW");
  FileEnumerator files(root_, true, FileEnumerator::FILES);
  ListAll(&files, root_);
  EXPECT_EQ("GetFileAttributesW", inject.failed_function());
  EXPECT_TRUE(files.failed());
}

TEST_F(FileEnumeratorTest, LinksAreListedButNotEntered) {
  const FilePath outside = folder_.path().Append(u"d2");
  const FilePath link = root_.Append(u"d1.log\\link");
  if (!MakeFolderLink(link, outside))
    GTEST_SKIP() << "no folder link can be made here";
  FileEnumerator enumerator(root_.Append(u"d1.log"), true,
                            FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  const std::set<string16> listed =
      AsSet(ListAll(&enumerator, root_.Append(u"d1.log")));
  EXPECT_EQ(1u, listed.count(u"link"));
  EXPECT_EQ(0u, listed.count(u"link\\f.log"));
  RemoveLinkUnderWine(link);
}

}  // namespace
}  // namespace base
