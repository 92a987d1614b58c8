#include "platform/logfile/log_files.h"

namespace dova {

LogFile::~LogFile() = default;
LogFiles::~LogFiles() = default;

}  // namespace dova
