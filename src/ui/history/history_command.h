#pragma once

#include <QString>

namespace dova {
struct TCommandLine;
}

namespace dova::ui {

// The front end for stored logs, for scheduled reports on machines without a display: the
// command line's --report or --export-csv with --out, --from, --to, --locale and --page.
// Exit code 0 on success, 2 on bad arguments, 1 when the log cannot be read or the output
// cannot be written; one line on standard error says why.
int RunHistoryCommand(const TCommandLine& line, const QString& version, int argc, char** argv);

}  // namespace dova::ui
