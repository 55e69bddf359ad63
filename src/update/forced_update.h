// The forced update: after a confirmation, every entry of the server list
// becomes a new pending entry and the update run reinstalls them all,
// rebuilding the record from scratch.
#pragma once

#include "update/update_engine.h"

// The forced-update command of the forced-update button (after its normal
// bitmap is back). Does nothing before a check has reached the comparison
// (no RecordList: still connecting, no server, or a failed check), while
// a forced update runs, or while the run is disarmed and the start-game
// button hidden (a run in progress). Otherwise asks; on Yes sets
// ForcedUpdateActive, rebuilds, runs the update run to its end and clears
// the flag. An error of the rebuild (no "update3.dat") is raised on with
// the flag left set, so the buttons stay inert until the updater is closed.
void ForcedUpdateCommand(UpdateEngine& e);

// Empties the record, the pending list and the pending names, reloads ServerList
// from "update3.dat" (nothing is fetched) and queues every server entry with
// a local name as new, in server-list order. The record becomes its header
// and one empty line. Throws EFOpenError when "update3.dat" cannot be read
// (the lists have been emptied by then).
void RebuildForForcedUpdate(UpdateEngine& e);
