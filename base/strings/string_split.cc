#include "base/strings/string_split.h"

#include "base/strings/string_util.h"

namespace base {

namespace {

template <typename PieceT>
PieceT TrimPiece(PieceT piece, PieceT whitespace) {
  const size_t first = piece.find_first_not_of(whitespace);
  if (first == PieceT::npos)
    return piece.substr(0, 0);
  const size_t last = piece.find_last_not_of(whitespace);
  return piece.substr(first, last - first + 1);
}

// The one splitting loop. |find_separator| (piece, start) gives the next
// separator at or after start, or npos.
template <typename OutT, typename PieceT, typename FindT>
std::vector<OutT> SplitT(PieceT input,
                         FindT find_separator,
                         PieceT whitespace,
                         WhitespaceHandling whitespace_handling,
                         SplitResult result_type) {
  std::vector<OutT> result;
  if (input.empty())
    return result;
  size_t start = 0;
  while (start != PieceT::npos) {
    const size_t end = find_separator(input, start);
    PieceT piece;
    if (end == PieceT::npos) {
      piece = input.substr(start);
      start = PieceT::npos;
    } else {
      piece = input.substr(start, end - start);
      start = end + 1;
    }
    if (whitespace_handling == TRIM_WHITESPACE)
      piece = TrimPiece(piece, whitespace);
    if (result_type == SPLIT_WANT_ALL || !piece.empty())
      result.emplace_back(piece.data(), piece.size());
  }
  return result;
}

template <typename OutT, typename PieceT>
std::vector<OutT> SplitBySeparators(PieceT input,
                                    PieceT separators,
                                    PieceT whitespace,
                                    WhitespaceHandling whitespace_handling,
                                    SplitResult result_type) {
  if (separators.size() == 1) {
    const typename PieceT::value_type separator = separators[0];
    return SplitT<OutT>(
        input,
        [separator](PieceT text, size_t start) {
          return text.find(separator, start);
        },
        whitespace, whitespace_handling, result_type);
  }
  return SplitT<OutT>(
      input,
      [separators](PieceT text, size_t start) {
        return text.find_first_of(separators, start);
      },
      whitespace, whitespace_handling, result_type);
}

}  // namespace

std::vector<std::string> SplitString(StringPiece input,
                                     StringPiece separators,
                                     WhitespaceHandling whitespace,
                                     SplitResult result_type) {
  return SplitBySeparators<std::string>(input, separators,
                                        StringPiece(kWhitespaceASCII),
                                        whitespace, result_type);
}

std::vector<string16> SplitString16(StringPiece16 input,
                                    StringPiece16 separators,
                                    WhitespaceHandling whitespace,
                                    SplitResult result_type) {
  return SplitBySeparators<string16>(input, separators,
                                     StringPiece16(kWhitespaceUTF16),
                                     whitespace, result_type);
}

std::vector<StringPiece> SplitStringPieceByChar(StringPiece input,
                                                char separator,
                                                WhitespaceHandling whitespace,
                                                SplitResult result_type) {
  return SplitBySeparators<StringPiece>(input, StringPiece(&separator, 1),
                                        StringPiece(kWhitespaceASCII),
                                        whitespace, result_type);
}

bool SplitStringIntoKeyValuePairsImpl(StringPiece item,
                                      char delimiter,
                                      StringPairs* output) {
  output->emplace_back();
  std::pair<std::string, std::string>& pair = output->back();
  const size_t key_end = item.find(delimiter);
  if (key_end == StringPiece::npos)
    return false;
  pair.first.assign(item.data(), key_end);
  const size_t value_begin = item.find_first_not_of(delimiter, key_end);
  if (value_begin == StringPiece::npos)
    return false;
  pair.second.assign(item.data() + value_begin, item.size() - value_begin);
  return true;
}

bool SplitStringIntoKeyValuePairs(StringPiece input, StringPairs* output) {
  output->clear();
  const std::vector<StringPiece> items =
      SplitStringPieceByChar(input, ',', TRIM_WHITESPACE, SPLIT_WANT_NONEMPTY);
  output->reserve(items.size());
  bool success = true;
  for (StringPiece item : items) {
    if (!SplitStringIntoKeyValuePairsImpl(item, '=', output))
      success = false;
  }
  return success;
}

}  // namespace base
