#ifndef BASE_PATH_SERVICE_H_
#define BASE_PATH_SERVICE_H_

#include "base/files/file_path.h"

namespace base {

// The process-wide answer to which folder or file a key of base_paths.h
// stands for. Answers are computed once and cached; any key but
// DIR_CURRENT can be overridden. Callable from any thread.
class PathService {
 public:
  PathService() = delete;

  // False, with |result| untouched, when the key has no answer. Failures
  // are not cached.
  static bool Get(int key, FilePath* result);

  // Makes |key| answer |path| from now on (relative paths are made
  // absolute unless |is_absolute| says they are already); with |create|, a
  // missing folder is created first. Clears every cached answer.
  static bool OverrideAndCreateIfNeeded(int key,
                                        const FilePath& path,
                                        bool is_absolute,
                                        bool create);
};

}  // namespace base

#endif  // BASE_PATH_SERVICE_H_
