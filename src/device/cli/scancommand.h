#pragma once

#include "iocommands.h"

namespace telviox::io {

// "scan": the modules on the line, one line each, for scripts.
std::unique_ptr<Command> makeScanCommand();

} // namespace telviox::io
