// The one-time update check: connects to a server in the order built from
// the dialog's choice, lists its folder, fetches "update3.dat" and
// "bulletin.htm", compares the server list with the record and leaves the
// engine with files to update (the update run armed) or nothing to update (the
// start-game button shown), or reports that no server is usable.
//
// A game folder with "update.pub" takes a server's list only when it is
// signed by that key and neither older than the last set accepted nor
// expired (signed_set.h); the next server in the order is tried
// otherwise, and when none serves a good set the check fails with an
// Exception that says why for each. Its bulletin replaces the one shown
// only when signed too.
//
// Everything here runs on the user-interface thread and pumps messages
// inside the FTP operations, so other handlers (the exit question) may run
// in between; ExitRequested is looked at before each connection attempt.
#pragma once

#include <string>
#include <vector>

#include "update/server_order.h"
#include "update/update_engine.h"

// Tick of Timer1: runs FormResize once the window has been shown.
void Timer1Timer(UpdateEngine& e);

// Entry of the check (also the window's resize handler): does the work
// only the first time it runs after start-up (StartPending). Errors of the
// downloads and of the list files propagate to the caller, which shows them
// in the error box, after the status line says the check ended (the
// no-usable-server text). The view hears how the check ended (CheckEnded)
// and, when no server was usable, each one tried and why
// (ReportUnusableServer). A
// check that finds nothing to update removes what a killed run left
// (SweepTemporaryFiles), partial downloads included.
// `random` draws the server order (clock-seeded when empty).
void FormResize(UpdateEngine& e, const RandomSource& random = {});

// Fallback attempts over the entries of `order` after `index`, with the
// password of one space; stops at the "end" line, on a login, or when the
// exit has been confirmed. The status line is left as it is. Returns the
// position of the server that accepted the login, else -1. Each failed
// login adds "host:port: why" to `unusable`.
using UnusableServers = std::vector<std::string>;
int ConnectNextServer(UpdateEngine& e, const LineList& order, int index, UnusableServers& unusable);

// The comparison: loads "update3.dat" and "update2.dat", queues what is new
// or changed into PendingList and the local names into PendingNames. The
// three lists appear in the engine only once both files were read, so a list file
// that cannot be opened (EFOpenError) leaves the record untouched on disk.
void BuildPendingList(UpdateEngine& e);
