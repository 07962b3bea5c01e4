#ifndef BASE_FILES_FILE_PATH_H_
#define BASE_FILES_FILE_PATH_H_

#include <stddef.h>

#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

// A file-system path as text. Pure string work: nothing here touches the
// file system. Both the backslash and the slash separate components; only
// the backslash is ever added. The text never holds a NUL: every way of
// making a path cuts the text at its first NUL.
class FilePath {
 public:
  static const char16 kSeparators[];
  static const size_t kSeparatorsLength;
  static const char16 kCurrentDirectory[];
  static const char16 kParentDirectory[];
  static const char16 kExtensionSeparator;

  FilePath();
  explicit FilePath(StringPiece16 path);
  FilePath(const FilePath& other);
  FilePath& operator=(const FilePath& other);
  ~FilePath();

  static FilePath FromUTF16(StringPiece16 path);
  static bool IsSeparator(char16 c);

  const string16& value() const { return path_; }
  bool empty() const { return path_.empty(); }

  // Drive letters compare ignoring ASCII case, the rest exactly.
  bool operator==(const FilePath& other) const;
  bool operator!=(const FilePath& other) const;

  FilePath DirName() const;
  FilePath BaseName() const;

  // Callers append relative components only; an absolute one is not
  // detected.
  FilePath Append(StringPiece16 component) const;
  FilePath AppendPath(const FilePath& component) const;
  FilePath AppendASCII(StringPiece component) const;

  // Drive letter first, then the root, then the names from the top down.
  void GetComponents(std::vector<string16>* components) const;

  // True when this path is a parent of |child|; then, when |path| is not
  // null, appends the part of |child| below this path to it.
  bool AppendRelativePath(const FilePath& child, FilePath* path) const;

  bool IsAbsolute() const;
  FilePath StripTrailingSeparators() const;

  // True when some component is made only of dots and whitespace and holds
  // "..": Windows treats such a component as the parent folder.
  bool ReferencesParent() const;

  string16 Extension() const;
  FilePath RemoveExtension() const;
  FilePath InsertBeforeExtension(StringPiece16 suffix) const;
  FilePath InsertBeforeExtensionASCII(StringPiece suffix) const;
  FilePath AddExtension(StringPiece16 extension) const;
  FilePath ReplaceExtension(StringPiece16 extension) const;

  // The text when it is all ASCII, else empty.
  std::string MaybeAsASCII() const;
  std::string AsUTF8Unsafe() const;

  FilePath NormalizePathSeparators() const;
  FilePath NormalizePathSeparatorsTo(char16 separator) const;

  // -1, 0 or 1, comparing unit by unit after upper-casing each unit the
  // way Windows does. Windows only.
  static int CompareIgnoreCase(StringPiece16 string1, StringPiece16 string2);

 private:
  void StripTrailingSeparatorsInternal();

  string16 path_;
};

}  // namespace base

#endif  // BASE_FILES_FILE_PATH_H_
