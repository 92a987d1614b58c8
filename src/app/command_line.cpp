#include "app/command_line.h"

namespace dova {

namespace {

// The value of an option given either as "--name VALUE" or "--name=VALUE".
bool TakeValue(const QStringList& args, qsizetype& i, const QString& name, QString* value,
               QString* error) {
  const QString& arg = args[i];
  if (arg == name) {
    if (i + 1 >= args.size()) {
      *error = name + QStringLiteral(" needs a value");
      return true;
    }
    *value = args[++i];
    return true;
  }
  if (arg.startsWith(name + u'=')) {
    *value = arg.mid(name.size() + 1);
    return true;
  }
  return false;
}

}  // namespace

TCommandLine ParseCommandLine(const QStringList& arguments) {
  TCommandLine line;
  for (qsizetype i = 0; i < arguments.size() && line.Error.isEmpty(); ++i) {
    const QString& arg = arguments[i];
    QString value;
    if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      line.Help = true;
    } else if (arg == QLatin1String("--headless")) {
      line.Headless = true;
    } else if (TakeValue(arguments, i, QStringLiteral("--simulate"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      bool ok = false;
      const int n = value.toInt(&ok);
      if (!ok || n < 1 || n > 99)
        line.Error = QStringLiteral("--simulate takes a number of incubators from 1 to 99");
      else
        line.Simulate = n;
    } else if (TakeValue(arguments, i, QStringLiteral("--simulate-vcp"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      bool ok = false;
      const int n = value.toInt(&ok);
      if (!ok || n < 1 || n > 99)
        line.Error = QStringLiteral("--simulate-vcp takes a number of incubators from 1 to 99");
      else
        line.SimulateVcp = n;
    } else if (TakeValue(arguments, i, QStringLiteral("--device"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      if (value.isEmpty() || value.startsWith(u'='))
        line.Error = QStringLiteral("--device takes PATH or PATH=SERIAL");
      else
        line.Devices.append(value);
    } else if (TakeValue(arguments, i, QStringLiteral("--data-dir"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      if (value.isEmpty())
        line.Error = QStringLiteral("--data-dir takes a folder");
      else
        line.DataDir = value;
    } else if (TakeValue(arguments, i, QStringLiteral("--log-interval"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      bool ok = false;
      const int n = value.toInt(&ok);
      if (!ok || n < 1 || n > 10)
        line.Error = QStringLiteral("--log-interval takes whole minutes from 1 to 10");
      else
        line.LogInterval = n;
    } else {
      line.Error = QStringLiteral("unknown option ") + arg;
    }
  }
  return line;
}

QString CommandLineHelp() {
  return QStringLiteral(
      "Usage: dova300-logger [options]\n"
      "Monitors and logs DOVA-300 benchtop incubators connected by USB.\n"
      "\n"
      "Options:\n"
      "  --headless             Run without windows: find, poll and log every incubator,\n"
      "                         show a live table on a terminal (plain lines otherwise).\n"
      "                         Ctrl+C or SIGTERM closes every log file with its last line.\n"
      "  --simulate N           Plug in N simulated incubators (1 to 99) instead of\n"
      "                         looking for real ones.\n"
      "  --simulate-vcp N       Plug in N simulated incubators (1 to 99) whose bridges are\n"
      "                         still on the serial-port driver; the converter finds them,\n"
      "                         reprograms them and they are then logged like the others.\n"
      "  --device PATH[=SERIAL] Also treat the serial device PATH (a pseudo-terminal, an\n"
      "                         RS-232 adapter) as an incubator bridge; SERIAL is the serial\n"
      "                         number it is known by (default: one made from the path).\n"
      "                         May be given more than once.\n"
      "  --data-dir DIR         Write the log files into DIR for this run (the stored data\n"
      "                         folder is not changed).\n"
      "  --log-interval MIN     Minutes between periodic log records for this run, 1 to 10\n"
      "                         (the stored interval is not changed).\n"
      "  -h, --help             Show this text and end.\n"
      "\n"
      "--simulate, --simulate-vcp and --device imply --headless until the windowed program is "
      "available.\n"
      "Only one copy of the logger runs at a time; a second one ends at once.\n");
}

}  // namespace dova
