#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace dova {

// One option of a program's command line, as --help shows it: its names ("h", "help";
// one letter means -h, more mean --help), the name of its value (empty for a switch) and
// its description.
struct TOptionNames {
  QStringList Names;
  QString ValueName;
  QString Description;
};

// A command line read against a table of options.
struct TParsedOptions {
  // What was wrong, in one line naming the argument; empty when the line was usable.
  QString Error;
  // The options given, in the order given, as indexes into the table, with their values
  // (empty for a switch). An option given twice is here twice.
  struct TGiven {
    std::size_t Option;
    QString Value;
  };
  std::vector<TGiven> Given;
};

// Reads the arguments (without the program name) with QCommandLineParser: --name VALUE,
// --name=VALUE, -n VALUE and -n=VALUE. An unknown option, a missing value, a value for a
// switch and an argument that is no option are errors; the values themselves are left to
// the caller.
TParsedOptions ParseOptions(const std::vector<TOptionNames>& options, const QStringList& arguments);

// The --help text as QCommandLineParser lays it out: "Usage: PROGRAM [options]", the
// description, the options with their descriptions, then `after` (if any).
QString OptionsHelp(const QString& program, const QString& description,
                    const std::vector<TOptionNames>& options, const QString& after = {});

// A value of plain decimal digits (no sign, no spaces) from `min` to `max`; nothing
// otherwise.
std::optional<std::uint64_t> WholeNumber(const QString& text, std::uint64_t min, std::uint64_t max);

// A program's options, each with what it does to the program's parsed line: `Take` gets
// the value (empty for a switch) and answers what is wrong with it, or nothing. Adding an
// option is one row.
template <typename TLine>
struct TLineOption {
  using TTake = std::function<QString(TLine& line, const QString& value)>;
  TOptionNames Names;
  TTake Take;
};

// The table as QCommandLineParser needs it.
template <typename TLine>
std::vector<TOptionNames> OptionNamesOf(const std::vector<TLineOption<TLine>>& options) {
  std::vector<TOptionNames> names;
  names.reserve(options.size());
  for (const TLineOption<TLine>& option : options)
    names.push_back(option.Names);
  return names;
}

// Parses the arguments into `line`, option by option in the order given; the first error
// (of the line as a whole, then of a value) is returned and ends the parsing.
template <typename TLine>
QString ParseLine(const std::vector<TLineOption<TLine>>& options, const QStringList& arguments,
                  TLine& line) {
  const TParsedOptions parsed = ParseOptions(OptionNamesOf(options), arguments);
  if (!parsed.Error.isEmpty()) return parsed.Error;
  for (const TParsedOptions::TGiven& given : parsed.Given) {
    const QString error = options[given.Option].Take(line, given.Value);
    if (!error.isEmpty()) return error;
  }
  return {};
}

// The --help text of a table (see OptionsHelp).
template <typename TLine>
QString LineHelp(const QString& program, const QString& description,
                 const std::vector<TLineOption<TLine>>& options, const QString& after = {}) {
  return OptionsHelp(program, description, OptionNamesOf(options), after);
}

// What most options do with their value, for the rows of a table.

// A switch that sets `field`.
template <typename TLine>
typename TLineOption<TLine>::TTake Sets(bool TLine::*field) {
  return [field](TLine& line, const QString&) {
    line.*field = true;
    return QString();
  };
}

// A whole number from `min` to `max` into `field` (a number or an optional one); `error`
// otherwise.
template <typename TLine, typename TField>
typename TLineOption<TLine>::TTake SetsWholeNumber(TField TLine::*field, std::uint64_t min,
                                                   std::uint64_t max, const QString& error) {
  return [field, min, max, error](TLine& line, const QString& value) {
    const std::optional<std::uint64_t> n = WholeNumber(value, min, max);
    if (!n) return error;
    if constexpr (requires { typename TField::value_type; })
      line.*field = static_cast<typename TField::value_type>(*n);
    else
      line.*field = static_cast<TField>(*n);
    return QString();
  };
}

// The rows every program ends with.
template <typename TLine>
TLineOption<TLine> VersionOption(bool TLine::*field) {
  return {{{"v", "version"}, {}, "Show the version and end."}, Sets(field)};
}
template <typename TLine>
TLineOption<TLine> HelpOption(bool TLine::*field) {
  return {{{"h", "help"}, {}, "Show this text and end."}, Sets(field)};
}

// "--name" or "-n": how an option is written on the command line.
QString OptionName(const QString& name);

}  // namespace dova
