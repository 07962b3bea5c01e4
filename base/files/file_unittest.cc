#include "base/files/file.h"

#include <stdio.h>

#include <string>

#include "base/files/file_util.h"
#include "base/metrics/sparse_histogram.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(FileTest, OSErrorToFileError) {
  const struct {
    uint32_t code;
    File::Error error;
  } kCases[] = {
      {32, File::FILE_ERROR_IN_USE},
      {80, File::FILE_ERROR_EXISTS},
      {3, File::FILE_ERROR_NOT_FOUND},
      {5, File::FILE_ERROR_ACCESS_DENIED},
      {14, File::FILE_ERROR_NO_MEMORY},
      {314, File::FILE_ERROR_NO_SPACE},
      {1224, File::FILE_ERROR_INVALID_OPERATION},
      {1393, File::FILE_ERROR_IO},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.error, File::OSErrorToFileError(c.code)) << c.code;

  // Anything else folds into FAILED, counted by its code first.
  HistogramBase* unknown = SparseHistogram::FactoryGet(
      "PlatformFile.UnknownErrors.Windows",
      HistogramBase::kUmaTargetedHistogramFlag);
  const int64_t before_183 = unknown->GetCount(183);
  const int64_t before_0 = unknown->GetCount(0);
  const int64_t before_32 = unknown->GetCount(32);
  EXPECT_EQ(File::FILE_ERROR_FAILED, File::OSErrorToFileError(183));
  EXPECT_EQ(File::FILE_ERROR_FAILED, File::OSErrorToFileError(0));
  EXPECT_EQ(before_183 + 1, unknown->GetCount(183));
  EXPECT_EQ(before_0 + 1, unknown->GetCount(0));
  EXPECT_EQ(before_32, unknown->GetCount(32));
}

TEST(FileTest, CreateParamsOfTheCombinationsInUse) {
  // Open for reading: read access, shared reading and writing.
  File::CreateParams p =
      File::GetCreateParams(File::FLAG_OPEN | File::FLAG_READ);
  EXPECT_EQ(3u, p.disposition);
  EXPECT_EQ(0x80000000u, p.access);
  EXPECT_EQ(3u, p.share);
  EXPECT_EQ(0u, p.flags_and_attributes);

  p = File::GetCreateParams(File::FLAG_OPEN | File::FLAG_WRITE);
  EXPECT_EQ(3u, p.disposition);
  EXPECT_EQ(0x40000000u, p.access);

  // Open always, read, write, exclusive.
  p = File::GetCreateParams(868);
  EXPECT_EQ(4u, p.disposition);
  EXPECT_EQ(0xC0000000u, p.access);
  EXPECT_EQ(0u, p.share);

  // The unpacker's scratch file.
  p = File::GetCreateParams(10344);
  EXPECT_EQ(2u, p.disposition);
  EXPECT_EQ(0xC0000000u, p.access);
  EXPECT_EQ(0x04000000u | 0x100u, p.flags_and_attributes);

  // Append wins over write; truncation wins over every other disposition.
  p = File::GetCreateParams(File::FLAG_OPEN_TRUNCATED | File::FLAG_CREATE |
                            File::FLAG_APPEND | File::FLAG_WRITE |
                            File::FLAG_SHARE_DELETE);
  EXPECT_EQ(5u, p.disposition);
  EXPECT_EQ(4u, p.access);
  EXPECT_EQ(7u, p.share);

  EXPECT_EQ(0u, File::GetCreateParams(File::FLAG_READ).disposition);
}

std::string ReadStream(const std::string& data, size_t max_size, bool* ok) {
  FILE* stream = tmpfile();
  EXPECT_TRUE(stream);
  if (!stream)
    return std::string();
  EXPECT_EQ(data.size(), fwrite(data.data(), 1, data.size(), stream));
  rewind(stream);
  std::string contents;
  *ok = internal::ReadStreamToStringWithMaxSize(stream, &contents, max_size);
  fclose(stream);
  return contents;
}

// Around the 64 KiB chunk size, where the limit and a chunk end meet.
TEST(FileUtilTest, ReadStreamToStringWithMaxSize) {
  std::string data(3 * 65536 + 7, 'x');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>('a' + i % 23);
  bool ok = false;
  EXPECT_EQ(data, ReadStream(data, data.size(), &ok));
  EXPECT_TRUE(ok);
  EXPECT_EQ(data.substr(0, 65536), ReadStream(data, 65536, &ok));
  EXPECT_FALSE(ok);
  EXPECT_EQ(data.substr(0, 65537), ReadStream(data, 65537, &ok));
  EXPECT_FALSE(ok);
  EXPECT_EQ(data.substr(0, data.size() - 1),
            ReadStream(data, data.size() - 1, &ok));
  EXPECT_FALSE(ok);

  const std::string chunk(65536, 'c');
  EXPECT_EQ(chunk, ReadStream(chunk, 65536, &ok));
  EXPECT_TRUE(ok);
  EXPECT_EQ("", ReadStream("", 0, &ok));
  EXPECT_TRUE(ok);
}

}  // namespace
}  // namespace base
