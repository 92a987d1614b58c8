// The logger's entry point: reads the command line and picks a front end.
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include "app/command_line.h"
#include "console/run_headless.h"

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
    PrintLine(line.Error + QStringLiteral("\n\n") + CommandLineHelp());
    return 2;
  }
  if (line.Help) {
    PrintLine(CommandLineHelp());
    return 0;
  }
  if (!line.WantsLogger()) {
    PrintLine(
        QStringLiteral("The windowed program is not available yet: run dova300-logger --headless "
                       "(see --help)."));
    return 2;
  }
  QCoreApplication app(argc, argv);
  return RunHeadless(line);
}
