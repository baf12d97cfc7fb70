#include "create/PieceLength.h"

#include <algorithm>
#include <string>

#include "base/Text.h"

std::optional<int32_t> ParsePieceLength(std::string_view text) {
  const std::string lower = AsciiLower(text);
  for (const auto& choice : PieceLengthChoices) {
    if (lower == choice.ShortName || lower == std::to_string(choice.Bytes)) return choice.Bytes;
  }
  return std::nullopt;
}

int PieceLengthIndex(int32_t length) {
  for (size_t i = 0; i < PieceLengthChoices.size(); ++i) {
    if (PieceLengthChoices[i].Bytes == length) return static_cast<int>(i);
  }
  return -1;
}

int32_t PieceLengthAt(int index) {
  const int last = static_cast<int>(PieceLengthChoices.size()) - 1;
  return PieceLengthChoices[static_cast<size_t>(std::clamp(index, 0, last))].Bytes;
}

int32_t PieceLengthAtMost(int32_t length) {
  int32_t found = PieceLengthChoices.front().Bytes;
  for (const auto& choice : PieceLengthChoices)
    if (choice.Bytes <= length) found = choice.Bytes;
  return found;
}
