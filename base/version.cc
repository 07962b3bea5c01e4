#include "base/version.h"

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_piece.h"
#include "base/strings/string_split.h"

namespace base {

namespace {

bool AnyNonZero(const std::vector<uint32_t>& components, size_t from) {
  for (size_t i = from; i < components.size(); ++i) {
    if (components[i] != 0)
      return true;
  }
  return false;
}

}  // namespace

bool ParseVersionNumbers(const std::string& text,
                         std::vector<uint32_t>* parsed) {
  const std::vector<StringPiece> pieces =
      SplitStringPieceByChar(text, '.', KEEP_WHITESPACE, SPLIT_WANT_ALL);
  if (pieces.empty())
    return false;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const StringPiece piece = pieces[i];
    if (!piece.empty() && piece[0] == '+')
      return false;
    unsigned number = 0;
    if (!StringToUintImpl(piece.begin(), piece.end(), &number))
      return false;
    // The first component is written exactly: "01.2" is not a version.
    if (i == 0 && StringPiece(UintToString(number)) != piece)
      return false;
    parsed->push_back(number);
  }
  return true;
}

int CompareVersionComponents(const std::vector<uint32_t>& a,
                             const std::vector<uint32_t>& b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    if (a[i] > b[i])
      return 1;
    if (a[i] < b[i])
      return -1;
  }
  if (AnyNonZero(a, common))
    return 1;
  if (AnyNonZero(b, common))
    return -1;
  return 0;
}

Version::Version(const std::string& version) {
  std::vector<uint32_t> parsed;
  if (ParseVersionNumbers(version, &parsed))
    components_.swap(parsed);
}

int Version::CompareTo(const Version& other) const {
  return CompareVersionComponents(components_, other.components_);
}

}  // namespace base
