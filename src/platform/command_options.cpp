#include "platform/command_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace dova {

namespace {

void AddOptions(QCommandLineParser& parser, const std::vector<TOptionNames>& options) {
  // "-name" is read as "--name", never as a bundle of one-letter options: an error then
  // names what was typed.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const TOptionNames& option : options)
    parser.addOption(QCommandLineOption(option.Names, option.Description, option.ValueName));
}

// Why the parser refused the line, in one line naming the argument. The parser knows its
// unknown options by name only; the argument as typed is looked up. Its other refusals
// (a missing value, a value given to a switch) name the option in quotes.
QString Refusal(const QCommandLineParser& parser, const std::vector<TOptionNames>& options,
                const QStringList& arguments) {
  const QStringList unknown = parser.unknownOptionNames();
  if (!unknown.isEmpty()) {
    const QString& name = unknown.first();
    for (const QString& arg : arguments) {
      const QString typed = arg.section(u'=', 0, 0);
      if (typed == u'-' + name || typed == QStringLiteral("--") + name)
        return QStringLiteral("unknown option ") + typed;
    }
    return QStringLiteral("unknown option ") + OptionName(name);
  }
  const QString text = parser.errorText();
  const qsizetype open = text.indexOf(u'\'');
  const qsizetype close = text.lastIndexOf(u'\'');
  if (open < 0 || close <= open + 1) return text;
  const QString typed = text.mid(open + 1, close - open - 1);
  const QString name = typed.mid(typed.startsWith(QStringLiteral("--")) ? 2 : 1);
  for (const TOptionNames& option : options) {
    if (!option.Names.contains(name)) continue;
    return typed + (option.ValueName.isEmpty() ? QStringLiteral(" takes no value")
                                               : QStringLiteral(" needs a value"));
  }
  return text;
}

}  // namespace

QString OptionName(const QString& name) {
  return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

std::optional<std::uint64_t> WholeNumber(const QString& text, std::uint64_t min,
                                         std::uint64_t max) {
  // Nineteen digits cannot overflow.
  if (text.isEmpty() || text.size() > 19) return std::nullopt;
  std::uint64_t n = 0;
  for (const QChar c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(c.unicode() - u'0');
  }
  if (n < min || n > max) return std::nullopt;
  return n;
}

TParsedOptions ParseOptions(const std::vector<TOptionNames>& options,
                            const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser, options);
  TParsedOptions parsed;
  // The parser expects the program's name first.
  if (!parser.parse(QStringList{QString()} + arguments)) {
    parsed.Error = Refusal(parser, options, arguments);
    return parsed;
  }
  if (!parser.positionalArguments().isEmpty()) {
    parsed.Error = QStringLiteral("unexpected argument ") + parser.positionalArguments().first();
    return parsed;
  }
  // The parser lists every name as it was found and keeps each option's values in order.
  std::vector<qsizetype> taken(options.size(), 0);
  for (const QString& name : parser.optionNames()) {
    for (std::size_t i = 0; i < options.size(); ++i) {
      if (!options[i].Names.contains(name)) continue;
      QString value;
      if (!options[i].ValueName.isEmpty()) value = parser.values(name).at(taken[i]++);
      parsed.Given.push_back({i, value});
      break;
    }
  }
  return parsed;
}

QString OptionsHelp(const QString& program, const QString& description,
                    const std::vector<TOptionNames>& options, const QString& after) {
  QCommandLineParser parser;
  parser.setApplicationDescription(description);
  AddOptions(parser, options);
  // The parser's usage line names the program by the path it was started with (or a
  // placeholder before the application exists); the help names it plainly.
  const QString text = parser.helpText();
  QString help = QStringLiteral("Usage: ") + program + QStringLiteral(" [options]") +
                 text.mid(text.indexOf(u'\n'));
  if (!after.isEmpty()) help += u'\n' + after;
  return help;
}

}  // namespace dova
