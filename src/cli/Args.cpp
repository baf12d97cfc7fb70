#include "cli/Args.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

// An exact name, or the one long option the name begins.
const TOptionSpec& FindLong(std::string_view name, std::span<const TOptionSpec> specs,
                            const std::string& given) {
  std::vector<const TOptionSpec*> matches;
  for (const TOptionSpec& spec : specs) {
    const std::string_view full = spec.Long;
    if (full == name) return spec;
    if (!name.empty() && full.starts_with(name)) matches.push_back(&spec);
  }
  if (matches.empty()) throw EUsage("unknown option \"" + given + "\"");
  if (matches.size() > 1) {
    std::string names;
    for (const TOptionSpec* spec : matches)
      names += (names.empty() ? "--" : ", --") + std::string(spec->Long);
    throw EUsage("option " + given + " is ambiguous (" + names + ")");
  }
  return *matches.front();
}

const TOptionSpec* FindShort(char letter, std::span<const TOptionSpec> specs) {
  for (const TOptionSpec& spec : specs)
    if (spec.Short != 0 && spec.Short == letter) return &spec;
  return nullptr;
}

}  // namespace

bool TParsedArgs::Has(std::string_view longName) const {
  return std::any_of(Options.begin(), Options.end(),
                     [&](const TParsedOption& o) { return o.Spec->Long == longName; });
}

std::vector<std::string> TParsedArgs::All(std::string_view longName) const {
  std::vector<std::string> values;
  for (const TParsedOption& o : Options)
    if (o.Spec->Long == longName && !o.Values.empty()) values.push_back(o.Values.front());
  return values;
}

std::optional<std::string> TParsedArgs::Last(std::string_view longName) const {
  std::optional<std::string> value;
  for (const TParsedOption& o : Options)
    if (o.Spec->Long == longName) value = o.Values.empty() ? std::string() : o.Values.front();
  return value;
}

TParsedArgs ParseArgs(const std::vector<std::string>& args, std::span<const TOptionSpec> specs) {
  TParsedArgs parsed;
  size_t i = 0;
  // The values an option takes from the arguments after it.
  auto takeValues = [&](TParsedOption& option, size_t count) {
    while (count-- > 0) {
      if (i + 1 >= args.size()) throw EUsage("option " + option.Given + " needs a value");
      option.Values.push_back(args[++i]);
    }
  };
  auto wanted = [](const TOptionSpec& spec) -> size_t {
    return spec.Kind == TArgKind::Flag ? 0 : spec.Kind == TArgKind::Value ? 1 : 2;
  };

  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      parsed.Operands.insert(parsed.Operands.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                             args.end());
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      parsed.Operands.push_back(arg);  // "-" included
      continue;
    }
    if (arg[1] == '-') {
      const size_t eq = arg.find('=');
      const std::string given = arg.substr(0, eq);
      TParsedOption option;
      option.Spec = &FindLong(std::string_view(given).substr(2), specs, given);
      option.Given = "--" + std::string(option.Spec->Long);
      const size_t count = wanted(*option.Spec);
      if (eq != std::string::npos) {
        if (count == 0) throw EUsage("option " + option.Given + " takes no value");
        option.Values.push_back(arg.substr(eq + 1));
        takeValues(option, count - 1);
      } else {
        takeValues(option, count);
      }
      parsed.Options.push_back(std::move(option));
      continue;
    }
    // One or more short options; a value option takes the rest of the word.
    for (size_t at = 1; at < arg.size(); ++at) {
      const TOptionSpec* spec = FindShort(arg[at], specs);
      const std::string given = std::string("-") + arg[at];
      if (!spec) throw EUsage("unknown option \"" + given + "\"");
      TParsedOption option;
      option.Spec = spec;
      option.Given = given;
      const size_t count = wanted(*spec);
      if (count > 0) {
        if (at + 1 < arg.size()) {
          option.Values.push_back(arg.substr(at + 1));
          takeValues(option, count - 1);
        } else {
          takeValues(option, count);
        }
        parsed.Options.push_back(std::move(option));
        break;
      }
      parsed.Options.push_back(std::move(option));
    }
  }
  return parsed;
}

bool ParseInteger(const std::string& text, long long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && end == text.c_str() + text.size();
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const auto& a : args) {
    if (a == "--") break;
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

namespace {

// Days from 1970-01-01 to the proleptic Gregorian date (Howard Hinnant's
// days_from_civil): no time_t and no time zone in the way.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

// Exactly `digits` decimal digits of text at pos.
bool Digits(const std::string& text, size_t pos, size_t digits, unsigned& value) {
  if (pos + digits > text.size()) return false;
  value = 0;
  for (size_t i = pos; i < pos + digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return true;
}

}  // namespace

std::optional<long long> ParseDateText(const std::string& text) {
  if (text.find('-', 1) == std::string::npos) {
    long long seconds = 0;
    if (text.find_first_of(" \t") == std::string::npos && ParseInteger(text, seconds)) return seconds;
    return std::nullopt;
  }
  std::string rest = text;
  if (!rest.empty() && (rest.back() == 'Z' || rest.back() == 'z')) rest.pop_back();
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(rest, 0, 4, year) || rest.size() < 10 || rest[4] != '-' || !Digits(rest, 5, 2, month) ||
      rest[7] != '-' || !Digits(rest, 8, 2, day))
    return std::nullopt;
  if (rest.size() > 10) {
    if ((rest[10] != ' ' && rest[10] != 'T' && rest[10] != 't') || !Digits(rest, 11, 2, hour) ||
        rest.size() < 16 || rest[13] != ':' || !Digits(rest, 14, 2, minute))
      return std::nullopt;
    if (rest.size() > 16 && (rest.size() != 19 || rest[16] != ':' || !Digits(rest, 17, 2, second)))
      return std::nullopt;
    if (rest.size() != 16 && rest.size() != 19) return std::nullopt;
  }
  static const unsigned monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month < 1 || month > 12 || day < 1 || day > monthDays[month - 1] ||
      (month == 2 && day == 29 && !leap) || hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}
