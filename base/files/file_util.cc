#include "base/files/file_util.h"

#include <algorithm>
#include <memory>

namespace base {
namespace internal {

bool ReadStreamToStringWithMaxSize(FILE* stream,
                                   std::string* contents,
                                   size_t max_size) {
  // The file's size is not trusted: it may change while it is read.
  constexpr size_t kChunkSize = 1 << 16;
  std::unique_ptr<char[]> buffer(new char[kChunkSize]);
  size_t size = 0;
  bool read_status = true;
  size_t len;
  while ((len = fread(buffer.get(), 1, kChunkSize, stream)) > 0) {
    const size_t room = max_size - size;
    if (contents)
      contents->append(buffer.get(), std::min(len, room));
    if (room < len) {
      read_status = false;
      break;
    }
    size += len;
  }
  return read_status && !ferror(stream);
}

}  // namespace internal
}  // namespace base
