#pragma once

namespace dova {

// True when standard output goes to a terminal (the live table is drawn only there).
bool StandardOutputIsTerminal();

}  // namespace dova
