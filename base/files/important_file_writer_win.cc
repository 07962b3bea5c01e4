#include "base/files/important_file_writer.h"

#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"

namespace base {

namespace {

void RecordTempFileFailure(ImportantFileWriter::TempFileFailure failure) {
  static HistogramBase* histogram = LinearHistogram::FactoryGet(
      "ImportantFile.TempFileFailures",
      ImportantFileWriter::TEMP_FILE_FAILURE_MAX,
      ImportantFileWriter::TEMP_FILE_FAILURE_MAX + 1);
  histogram->Add(failure);
}

// Drops the temporary file of a failed write and records why it failed.
bool FailWrite(const FilePath& temp_file,
               ImportantFileWriter::TempFileFailure failure) {
  RecordTempFileFailure(failure);
  DeleteFile(temp_file, false);
  return false;
}

}  // namespace

// static
bool ImportantFileWriter::WriteFileAtomically(const FilePath& path,
                                              StringPiece data) {
  // The temporary file lives beside the target so that the final move
  // stays on one volume and cannot be half done.
  FilePath temp_file;
  if (!CreateTemporaryFileInDir(path.DirName(), &temp_file)) {
    RecordTempFileFailure(FAILED_CREATING);
    return false;
  }

  File file(temp_file, File::FLAG_OPEN | File::FLAG_WRITE);
  if (!file.IsValid())
    return FailWrite(temp_file, FAILED_OPENING);

  CHECK_LE(data.size(), static_cast<size_t>(0x7FFFFFFF));
  const int size = static_cast<int>(data.size());
  const int written = file.Write(0, data.data(), size);
  const bool flushed = file.Flush();
  file.Close();

  if (written != size)
    return FailWrite(temp_file, FAILED_WRITING);
  if (!flushed)
    return FailWrite(temp_file, FAILED_FLUSHING);
  if (!ReplaceFile(temp_file, path)) {
    // When the target is gone (or cannot be seen), the temporary file may
    // hold the only copy of the data left: it stays.
    if (!PathExists(path)) {
      RecordTempFileFailure(FAILED_RENAMING);
      return false;
    }
    return FailWrite(temp_file, FAILED_RENAMING);
  }
  return true;
}

}  // namespace base
