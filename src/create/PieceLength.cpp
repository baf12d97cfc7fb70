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

int32_t AutoPieceLength(int64_t totalBytes, int32_t cap) {
  struct TStep {
    int64_t Above;
    int32_t Length;
  };
  static constexpr TStep Steps[] = {
      {16'000'000'000, 16'777'216}, {8'000'000'000, 8'388'608}, {4'000'000'000, 4'194'304},
      {2'000'000'000, 2'097'152},   {1'000'000'000, 1'048'576}, {450'000'000, 524'288},
  };
  int32_t length = 262'144;
  for (const TStep& step : Steps) {
    if (totalBytes > step.Above) {
      length = step.Length;
      break;
    }
  }
  return std::min(length, cap);
}

bool IsPieceLengthAllowed(int64_t length) {
  return length >= MinPieceLength && length <= MaxPieceLength && (length & (length - 1)) == 0;
}

std::optional<int32_t> ParseAnyPieceLength(std::string_view text) {
  const size_t digits = text.find_first_not_of("0123456789");
  const std::string_view number = text.substr(0, digits);
  // More digits than any allowed length has: no overflow below.
  if (number.empty() || number.size() > 9) return std::nullopt;
  int64_t value = std::stoll(std::string(number));
  const std::string unit = AsciiLower(digits == std::string_view::npos ? "" : text.substr(digits));
  if (unit.empty()) {
    if (value >= 14 && value <= 26) value = int64_t{1} << value;
  } else if (unit == "k" || unit == "kb" || unit == "kib") {
    value *= 1024;
  } else if (unit == "m" || unit == "mb" || unit == "mib") {
    value *= 1024 * 1024;
  } else {
    return std::nullopt;
  }
  if (!IsPieceLengthAllowed(value)) return std::nullopt;
  return static_cast<int32_t>(value);
}
