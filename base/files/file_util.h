#ifndef BASE_FILES_FILE_UTIL_H_
#define BASE_FILES_FILE_UTIL_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>

#include "base/files/file.h"
#include "base/files/file_path.h"

// Whole-file work over the Windows file APIs. Every function blocks. Paths
// of 260 units or more are refused without calling the system where a
// function says so, and failures are reported by the result alone, with
// the Windows last error left as the failing call set it. (On Windows the
// names below that the system headers define as macros, such as DeleteFile,
// expand consistently because file.h brings in those headers.)

namespace base {

namespace internal {

// Reads |stream| to its end in 64 KiB chunks, keeping at most |max_size|
// bytes in |contents| (when given). False when the stream holds more than
// |max_size| bytes or reports an error. Does not close the stream.
bool ReadStreamToStringWithMaxSize(FILE* stream,
                                   std::string* contents,
                                   size_t max_size);

}  // namespace internal

#if defined(_WIN32)

// The Windows MAX_PATH: paths this long or longer are refused.
constexpr size_t kMaxPathLength = 260;

bool PathExists(const FilePath& path);
bool DirectoryExists(const FilePath& path);
// Reads the attributes of |path|: INVALID_FILE_ATTRIBUTES when nothing is
// there. False when they cannot be read for another reason (no access, a
// lost network folder), the last error telling why: then |path| may well
// exist and must not be taken as free.
bool ReadFileAttributes(const FilePath& path, uint32_t* attributes);
// Whether a file may be created in the folder |path|.
bool PathIsWritable(const FilePath& path);
// Empty on failure.
FilePath MakeAbsoluteFilePath(const FilePath& input);
// One text for every spelling of the path |path|: the final path of its
// deepest existing part (through links, short names and device forms)
// without a "\\?\" prefix, then the names below it, upper-cased as the
// file system compares names. Keys what all users of one file must share.
// |exact| (if given) turns false when a folder could not be resolved and
// the key is only the full path text: other spellings may key otherwise.
string16 GetFileKey(const FilePath& path, bool* exact = nullptr);

bool GetFileInfo(const FilePath& file_path, File::Info* info);
bool GetFileSize(const FilePath& file_path, int64_t* file_size);

bool GetTempDir(FilePath* path);
// The user's profile folder, else the temporary folder, else "C:\".
FilePath GetHomeDir();
bool GetCurrentDirectory(FilePath* dir);

// Creates an empty file with a unique name in |dir|; the caller deletes it.
bool CreateTemporaryFileInDir(const FilePath& dir, FilePath* temp_file);
// The same in the temporary folder. On failure *path is empty, so that a
// caller cleaning up after a failure can never delete the temporary folder
// itself.
bool CreateTemporaryFile(FilePath* path);

// Creates the folder and every missing parent. True when it exists as a
// folder afterwards; |error| (may be null) tells why not.
bool CreateDirectoryAndGetError(const FilePath& full_path, File::Error* error);
bool CreateDirectory(const FilePath& full_path);

// Deletes a file or folder; a base name with "*" or "?" deletes the
// matching entries of the parent folder. A missing path counts as deleted;
// a folder that cannot be listed to its end does not. Links to folders are
// removed, never followed.
bool DeleteFile(const FilePath& path, bool recursive);

// Copies one file over |to_path|; the copy is never read-only.
bool CopyFile(const FilePath& from_path, const FilePath& to_path);
// As CopyFile, but fails rather than replace anything at |to_path|: for a
// name made free, which someone else may have taken since.
bool CopyFileWithoutReplacing(const FilePath& from_path,
                              const FilePath& to_path);
// Copies a folder tree. When |to_path| is an existing folder, the folder
// itself is copied into it. Never copies a folder into itself. Fails when
// any part cannot be listed.
bool CopyDirectory(const FilePath& from_path, const FilePath& to_path);

// Moves a file or folder, replacing a file at |to_path|; across volumes a
// folder is copied and then deleted. Refuses paths that climb to a parent.
bool Move(const FilePath& from_path, const FilePath& to_path);
bool MoveUnsafe(const FilePath& from_path, const FilePath& to_path);
// As MoveUnsafe, but fails rather than replace anything at |to_path|: for
// putting something back under a name that may have been taken meanwhile.
bool MoveWithoutReplacing(const FilePath& from_path, const FilePath& to_path);
// Moves |from_path| over the existing file |to_path|.
bool ReplaceFile(const FilePath& from_path, const FilePath& to_path);

// Opens for binary reading, sharing everything; the caller closes it.
FILE* OpenFile(const FilePath& filename);

// |contents| (may be null) is cleared first. A file longer than |max_size|
// gives false with its first |max_size| bytes.
bool ReadFileToStringWithMaxSize(const FilePath& path,
                                 std::string* contents,
                                 size_t max_size);
bool ReadFileToString(const FilePath& path, std::string* contents);

// Bytes read with one system read, or -1.
int ReadFile(const FilePath& filename, char* data, int max_size);
// Replaces the file; |size| when all of it was written, else -1.
int WriteFile(const FilePath& filename, const char* data, int size);
// Appends to an existing file; true only when all of it was written.
bool AppendToFile(const FilePath& filename, const char* data, int size);

#endif  // defined(_WIN32)

}  // namespace base

#endif  // BASE_FILES_FILE_UTIL_H_
