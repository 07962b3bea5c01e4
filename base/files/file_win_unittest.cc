#include "base/files/file.h"

#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/memory_mapped_file.h"
#include "base/files/test_folder_win.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr uint32_t kReadWrite = File::FLAG_READ | File::FLAG_WRITE;

TEST(FileWinTest, OpeningReportsWhy) {
  TestFolder folder;
  File climbing(folder.path().Append(u"a\\..\\b"),
                File::FLAG_CREATE | kReadWrite);
  EXPECT_FALSE(climbing.IsValid());
  EXPECT_EQ(File::FILE_ERROR_ACCESS_DENIED, climbing.error_details());
  EXPECT_FALSE(PathExists(folder.path().Append(u"b")));

  File missing(folder.path().Append(u"missing"),
               File::FLAG_OPEN | File::FLAG_READ);
  EXPECT_FALSE(missing.IsValid());
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, missing.error_details());

  File unopened;
  EXPECT_FALSE(unopened.IsValid());
  EXPECT_EQ(File::FILE_ERROR_FAILED, unopened.error_details());

  // Without an open or create flag nothing opens, and that is no success.
  File no_disposition(folder.path().Append(u"x"), File::FLAG_READ);
  EXPECT_FALSE(no_disposition.IsValid());
  EXPECT_NE(File::FILE_OK, no_disposition.error_details());

  const FilePath path = folder.path().Append(u"f");
  File first(path, File::FLAG_CREATE | kReadWrite | File::FLAG_EXCLUSIVE_READ |
                       File::FLAG_EXCLUSIVE_WRITE);
  ASSERT_TRUE(first.IsValid());
  EXPECT_TRUE(first.created());
  EXPECT_EQ(File::FILE_OK, first.error_details());
  File locked(path, File::FLAG_OPEN | File::FLAG_READ);
  EXPECT_EQ(File::FILE_ERROR_IN_USE, locked.error_details());
  first.Close();
  EXPECT_FALSE(first.IsValid());

  File exists(path, File::FLAG_CREATE | kReadWrite);
  EXPECT_EQ(File::FILE_ERROR_EXISTS, exists.error_details());

  File open_always(path, File::FLAG_OPEN_ALWAYS | kReadWrite);
  ASSERT_TRUE(open_always.IsValid());
  EXPECT_FALSE(open_always.created());
  File new_always(folder.path().Append(u"g"),
                  File::FLAG_OPEN_ALWAYS | kReadWrite);
  ASSERT_TRUE(new_always.IsValid());
  EXPECT_TRUE(new_always.created());
}

TEST(FileWinTest, ReadWriteSeekAndLength) {
  TestFolder folder;
  File file(folder.path().Append(u"f"), File::FLAG_CREATE_ALWAYS | kReadWrite);
  ASSERT_TRUE(file.IsValid());
  EXPECT_EQ(5, file.Write(0, "hello", 5));
  EXPECT_EQ(3, file.Write(10, "end", 3));  // The gap reads as zeros.
  EXPECT_EQ(13, file.GetLength());
  EXPECT_EQ(-1, file.Write(0, "hello", -1));
  EXPECT_EQ(13, file.GetLength());

  EXPECT_EQ(0, file.Seek(File::FROM_BEGIN, 0));
  char buffer[20] = {};
  EXPECT_EQ(13, file.ReadAtCurrentPos(buffer, sizeof(buffer)));
  EXPECT_EQ(std::string("hello\0\0\0\0\0end", 13), std::string(buffer, 13));
  EXPECT_EQ(0, file.ReadAtCurrentPos(buffer, sizeof(buffer)));
  EXPECT_EQ(-1, file.ReadAtCurrentPos(buffer, -1));
  EXPECT_EQ(10, file.Seek(File::FROM_END, -3));

  // Growing fills with zeros and keeps the position; shrinking cuts.
  EXPECT_EQ(2, file.Seek(File::FROM_BEGIN, 2));
  EXPECT_TRUE(file.SetLength(20));
  EXPECT_EQ(20, file.GetLength());
  EXPECT_EQ(2, file.Seek(File::FROM_CURRENT, 0));
  EXPECT_EQ(18, file.ReadAtCurrentPos(buffer, sizeof(buffer)));
  EXPECT_EQ(std::string(7, '\0'), std::string(buffer + 11, 7));
  EXPECT_TRUE(file.SetLength(4));
  EXPECT_EQ(4, file.GetLength());
  File::Info info;
  ASSERT_TRUE(file.GetInfo(&info));
  EXPECT_EQ(4, info.size);
  EXPECT_FALSE(info.is_directory);

  file.Close();
  EXPECT_EQ(-1, file.GetLength());
}

TEST(FileWinTest, DeleteOnClose) {
  TestFolder folder;
  const FilePath path = folder.path().Append(u"scratch");
  {
    File file(path, 10344);
    ASSERT_TRUE(file.IsValid());
    EXPECT_EQ(1, file.Write(0, "x", 1));
    EXPECT_TRUE(PathExists(path));
  }
  EXPECT_FALSE(PathExists(path));
}

TEST(MemoryMappedFileTest, MapsWholeFiles) {
  TestFolder folder;
  const FilePath path = folder.path().Append(u"data");
  ASSERT_EQ(6, WriteFile(path, "mapped", 6));

  MemoryMappedFile map;
  ASSERT_TRUE(map.Initialize(path, MemoryMappedFile::READ_ONLY));
  ASSERT_EQ(6u, map.length());
  EXPECT_EQ("mapped", std::string(reinterpret_cast<const char*>(map.data()),
                                   map.length()));

  // A second mapping is refused and the first one stays.
  const FilePath other = folder.path().Append(u"other");
  ASSERT_EQ(2, WriteFile(other, "xy", 2));
  EXPECT_FALSE(map.Initialize(other, MemoryMappedFile::READ_ONLY));
  EXPECT_EQ(6u, map.length());
  EXPECT_EQ('m', map.data()[0]);
}

TEST(MemoryMappedFileTest, WritesReachTheFile) {
  TestFolder folder;
  const FilePath path = folder.path().Append(u"data");
  ASSERT_EQ(2, WriteFile(path, "xy", 2));
  {
    MemoryMappedFile map;
    ASSERT_TRUE(map.Initialize(path, MemoryMappedFile::READ_WRITE));
    map.data()[0] = 'z';
  }
  std::string contents;
  EXPECT_TRUE(ReadFileToString(path, &contents));
  EXPECT_EQ("zy", contents);
}

TEST(MemoryMappedFileTest, FailuresLeaveNothingOpen) {
  TestFolder folder;
  const FilePath empty = folder.path().Append(u"empty");
  ASSERT_EQ(0, WriteFile(empty, "", 0));
  MemoryMappedFile map;
  EXPECT_FALSE(map.Initialize(empty, MemoryMappedFile::READ_ONLY));
  EXPECT_FALSE(map.IsValid());
  EXPECT_EQ(0u, map.length());
  EXPECT_EQ(nullptr, map.data());
  // Nothing holds the file: it can be deleted at once.
  EXPECT_TRUE(DeleteFile(empty, false));

  EXPECT_FALSE(map.Initialize(folder.path().Append(u"missing"),
                              MemoryMappedFile::READ_ONLY));
  EXPECT_FALSE(map.Initialize(folder.path().Append(u"a\\..\\missing"),
                              MemoryMappedFile::READ_ONLY));

}

}  // namespace
}  // namespace base
