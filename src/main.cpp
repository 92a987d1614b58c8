// The logger's entry point: reads the command line and picks a front end.
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <cstdio>

#include "alarms/alarm_journal.h"
#include "app/command_line.h"
#include "console/run_headless.h"
#include "version.h"
#ifdef DOVA_WITH_WINDOWS
#include "ui/history/history_command.h"
#include "ui/mainwindow/windowed_program.h"
#endif

int main(int argc, char** argv) {
  using namespace dova;
  TCommandLine line;
  {
    // The command line is read before any application object exists: the windowed front
    // end decides whether it can open a display before it makes its own.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
      arguments << QString::fromLocal8Bit(argv[i]);
    line = ParseCommandLine(arguments);
  }
  if (!line.Error.isEmpty()) {
    // One line naming what is wrong; --help lists what is right.
    std::fprintf(stderr, "dova300-logger: %s\n", qPrintable(line.Error));
    return 2;
  }
  if (line.Help) {
    PrintLine(CommandLineHelp());
    return 0;
  }
  if (line.Version) {
    PrintLine(QStringLiteral("dova300-logger ") + QStringLiteral(DOVA_VERSION));
    return 0;
  }
  if (!line.VerifyJournal.isEmpty()) {
    QString report;
    const int code = VerifyJournalFile(line.VerifyJournal, &report);
    PrintLine(report);
    return code;
  }
#ifdef DOVA_WITH_WINDOWS
  // Reports and tables of stored logs are a front end of their own, with or without a display.
  if (line.WantsStoredLog())
    return ui::RunHistoryCommand(line, QStringLiteral(DOVA_VERSION), argc, argv);
  if (!line.Headless) {
    if (DisplayAvailable()) return RunWindowed(line, argc, argv);
    PrintLine(QStringLiteral("No display to open windows on: running without windows."));
  }
#endif
  QCoreApplication app(argc, argv);
  return RunHeadless(line);
}
