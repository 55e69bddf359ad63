// One run of updater-cli: the updater's two windows on the headless
// backend, driven by the options instead of a person.
#pragma once

#include <string>

#include "frontends/cli/cli_options.h"

// Runs the updater in the game folder exe_dir (a real path ending in '/')
// and returns the exit status: 0 when the check and the asked actions
// ended normally (also when the game was started), 1 when no server was
// usable, 3 when an error box was shown or --check or --verify left a file
// wrong, 4 when the run stopped at a file in use, 5 when another run held
// the game folder (its box names it), 128 + the signal's number after a
// stop signal (SIGINT 130, SIGTERM 143, SIGHUP 129: the run stops at a
// safe point and the record is saved). Where the updater ends the process
// itself (an in-use stop, the game started while connected) the process
// ends inside, with the same status.
// Prints the status line and every box on stdout (UTF-8 unless
// options.raw), refused server names on stderr, and on a terminal the byte
// progress on one rewritten line. Pumps messages; call once per process.
int RunCliSession(const CliOptions& options, const std::string& exe_dir);
