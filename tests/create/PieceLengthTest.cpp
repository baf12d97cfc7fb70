#include <gtest/gtest.h>

#include "create/Build.h"
#include "create/PieceLength.h"

TEST(PieceLength, TableIsTwoToTheSeventeenPlusPositionWithTheWindowsNames) {
  const char* names[] = {"128kb", "256kb", "512kb", "1024kb", "2048kb", "4096kb", "8192kb", "16384kb"};
  ASSERT_EQ(PieceLengthChoices.size(), std::size(names));
  for (size_t i = 0; i < PieceLengthChoices.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(PieceLengthChoices[i].Bytes, int32_t{1} << (17 + i));
    EXPECT_STREQ(PieceLengthChoices[i].DisplayName, names[i]);
    EXPECT_EQ(PieceLengthIndex(PieceLengthChoices[i].Bytes), static_cast<int>(i));
  }
  EXPECT_EQ(PieceLengthIndex(DefaultPieceLength), 1);
}

TEST(PieceLength, ParseTakesShortNamesAnyCaseAndByteCounts) {
  struct TCase {
    const char* Text;
    std::optional<int32_t> Expected;
  };
  const TCase cases[] = {
      {.Text = "128k", .Expected = 131072},
      {.Text = "1m", .Expected = 1048576},
      {.Text = "1M", .Expected = 1048576},
      {.Text = "16m", .Expected = 16777216},
      {.Text = "1048576", .Expected = 1048576},
      {.Text = "131072", .Expected = 131072},
      // Neither a name of the list nor one of its sizes.
      {.Text = "1024k", .Expected = std::nullopt},
      {.Text = "1024kb", .Expected = std::nullopt},
      {.Text = "32m", .Expected = std::nullopt},
      {.Text = "65536", .Expected = std::nullopt},
      {.Text = "01048576", .Expected = std::nullopt},
      {.Text = " 1m", .Expected = std::nullopt},
      {.Text = "", .Expected = std::nullopt},
      {.Text = "auto", .Expected = std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(ParsePieceLength(c.Text), c.Expected);
  }
}

TEST(PieceLength, PositionsOutsideTheTableGiveItsEnds) {
  EXPECT_EQ(PieceLengthAt(-1), 131072);  // an empty combo box
  EXPECT_EQ(PieceLengthAt(0), 131072);
  EXPECT_EQ(PieceLengthAt(7), 16777216);
  EXPECT_EQ(PieceLengthAt(8), 16777216);
}

TEST(PieceLength, CustomLengthOffTheTableGivesTheEntryBelowIt) {
  struct TCase {
    int32_t Given;
    int32_t Expected;
  };
  const TCase cases[] = {
      {.Given = 0, .Expected = 131072},          {.Given = -1, .Expected = 131072},
      {.Given = 131071, .Expected = 131072},     {.Given = 1048577, .Expected = 1048576},
      {.Given = 3'000'000, .Expected = 2097152}, {.Given = 1 << 30, .Expected = 16777216},
      {.Given = 524288, .Expected = 524288},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Given);
    EXPECT_EQ(PieceLengthAtMost(c.Given), c.Expected);
    EXPECT_EQ(ChoosePieceLength(0, c.Given), c.Expected);
  }
}
