#pragma once

#include <QString>
#include <QStringList>

namespace dova::ui {

// The command-line front end for stored logs, for scheduled reports on machines without a
// display:
//   --report FILE [--from ISO-TIME] [--to ISO-TIME] [--locale NAME] [--page a4|letter]
//            --out REPORT.pdf
//   --export-csv FILE [--from ISO-TIME] [--to ISO-TIME] [--locale NAME] --out OUT.csv
// Exit code 0 on success, 2 on bad arguments, 1 when the log cannot be read or the output
// cannot be written; one line on standard error says why.
bool IsHistoryCommand(const QStringList& arguments);
int RunHistoryCommand(const QStringList& arguments, const QString& version, int argc, char** argv);
QString HistoryCommandHelp();

}  // namespace dova::ui
