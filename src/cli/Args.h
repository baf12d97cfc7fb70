#pragma once
// The one argument parser of every command, with getopt_long's habits:
// options and operands in any order, bundled short flags ("-qf"), a short
// option's value joined or separate ("-ofile", "-o file"), "--opt=value" and
// "--opt value", unambiguous prefixes of long options, "--" ending the
// options, and "-" as an operand (stdout or stdin where a command says so).

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// A usage error: the command prints it with its usage line and exits 2.
class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TArgKind {
  Flag,      // no value
  Value,     // one value
  TwoValues  // two values: "--replace-tracker OLD NEW"
};

struct TOptionSpec {
  char Short = 0;  // 0: long form only
  const char* Long = "";
  TArgKind Kind = TArgKind::Flag;
};

struct TParsedOption {
  const TOptionSpec* Spec = nullptr;
  std::string Given;  // as typed: "-o" or "--output"
  std::vector<std::string> Values;
};

struct TParsedArgs {
  std::vector<TParsedOption> Options;  // in command-line order
  std::vector<std::string> Operands;

  bool Has(std::string_view longName) const;
  // The values of every use of the option, in order (the first value of each).
  std::vector<std::string> All(std::string_view longName) const;
  // The value of the option's last use.
  std::optional<std::string> Last(std::string_view longName) const;
};

// Raises EUsage: unknown option "X"; option X needs a value; option X takes
// no value; option X is ambiguous (...).
TParsedArgs ParseArgs(const std::vector<std::string>& args, std::span<const TOptionSpec> specs);

// A whole decimal number as strtoll reads it (sign and leading blanks allowed);
// false for an empty text, other characters or a number out of range.
bool ParseInteger(const std::string& text, long long& value);

// True when "--help" or "-h" stands before any "--": help wins over every
// other mistake on the line.
bool WantsHelp(const std::vector<std::string>& args);

// A creation date typed on the command line: Unix seconds ("1700000000", any
// signed 64-bit number), or a UTC date "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]"
// ("T" for the blank, a trailing "Z" allowed). Nothing for any other text.
std::optional<long long> ParseDateText(const std::string& text);
