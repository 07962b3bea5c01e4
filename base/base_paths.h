#ifndef BASE_BASE_PATHS_H_
#define BASE_BASE_PATHS_H_

#include "base/files/file_path.h"

#if defined(_WIN32)
#include "base/base_paths_win.h"
#endif

namespace base {

// Keys of PathService for the folders and files every platform knows.
enum BasePathKey {
  PATH_START = 0,

  DIR_CURRENT = 1,       // The current directory; never cached.
  DIR_EXE = 2,           // The folder of FILE_EXE.
  DIR_MODULE = 3,        // The folder of FILE_MODULE.
  DIR_TEMP = 4,          // The temporary folder.
  DIR_HOME = 5,          // The user's profile folder.
  FILE_EXE = 6,          // The process's executable.
  FILE_MODULE = 7,       // The module this code is linked into.
  DIR_SOURCE_ROOT = 8,   // Two levels above DIR_EXE.
  DIR_USER_DESKTOP = 9,  // The user's desktop folder.
  DIR_TEST_DATA = 10,    // DIR_SOURCE_ROOT\base\test\data, when it exists.

  PATH_END
};

// Answers DIR_EXE, DIR_MODULE, DIR_TEMP, DIR_HOME and DIR_TEST_DATA; false
// for every other key.
bool PathProvider(int key, FilePath* result);

}  // namespace base

#endif  // BASE_BASE_PATHS_H_
