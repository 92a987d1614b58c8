#pragma once

#include <QString>

namespace dova {

// The text of the standard error box: the message with a full stop appended when its last
// character sorts after "." (so "Error Writing" gains one, "Done." and "(x)" do not).
QString ErrorBoxText(const QString& message);

// The program's title: its file name without extension ("dova300-logger").
QString ProgramTitle();

}  // namespace dova
