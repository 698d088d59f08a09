#pragma once

#include <optional>

// Reads the command line before any window-system connection is made, so that --help and
// --version work without a display and a missing display ends the start with a message rather
// than the toolkit's abort. Returns the exit status when the program must end here: 0 after
// --help or --version, 1 when there is no display to connect to, 2 for an unknown option or an
// argument. Empty when the program should start.
std::optional<int> HandleCommandLine(int argc, char* argv[]);
