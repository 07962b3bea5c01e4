// Any units as a path (paths arrive in switch values and files): every
// operation ends, stays inside the text and keeps the no-NUL rule, and the
// parent folder is never longer than the path.

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/logging.h"

namespace {

void CheckNoNul(const base::FilePath& path) {
  CHECK_EQ(string16::npos, path.value().find(char16(0)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  string16 text;
  for (size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<char16>(data[i] | (data[i + 1] << 8)));
  // The first third doubles as a component, suffix and extension.
  const string16 other = text.substr(0, text.size() / 3);

  const base::FilePath path(text);
  CheckNoNul(path);
  const base::FilePath dir = path.DirName();
  CheckNoNul(dir);
  CHECK(dir.value().size() <= path.value().size() || dir.value() == u".");
  CheckNoNul(path.BaseName());
  CheckNoNul(path.Append(other));
  CheckNoNul(path.StripTrailingSeparators());
  CheckNoNul(path.RemoveExtension());
  CheckNoNul(path.InsertBeforeExtension(other));
  CheckNoNul(path.AddExtension(other));
  CheckNoNul(path.ReplaceExtension(other));
  CHECK_EQ(string16::npos, path.Extension().find(char16(0)));
  path.IsAbsolute();
  path.ReferencesParent();
  path.MaybeAsASCII();
  path.AsUTF8Unsafe();

  std::vector<string16> components;
  path.GetComponents(&components);
  CHECK_LE(components.size(), path.value().size());

  base::FilePath relative;
  if (path.AppendRelativePath(path.Append(other), &relative))
    CheckNoNul(relative);
  return 0;
}
