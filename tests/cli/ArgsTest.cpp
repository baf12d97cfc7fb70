// Argument forms through the one parser every command uses.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/Args.h"

namespace {

const TOptionSpec Specs[] = {
    {.Short = 'q', .Long = "quiet"},
    {.Short = 'f', .Long = "force"},
    {.Short = 'o', .Long = "output", .Kind = TArgKind::Value},
    {.Short = 'w', .Long = "web-seed", .Kind = TArgKind::Value},
    {.Long = "no-date"},
    {.Long = "no-source"},
    {.Long = "replace-tracker", .Kind = TArgKind::TwoValues},
};

// "given=value,value" for every option, then "| operands".
std::string Describe(const TParsedArgs& parsed) {
  std::string out;
  for (const auto& option : parsed.Options) {
    out += option.Spec->Long;
    for (size_t i = 0; i < option.Values.size(); ++i) out += (i == 0 ? "=" : ",") + option.Values[i];
    out += " ";
  }
  out += "|";
  for (const auto& operand : parsed.Operands) out += " " + operand;
  return out;
}

TEST(Args, Forms) {
  struct TCase {
    const char* Label;
    std::vector<std::string> Args;
    std::string Expected;  // Describe() or "error: message"
  };
  const TCase cases[] = {
      {.Label = "operands only", .Args = {"a", "b"}, .Expected = "| a b"},
      {.Label = "long flag", .Args = {"--quiet", "a"}, .Expected = "quiet | a"},
      {.Label = "short flag after the operand", .Args = {"a", "-q"}, .Expected = "quiet | a"},
      {.Label = "bundled flags", .Args = {"-qf", "a"}, .Expected = "quiet force | a"},
      {.Label = "bundle ending in a value option",
       .Args = {"-qfo", "out", "a"},
       .Expected = "quiet force output=out | a"},
      {.Label = "short value joined", .Args = {"-oout"}, .Expected = "output=out |"},
      {.Label = "short value joined in a bundle", .Args = {"-qoout"}, .Expected = "quiet output=out |"},
      {.Label = "long value separate", .Args = {"--output", "out"}, .Expected = "output=out |"},
      {.Label = "long value with =", .Args = {"--output=out"}, .Expected = "output=out |"},
      {.Label = "empty value with =", .Args = {"--output="}, .Expected = "output= |"},
      {.Label = "value holding =", .Args = {"--output=a=b"}, .Expected = "output=a=b |"},
      {.Label = "value starting with a dash", .Args = {"-o", "-x"}, .Expected = "output=-x |"},
      {.Label = "- is stdout, an operand or a value", .Args = {"-o", "-", "-"}, .Expected = "output=- | -"},
      {.Label = "-- ends the options",
       .Args = {"-q", "--", "-f", "--output"},
       .Expected = "quiet | -f --output"},
      {.Label = "repeated option keeps its order",
       .Args = {"-w", "u1", "--web-seed=u2", "-wu3"},
       .Expected = "web-seed=u1 web-seed=u2 web-seed=u3 |"},
      {.Label = "two values",
       .Args = {"--replace-tracker", "old", "new", "f"},
       .Expected = "replace-tracker=old,new | f"},
      {.Label = "two values, the first with =",
       .Args = {"--replace-tracker=old", "new"},
       .Expected = "replace-tracker=old,new |"},
      {.Label = "unambiguous prefix", .Args = {"--out", "x", "--no-d"}, .Expected = "output=x no-date |"},
      {.Label = "exact name beats a longer one", .Args = {"--quiet"}, .Expected = "quiet |"},
      {.Label = "unknown long",
       .Args = {"--frobnicate"},
       .Expected = "error: unknown option \"--frobnicate\""},
      {.Label = "unknown long with =", .Args = {"--frob=1"}, .Expected = "error: unknown option \"--frob\""},
      {.Label = "unknown short in a bundle", .Args = {"-qx"}, .Expected = "error: unknown option \"-x\""},
      {.Label = "ambiguous prefix",
       .Args = {"--no"},
       .Expected = "error: option --no is ambiguous (--no-date, --no-source)"},
      {.Label = "missing value",
       .Args = {"-q", "--output"},
       .Expected = "error: option --output needs a value"},
      {.Label = "missing short value", .Args = {"-qo"}, .Expected = "error: option -o needs a value"},
      {.Label = "missing second value",
       .Args = {"--replace-tracker", "old"},
       .Expected = "error: option --replace-tracker needs a value"},
      {.Label = "value for a flag",
       .Args = {"--quiet=yes"},
       .Expected = "error: option --quiet takes no value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    std::string got;
    try {
      got = Describe(ParseArgs(c.Args, Specs));
    } catch (const EUsage& e) {
      got = std::string("error: ") + e.what();
    }
    EXPECT_EQ(got, c.Expected);
  }
}

TEST(Args, LookUpByLongName) {
  const TParsedArgs parsed = ParseArgs({"-w", "a", "--web-seed", "b", "-o", "x", "-oy"}, Specs);
  EXPECT_EQ(parsed.All("web-seed"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(parsed.Last("output"), "y");
  EXPECT_FALSE(parsed.Last("quiet"));
  EXPECT_TRUE(parsed.Has("output"));
  EXPECT_FALSE(parsed.Has("force"));
}

TEST(Args, HelpWinsBeforeDashDashOnly) {
  EXPECT_TRUE(WantsHelp({"--frobnicate", "--help"}));
  EXPECT_TRUE(WantsHelp({"x", "-h"}));
  EXPECT_FALSE(WantsHelp({"--", "--help"}));
  EXPECT_FALSE(WantsHelp({"--helper"}));
}

}  // namespace
