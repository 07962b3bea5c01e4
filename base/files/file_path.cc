#include "base/files/file_path.h"

#include <algorithm>

#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

const char16 FilePath::kSeparators[] = u"\\/";
const size_t FilePath::kSeparatorsLength = 2;
const char16 FilePath::kCurrentDirectory[] = u".";
const char16 FilePath::kParentDirectory[] = u"..";
const char16 FilePath::kExtensionSeparator = u'.';

namespace {

const size_t kNpos = string16::npos;

// Components made only of these and holding ".." name the parent folder,
// because Windows drops trailing dots and spaces from names.
const char16 kParentReferenceChars[] = u". \n\r\t";

// Compared ignoring ASCII case.
const char* const kWholeDoubleExtensions[] = {"user.js"};
const char* const kDoubleExtensionSuffixes[] = {"gz", "z", "bz2", "bz"};

// The longest middle part ("tar" in "x.tar.gz") that still makes a double
// extension.
const size_t kMaxMiddleExtensionLength = 4;

string16 CutAtNul(StringPiece16 text) {
  const char16* begin = text.data();
  const char16* end = begin + text.size();
  return string16(begin, std::find(begin, end, char16(0)));
}

bool IsAsciiLetter(char16 c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

char16 ToLowerAsciiUnit(char16 c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16>(c + 0x20) : c;
}

bool HasDriveLetter(const string16& path) {
  return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == u':';
}

// Units taken by the drive letter: 2 for "X:", else 0.
size_t DriveLetterLength(const string16& path) {
  return HasDriveLetter(path) ? 2 : 0;
}

bool IsBareDriveLetter(const string16& path) {
  return path.size() == 2 && HasDriveLetter(path);
}

bool AreAllSeparators(const string16& text) {
  return text.find_first_not_of(FilePath::kSeparators) == kNpos;
}

bool EqualDriveLetterCaseInsensitive(const string16& a, const string16& b) {
  if (!HasDriveLetter(a) || !HasDriveLetter(b))
    return a == b;
  return ToLowerAsciiUnit(a[0]) == ToLowerAsciiUnit(b[0]) &&
         a.compare(2, kNpos, b, 2, kNpos) == 0;
}

size_t FinalExtensionSeparatorPosition(const string16& path) {
  if (path == FilePath::kCurrentDirectory ||
      path == FilePath::kParentDirectory) {
    return kNpos;
  }
  return path.rfind(FilePath::kExtensionSeparator);
}

// Where the extension of |path| starts, taking the double extensions in
// ("foo.tar.gz" starts at ".tar"), or npos.
size_t ExtensionSeparatorPosition(const string16& path) {
  const size_t last = FinalExtensionSeparatorPosition(path);
  if (last == kNpos || last == 0)
    return last;

  const size_t penultimate = path.rfind(FilePath::kExtensionSeparator, last - 1);
  const size_t last_separator =
      path.find_last_of(FilePath::kSeparators, last - 1);
  if (penultimate == kNpos ||
      (last_separator != kNpos && penultimate < last_separator)) {
    return last;
  }

  const StringPiece16 after_penultimate(path.data() + penultimate + 1,
                                        path.size() - penultimate - 1);
  for (const char* whole : kWholeDoubleExtensions) {
    if (LowerCaseEqualsASCII16(after_penultimate, whole))
      return penultimate;
  }

  const size_t middle_length = last - penultimate - 1;
  if (middle_length >= 1 && middle_length <= kMaxMiddleExtensionLength) {
    const StringPiece16 after_last(path.data() + last + 1,
                                   path.size() - last - 1);
    for (const char* suffix : kDoubleExtensionSuffixes) {
      if (LowerCaseEqualsASCII16(after_last, suffix))
        return penultimate;
    }
  }
  return last;
}

// Extension changes make no sense on these base names.
bool IsEmptyOrSpecialCase(const string16& base_name) {
  return base_name.empty() || base_name == FilePath::kCurrentDirectory ||
         base_name == FilePath::kParentDirectory;
}

}  // namespace

FilePath::FilePath() = default;

FilePath::FilePath(StringPiece16 path) : path_(CutAtNul(path)) {}

FilePath::FilePath(const FilePath& other) = default;

FilePath& FilePath::operator=(const FilePath& other) = default;

FilePath::~FilePath() = default;

// static
FilePath FilePath::FromUTF16(StringPiece16 path) {
  return FilePath(path);
}

// static
bool FilePath::IsSeparator(char16 c) {
  return c == u'\\' || c == u'/';
}

bool FilePath::operator==(const FilePath& other) const {
  return EqualDriveLetterCaseInsensitive(path_, other.path_);
}

bool FilePath::operator!=(const FilePath& other) const {
  return !(*this == other);
}

void FilePath::StripTrailingSeparatorsInternal() {
  // The root ("\" or "X:\") is never stripped.
  const size_t start = HasDriveLetter(path_) ? 3 : 1;

  // Two separators alone at the root ("\\" or "X:\\") are the alternative
  // root and stay, but only when the path ends there: a longer run of
  // separators at the root shrinks to one.
  size_t last_stripped = kNpos;
  for (size_t pos = path_.size(); pos > start && IsSeparator(path_[pos - 1]);
       --pos) {
    if (pos != start + 1 || last_stripped == start + 2 ||
        !IsSeparator(path_[start - 1])) {
      path_.resize(pos - 1);
      last_stripped = pos;
    }
  }
}

FilePath FilePath::StripTrailingSeparators() const {
  FilePath result(*this);
  result.StripTrailingSeparatorsInternal();
  return result;
}

FilePath FilePath::DirName() const {
  FilePath result(*this);
  result.StripTrailingSeparatorsInternal();
  string16& text = result.path_;

  const size_t root = DriveLetterLength(text);
  const size_t last_separator = text.find_last_of(kSeparators);
  if (last_separator == kNpos) {
    text.resize(root);  // "X:" or nothing.
  } else if (last_separator == root) {
    text.resize(root + 1);  // "X:\" or "\".
  } else if (last_separator == root + 1 && IsSeparator(text[root])) {
    text.resize(root + 2);  // "X:\\" or "\\".
  } else if (last_separator != 0) {
    text.resize(last_separator);
  }

  result.StripTrailingSeparatorsInternal();
  if (text.empty())
    text = kCurrentDirectory;
  return result;
}

FilePath FilePath::BaseName() const {
  FilePath result(*this);
  result.StripTrailingSeparatorsInternal();
  string16& text = result.path_;

  text.erase(0, DriveLetterLength(text));

  // A lone root ("\" or "\\") is its own base name.
  const size_t last_separator = text.find_last_of(kSeparators);
  if (last_separator != kNpos && last_separator + 1 < text.size())
    text.erase(0, last_separator + 1);
  return result;
}

FilePath FilePath::Append(StringPiece16 component) const {
  const string16 appended = CutAtNul(component);
  if (path_ == kCurrentDirectory)
    return FilePath(appended);

  FilePath result(*this);
  result.StripTrailingSeparatorsInternal();
  string16& text = result.path_;

  // "X:" + "b" is "X:b", relative to the drive's current folder.
  if (!appended.empty() && !text.empty() && !IsSeparator(text.back()) &&
      !IsBareDriveLetter(text)) {
    text.push_back(u'\\');
  }
  text.append(appended);
  return result;
}

FilePath FilePath::AppendPath(const FilePath& component) const {
  return Append(component.value());
}

FilePath FilePath::AppendASCII(StringPiece component) const {
  return Append(ASCIIToUTF16(component));
}

void FilePath::GetComponents(std::vector<string16>* components) const {
  if (!components)
    return;
  components->clear();
  if (path_.empty())
    return;

  // Collected bottom up, returned top down. Each step shortens the path, so
  // the walk ends.
  std::vector<string16> collected;
  FilePath current(*this);
  FilePath parent = current.DirName();
  while (current != parent) {
    FilePath base = current.BaseName();
    if (!AreAllSeparators(base.value()))
      collected.push_back(base.value());
    current = parent;
    parent = current.DirName();
  }

  FilePath base = current.BaseName();
  if (!base.empty() && base.value() != kCurrentDirectory)
    collected.push_back(base.value());
  if (HasDriveLetter(parent.value()))
    collected.push_back(parent.value().substr(0, 2));

  components->assign(collected.rbegin(), collected.rend());
}

bool FilePath::AppendRelativePath(const FilePath& child, FilePath* path) const {
  std::vector<string16> parent_components;
  std::vector<string16> child_components;
  GetComponents(&parent_components);
  child.GetComponents(&child_components);

  if (parent_components.empty() ||
      parent_components.size() >= child_components.size()) {
    return false;
  }

  size_t i = 0;
  if (HasDriveLetter(parent_components[0]) &&
      HasDriveLetter(child_components[0])) {
    if (ToLowerAsciiUnit(parent_components[0][0]) !=
        ToLowerAsciiUnit(child_components[0][0])) {
      return false;
    }
    i = 1;
  }
  for (; i < parent_components.size(); ++i) {
    if (parent_components[i] != child_components[i])
      return false;
  }

  if (path) {
    for (; i < child_components.size(); ++i)
      *path = path->Append(child_components[i]);
  }
  return true;
}

bool FilePath::IsAbsolute() const {
  if (HasDriveLetter(path_))
    return path_.size() > 2 && IsSeparator(path_[2]);
  // "\\server" is absolute; "\x" depends on the current drive.
  return path_.size() > 1 && IsSeparator(path_[0]) && IsSeparator(path_[1]);
}

bool FilePath::ReferencesParent() const {
  std::vector<string16> components;
  GetComponents(&components);
  for (const string16& component : components) {
    if (component.find_first_not_of(kParentReferenceChars) == kNpos &&
        component.find(kParentDirectory) != kNpos) {
      return true;
    }
  }
  return false;
}

string16 FilePath::Extension() const {
  const string16 base = BaseName().value();
  const size_t position = ExtensionSeparatorPosition(base);
  if (position == kNpos)
    return string16();
  return base.substr(position);
}

FilePath FilePath::RemoveExtension() const {
  if (Extension().empty())
    return *this;
  // Like the extension, found in the text without its trailing separators.
  const string16 text = StripTrailingSeparators().value();
  const size_t position = ExtensionSeparatorPosition(text);
  if (position == kNpos)
    return *this;
  return FilePath(StringPiece16(text.data(), position));
}

FilePath FilePath::InsertBeforeExtension(StringPiece16 suffix) const {
  const string16 cut_suffix = CutAtNul(suffix);
  if (cut_suffix.empty())
    return *this;
  if (IsEmptyOrSpecialCase(BaseName().value()))
    return FilePath();
  return FilePath(StripTrailingSeparators().RemoveExtension().value() +
                  cut_suffix + Extension());
}

FilePath FilePath::InsertBeforeExtensionASCII(StringPiece suffix) const {
  return InsertBeforeExtension(ASCIIToUTF16(suffix));
}

FilePath FilePath::AddExtension(StringPiece16 extension) const {
  if (IsEmptyOrSpecialCase(BaseName().value()))
    return FilePath();
  const string16 cut_extension = CutAtNul(extension);
  if (cut_extension.empty() || cut_extension == kCurrentDirectory)
    return *this;

  string16 text = StripTrailingSeparators().value();
  // Never two dots in a row unless the caller asked for it ("foo." + ".y").
  if (cut_extension[0] != kExtensionSeparator &&
      text.back() != kExtensionSeparator) {
    text.push_back(kExtensionSeparator);
  }
  text.append(cut_extension);
  return FilePath(text);
}

FilePath FilePath::ReplaceExtension(StringPiece16 extension) const {
  if (IsEmptyOrSpecialCase(BaseName().value()))
    return FilePath();
  FilePath without = StripTrailingSeparators().RemoveExtension();
  const string16 cut_extension = CutAtNul(extension);
  if (cut_extension.empty() || cut_extension == kCurrentDirectory)
    return without;

  string16 text = without.value();
  if (cut_extension[0] != kExtensionSeparator)
    text.push_back(kExtensionSeparator);
  text.append(cut_extension);
  return FilePath(text);
}

std::string FilePath::MaybeAsASCII() const {
  if (!IsStringASCII16(path_))
    return std::string();
  return UTF16ToASCII(path_);
}

std::string FilePath::AsUTF8Unsafe() const {
  return UTF16ToUTF8(path_);
}

FilePath FilePath::NormalizePathSeparators() const {
  return NormalizePathSeparatorsTo(kSeparators[0]);
}

FilePath FilePath::NormalizePathSeparatorsTo(char16 separator) const {
  string16 text = path_;
  std::replace_if(text.begin(), text.end(), IsSeparator, separator);
  // Through the constructor, so that a NUL separator cannot break the
  // no-NUL rule.
  return FilePath(text);
}

}  // namespace base
