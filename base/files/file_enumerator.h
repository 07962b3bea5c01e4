#ifndef BASE_FILES_FILE_ENUMERATOR_H_
#define BASE_FILES_FILE_ENUMERATOR_H_

#include "base/files/file_path.h"
#include "base/strings/string16.h"

#if defined(_WIN32)
#include <windows.h>

#include <stack>

namespace base {

// Walks the entries of a folder, and of its subfolders when recursive,
// depth-first over folders. Links to folders (reparse points) are listed
// but not entered. A listing the system cannot finish ends early, and says
// so through failed(): callers that decide from the whole listing (all
// copied, all deleted, empty) must ask. Used on one thread at a time.
class FileEnumerator {
 public:
  enum FileType {
    FILES = 1 << 0,
    DIRECTORIES = 1 << 1,
  };

  // A copy of what the system reported for one entry; all zero when there
  // is none.
  class FileInfo {
   public:
    FileInfo();
    explicit FileInfo(const WIN32_FIND_DATAW& find_data);

    bool IsDirectory() const;
    const WIN32_FIND_DATAW& find_data() const { return find_data_; }

   private:
    WIN32_FIND_DATAW find_data_;
  };

  // |file_type| is a mask of FileType.
  FileEnumerator(const FilePath& root_path, bool recursive, int file_type);
  // |pattern| holds the wildcards of the Windows find functions and applies
  // to the root folder only.
  FileEnumerator(const FilePath& root_path,
                 bool recursive,
                 int file_type,
                 const string16& pattern);
  FileEnumerator(const FileEnumerator&) = delete;
  FileEnumerator& operator=(const FileEnumerator&) = delete;
  ~FileEnumerator();

  // The next entry as root + name; the empty path at the end, and from
  // the first failure on.
  FilePath Next();

  // Whether the listing stopped before its end: a folder that could not be
  // opened or read to its end (the root too: a missing root is a failure).
  // The last error is the system's error then.
  bool failed() const { return error_ != ERROR_SUCCESS; }

  // The entry last returned by Next.
  FileInfo GetInfo() const;

 private:
  void OpenSearch();
  // Ends the listing early with the system's |error| about |folder|.
  void Fail(const FilePath& folder, DWORD error);

  bool has_find_data_;
  WIN32_FIND_DATAW find_data_;
  HANDLE find_handle_;
  FilePath root_path_;
  bool recursive_;
  int file_type_;
  string16 pattern_;
  std::stack<FilePath> pending_paths_;
  DWORD error_;
};

}  // namespace base

#endif  // defined(_WIN32)

#endif  // BASE_FILES_FILE_ENUMERATOR_H_
