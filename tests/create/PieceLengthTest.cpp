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

TEST(PieceLength, AnyPowerOfTwoFromSixteenKiBToSixtyFourMiBAsBytesUnitOrExponent) {
  struct TCase {
    const char* Text;
    std::optional<int32_t> Expected;
  };
  const TCase cases[] = {
      // Everything the window's list names still parses.
      {.Text = "128k", .Expected = 131072},
      {.Text = "16M", .Expected = 16777216},
      {.Text = "262144", .Expected = 262144},
      // The ends of the range, in each form.
      {.Text = "16k", .Expected = 16384},
      {.Text = "16384", .Expected = 16384},
      {.Text = "14", .Expected = 16384},
      {.Text = "64m", .Expected = 67108864},
      {.Text = "64MiB", .Expected = 67108864},
      {.Text = "67108864", .Expected = 67108864},
      {.Text = "26", .Expected = 67108864},
      {.Text = "32kb", .Expected = 32768},
      {.Text = "18", .Expected = 262144},
      // Just outside it, or not a power of two.
      {.Text = "8k", .Expected = std::nullopt},
      {.Text = "13", .Expected = std::nullopt},
      {.Text = "27", .Expected = std::nullopt},
      {.Text = "128m", .Expected = std::nullopt},
      {.Text = "134217728", .Expected = std::nullopt},
      {.Text = "100000", .Expected = std::nullopt},
      {.Text = "3m", .Expected = std::nullopt},
      // Not a size at all.
      {.Text = "1g", .Expected = std::nullopt},
      {.Text = "k", .Expected = std::nullopt},
      {.Text = "-16k", .Expected = std::nullopt},
      {.Text = "16 k", .Expected = std::nullopt},
      {.Text = "16kk", .Expected = std::nullopt},
      {.Text = "99999999999999999999k", .Expected = std::nullopt},
      {.Text = "auto", .Expected = std::nullopt},
      {.Text = "", .Expected = std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(ParseAnyPieceLength(c.Text), c.Expected);
  }
}

TEST(PieceLength, AnAllowedCustomLengthIsTakenAsItIs) {
  for (int32_t length : {16384, 65536, 33554432, 67108864}) {
    SCOPED_TRACE(length);
    EXPECT_EQ(ChoosePieceLength(int64_t{1} << 40, length), length);
  }
}

TEST(PieceLength, BigDataDoublesPastTheWindowsRuleAndStaysUnderTheCap) {
  struct TCase {
    int64_t Total;
    int32_t Cap;
    int32_t Expected;
  };
  const int32_t noCap = MaxPieceLength;
  const TCase cases[] = {
      // Up to 4 GB: the window's rule.
      {.Total = 400'000'000, .Cap = noCap, .Expected = 262144},
      {.Total = 2'000'000'001, .Cap = noCap, .Expected = 2097152},
      {.Total = 4'000'000'000, .Cap = noCap, .Expected = 2097152},
      // Then one doubling for each doubling of the data, up to 16 MiB.
      {.Total = 4'000'000'001, .Cap = noCap, .Expected = 4194304},
      {.Total = 8'000'000'001, .Cap = noCap, .Expected = 8388608},
      {.Total = 16'000'000'001, .Cap = noCap, .Expected = 16777216},
      {.Total = int64_t{1} << 40, .Cap = noCap, .Expected = 16777216},
      {.Total = INT64_MAX, .Cap = noCap, .Expected = 16777216},
      // The cap wins over the rule, also below it.
      {.Total = int64_t{1} << 40, .Cap = 4194304, .Expected = 4194304},
      {.Total = 400'000'000, .Cap = 16384, .Expected = 16384},
      {.Total = 400'000'000, .Cap = 1048576, .Expected = 262144},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Total);
    EXPECT_EQ(AutoPieceLength(c.Total, c.Cap), c.Expected);
  }
}

// One rule for both front ends: the window is the CLI's rule capped at the end of its "Auto" table.
TEST(PieceLength, AutoRuleAroundEveryBoundaryForTheWindowAndTheCli) {
  struct TCase {
    int64_t Total;
    int32_t Cli;     // no cap asked for
    int32_t Window;  // "Auto"
  };
  const TCase cases[] = {
      {.Total = 0, .Cli = 262144, .Window = 262144},
      {.Total = 450'000'000, .Cli = 262144, .Window = 262144},
      {.Total = 450'000'001, .Cli = 524288, .Window = 524288},
      {.Total = 1'000'000'000, .Cli = 524288, .Window = 524288},
      {.Total = 1'000'000'001, .Cli = 1048576, .Window = 1048576},
      {.Total = 2'000'000'000, .Cli = 1048576, .Window = 1048576},
      {.Total = 2'000'000'001, .Cli = 2097152, .Window = 2097152},
      {.Total = 4'000'000'000, .Cli = 2097152, .Window = 2097152},
      {.Total = 4'000'000'001, .Cli = 4194304, .Window = 2097152},
      {.Total = int64_t{1} << 32, .Cli = 4194304, .Window = 2097152},
      {.Total = 8'000'000'000, .Cli = 4194304, .Window = 2097152},
      {.Total = 8'000'000'001, .Cli = 8388608, .Window = 2097152},
      {.Total = 16'000'000'000, .Cli = 8388608, .Window = 2097152},
      {.Total = 16'000'000'001, .Cli = 16777216, .Window = 2097152},
      {.Total = INT64_MAX, .Cli = 16777216, .Window = 2097152},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Total);
    EXPECT_EQ(AutoPieceLength(c.Total, MaxPieceLength), c.Cli);
    EXPECT_EQ(AutoPieceLength(c.Total, WindowAutoPieceCap), c.Window);
    EXPECT_EQ(ChoosePieceLength(c.Total, std::nullopt), c.Window);
  }
}
