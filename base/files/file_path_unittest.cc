#include "base/files/file_path.h"

#include <vector>

#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace base {
namespace {

FilePath P(const char16* text) {
  return FilePath(StringPiece16(text));
}

string16 Joined(const std::vector<string16>& parts) {
  string16 joined;
  for (const string16& part : parts) {
    joined += part;
    joined += u'|';
  }
  return joined;
}

struct DecompositionCase {
  const char16* path;
  const char16* dir_name;
  const char16* base_name;
  bool absolute;
  const char16* components;  // Joined with "|" after each.
};

TEST(FilePathTest, DecomposesRootsDrivesAndRelativePaths) {
  const DecompositionCase cases[] = {
      {u"", u".", u"", false, u""},
      {u".", u".", u".", false, u""},
      {u"..", u".", u"..", false, u"..|"},
      {u"C:", u"C:", u"", false, u"C:|"},
      {u"C:\\", u"C:\\", u"\\", true, u"C:|\\|"},
      {u"C:\\\\", u"C:\\\\", u"\\\\", true, u"C:|\\\\|"},
      {u"C:\\\\\\", u"C:\\", u"\\", true, u"C:|\\|"},
      {u"\\", u"\\", u"\\", false, u"\\|"},
      {u"\\\\", u"\\\\", u"\\\\", true, u"\\\\|"},
      {u"\\\\\\", u"\\", u"\\", true, u"\\|"},
      {u"\\\\server", u"\\\\", u"server", true, u"\\\\|server|"},
      {u"\\\\server\\share\\", u"\\\\server", u"share", true,
       u"\\\\|server|share|"},
      {u"C:a", u"C:", u"a", false, u"C:|a|"},
      {u"C:\\a\\", u"C:\\", u"a", true, u"C:|\\|a|"},
      {u"a", u".", u"a", false, u"a|"},
      {u"a\\", u".", u"a", false, u"a|"},
      {u"a/b/", u"a", u"b", false, u"a|b|"},
      {u".\\a", u".", u"a", false, u"a|"},
      {u"1:\\a", u"1:", u"a", false, u"1:|a|"},
      {u"c:/x\\y", u"c:/x", u"y", true, u"c:|/|x|y|"},
  };
  for (const DecompositionCase& c : cases) {
    SCOPED_TRACE(UTF16ToUTF8(c.path));
    const FilePath path = P(c.path);
    EXPECT_EQ(string16(c.dir_name), path.DirName().value());
    EXPECT_EQ(string16(c.base_name), path.BaseName().value());
    EXPECT_EQ(c.absolute, path.IsAbsolute());
    std::vector<string16> components;
    path.GetComponents(&components);
    EXPECT_EQ(string16(c.components), Joined(components));
  }
}

TEST(FilePathTest, TextIsCutAtTheFirstNul) {
  const char16 text[] = {u'a', u'b', 0, u'c'};
  EXPECT_EQ(u"ab", FilePath(StringPiece16(text, 4)).value());
  EXPECT_EQ(u"ab", FilePath::FromUTF16(StringPiece16(text, 4)).value());
  EXPECT_EQ(u"x\\ab", P(u"x").Append(StringPiece16(text, 4)).value());
  EXPECT_EQ(u"x.ab",
            P(u"x").AddExtension(StringPiece16(text, 4)).value());
  // A NUL separator would break the rule too.
  EXPECT_EQ(u"a", P(u"a\\b").NormalizePathSeparatorsTo(0).value());
}

TEST(FilePathTest, AppendsWithOneBackslash) {
  EXPECT_EQ(u"C:\\a\\b", P(u"C:\\a").Append(u"b").value());
  EXPECT_EQ(u"C:\\a\\b", P(u"C:\\a\\").Append(u"b").value());
  EXPECT_EQ(u"C:\\b", P(u"C:\\").Append(u"b").value());
  EXPECT_EQ(u"C:b", P(u"C:").Append(u"b").value());
  EXPECT_EQ(u"\\\\b", P(u"\\\\").Append(u"b").value());
  EXPECT_EQ(u"b", P(u"").Append(u"b").value());
  EXPECT_EQ(u"b", P(u".").Append(u"b").value());
  EXPECT_EQ(u"C:/a\\b", P(u"C:/a/").Append(u"b").value());
  EXPECT_EQ(u"a", P(u"a").Append(u"").value());
  EXPECT_EQ(u"a\\b/c", P(u"a").Append(u"b/c").value());
  EXPECT_EQ(u"a\\b", P(u"a").AppendASCII("b").value());
  EXPECT_EQ(u"a\\b", P(u"a").AppendPath(P(u"b")).value());
}

TEST(FilePathTest, FindsSingleAndDoubleExtensions) {
  struct {
    const char16* path;
    const char16* extension;
    const char16* removed;
  } cases[] = {
      {u"foo.tar.gz", u".tar.gz", u"foo"},
      {u"FOO.TAR.GZ", u".TAR.GZ", u"FOO"},
      {u"foo.user.js", u".user.js", u"foo"},
      {u"x.jpeg.gz", u".jpeg.gz", u"x"},
      {u"x.jpgxx.gz", u".gz", u"x.jpgxx"},
      {u"foo..gz", u".gz", u"foo."},
      {u"a.b.c", u".c", u"a.b"},
      {u".bashrc", u".bashrc", u""},
      {u"foo.", u".", u"foo"},
      {u"dir.x\\foo", u"", u"dir.x\\foo"},
      {u"dir.x\\foo.gz", u".gz", u"dir.x\\foo"},
      {u"..", u"", u".."},
      {u"a\\..", u"", u"a\\.."},
      {u"dir\\a.tar.gz\\", u".tar.gz", u"dir\\a"},
      {u"dir\\a.b/\\", u".b", u"dir\\a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(UTF16ToUTF8(c.path));
    EXPECT_EQ(string16(c.extension), P(c.path).Extension());
    EXPECT_EQ(string16(c.removed), P(c.path).RemoveExtension().value());
  }
}

TEST(FilePathTest, ChangesExtensions) {
  EXPECT_EQ(u"foo..y", P(u"foo.").AddExtension(u".y").value());
  EXPECT_EQ(u"foo.y", P(u"foo.").AddExtension(u"y").value());
  EXPECT_EQ(u"foo", P(u"foo").AddExtension(u".").value());
  EXPECT_EQ(u"foo.y", P(u"foo.tar.gz").ReplaceExtension(u"y").value());
  EXPECT_EQ(u"foo", P(u"foo.tar.gz").ReplaceExtension(u"").value());
  EXPECT_EQ(u"foo_1.tar.gz",
            P(u"foo.tar.gz").InsertBeforeExtension(u"_1").value());
  EXPECT_EQ(u"a\\b", P(u"a\\b").InsertBeforeExtension(u"").value());
  // Trailing separators are not part of the name.
  EXPECT_EQ(u"dir\\a_1.tar.gz",
            P(u"dir\\a.tar.gz\\").InsertBeforeExtension(u"_1").value());
  EXPECT_EQ(u"dir\\a.y", P(u"dir\\a.tar.gz\\").ReplaceExtension(u"y").value());
  EXPECT_EQ(u"dir\\a_1", P(u"dir\\a/").InsertBeforeExtension(u"_1").value());
  EXPECT_EQ(u"dir\\a.y", P(u"dir\\a/").AddExtension(u"y").value());
  EXPECT_EQ(u"dir.old", P(u"dir./").AddExtension(u"old").value());
  EXPECT_EQ(u"dir\\a.y", P(u"dir\\a/").ReplaceExtension(u"y").value());

  for (const char16* path : {u"", u".", u"..", u"a\\..", u"C:"}) {
    SCOPED_TRACE(UTF16ToUTF8(path));
    EXPECT_TRUE(P(path).InsertBeforeExtension(u"_1").empty());
    EXPECT_TRUE(P(path).AddExtension(u"y").empty());
    EXPECT_TRUE(P(path).ReplaceExtension(u"y").empty());
  }
}

TEST(FilePathTest, ComparesDriveLettersIgnoringCaseOnly) {
  EXPECT_EQ(P(u"C:\\a"), P(u"c:\\a"));
  EXPECT_NE(P(u"C:\\a"), P(u"C:\\A"));
  EXPECT_NE(P(u"C:\\a"), P(u"C:/a"));
  EXPECT_NE(P(u"1:\\a"), P(u"1:\\A"));
}

TEST(FilePathTest, AppendsRelativePaths) {
  FilePath result = P(u"out");
  EXPECT_TRUE(P(u"C:\\a").AppendRelativePath(P(u"c:\\a\\b\\c"), &result));
  EXPECT_EQ(u"out\\b\\c", result.value());
  EXPECT_TRUE(P(u"\\\\srv\\share").AppendRelativePath(
      P(u"\\\\srv\\share\\x"), nullptr));

  // Folders compare exactly, and a path is not its own parent.
  EXPECT_FALSE(P(u"C:\\a").AppendRelativePath(P(u"C:\\A\\b"), nullptr));
  EXPECT_FALSE(P(u"C:\\a").AppendRelativePath(P(u"C:\\a"), nullptr));
  EXPECT_FALSE(P(u"C:\\a").AppendRelativePath(P(u"D:\\a\\b"), nullptr));
  EXPECT_FALSE(P(u"C:\\ab").AppendRelativePath(P(u"C:\\abc\\d"), nullptr));
  EXPECT_FALSE(P(u"").AppendRelativePath(P(u"a\\b"), nullptr));

  FilePath untouched = P(u"keep");
  EXPECT_FALSE(P(u"x").AppendRelativePath(P(u"y\\z"), &untouched));
  EXPECT_EQ(u"keep", untouched.value());
}

TEST(FilePathTest, FindsParentReferences) {
  for (const char16* path :
       {u"..\\a", u"C:\\a\\..\\b", u"a\\ ..\\b", u"a\\...\\b", u"a/../b",
        u"a\\..\t\\b", u".. ", u"a\\.."}) {
    SCOPED_TRACE(UTF16ToUTF8(path));
    EXPECT_TRUE(P(path).ReferencesParent());
  }
  for (const char16* path :
       {u"a\\.\\b", u"a..b", u".\\a", u"..a", u"a\\b..\\c", u""}) {
    SCOPED_TRACE(UTF16ToUTF8(path));
    EXPECT_FALSE(P(path).ReferencesParent());
  }
}

TEST(FilePathTest, ConvertsToNarrowText) {
  EXPECT_EQ("C:\\a", P(u"C:\\a").MaybeAsASCII());
  EXPECT_EQ("", P(u"C:\\\u00e9").MaybeAsASCII());
  EXPECT_EQ("C:\\\xc3\xa9", P(u"C:\\\u00e9").AsUTF8Unsafe());
  EXPECT_EQ(u"a\\b\\c", P(u"a/b\\c").NormalizePathSeparators().value());
  EXPECT_EQ(u"a/b/c", P(u"a/b\\c").NormalizePathSeparatorsTo(u'/').value());
}

}  // namespace
}  // namespace base
