#pragma once
// The piece lengths a user may choose: the window's "Custom:" list comes from
// this one table; the CLI also takes any power of two from 16 KiB to 64 MiB.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

struct TPieceLengthChoice {
  int32_t Bytes;
  const char* DisplayName;  // cmbPieceSize's entry
  const char* ShortName;    // what -l takes besides the byte count
};

// In cmbPieceSize's order: 2 to the power (17 + position).
inline constexpr std::array<TPieceLengthChoice, 8> PieceLengthChoices = {{
    {131'072, "128kb", "128k"},
    {262'144, "256kb", "256k"},
    {524'288, "512kb", "512k"},
    {1'048'576, "1024kb", "1m"},
    {2'097'152, "2048kb", "2m"},
    {4'194'304, "4096kb", "4m"},
    {8'388'608, "8192kb", "8m"},
    {16'777'216, "16384kb", "16m"},
}};

// The entry "Custom:" starts on ("256kb").
inline constexpr int32_t DefaultPieceLength = 262'144;

// A short name in any case ("1m", "1M") or the byte count ("1048576") of an
// entry; nothing for any other text.
std::optional<int32_t> ParsePieceLength(std::string_view text);
// The position of length in the table; -1 when it is not there.
int PieceLengthIndex(int32_t length);
// The length at a position, the nearest end of the table outside it.
int32_t PieceLengthAt(int index);
// The largest entry at or below length; the smallest entry below the table.
int32_t PieceLengthAtMost(int32_t length);

// The lengths a request may name outright: powers of two from 16 KiB (the
// smallest BitTorrent v2 allows) to 64 MiB (for data of a terabyte and more).
inline constexpr int32_t MinPieceLength = 16 * 1024;
inline constexpr int32_t MaxPieceLength = 64 * 1024 * 1024;
bool IsPieceLengthAllowed(int64_t length);

// The automatic piece length, one rule for the window and the CLI (decimal thresholds, all
// strict): 256 KiB up to 450 MB, 512 KiB up to 1 GB, 1 MiB up to 2 GB, 2 MiB up to 4 GB, then
// one doubling for each doubling of the data up to 16 MiB above 16 GB, so that a torrent keeps
// to about 2,000 pieces; never above cap.
int32_t AutoPieceLength(int64_t totalBytes, int32_t cap);
// The window's "Auto" ends at 2 MiB, the last entry of its table; the CLI caps at
// --max-piece-length.
inline constexpr int32_t WindowAutoPieceCap = 2'097'152;

// What the CLI's -l takes: a power of two from 16 KiB to 64 MiB as bytes
// ("262144"), with a unit in any case ("256k", "256KiB", "4m", "4MB"; k and m
// are 1024 and 1024 * 1024), or as an exponent from 14 to 26 ("18"), as
// mktorrent takes it. Nothing for any other text.
std::optional<int32_t> ParseAnyPieceLength(std::string_view text);
