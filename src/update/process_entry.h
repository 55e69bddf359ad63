// Installing one pending entry of the update: download over the current FTP
// connection, size check, unpacking, bundle extraction, package import, and
// the record line that says which version is installed.
#pragma once

#include <string>

#include "update/update_engine.h"

// How ProcessEntry left the entry.
enum class EntryOutcome {
  kInstalled,   // installed (and recorded unless FromCheck)
  kPassedOver,  // nothing installed: size mismatch, refused name, type not handled here,
                // import tool not started
  kStopped,     // in-use stop: the box was shown and the main window closed
};

// Installs the pending entry `line`: a server line (a new file) or
// "U <record index> <server line>" (a changed file; only the types "E",
// "O" and "C" are handled, the type compared exactly). Names from the
// server (remote and local name) that would leave the game folder refuse
// the entry before anything is fetched (the view hears of it).
// With FromCheck a new entry adds no record line.
//
// Pumps messages while downloading. Throws the download's error, EConvertError
// for a size or record index that is not a decimal integer, EListError for a
// record index outside RecordList, and the bundle's file errors (see
// ExtractBundle); the caller's run stops at this entry then.
EntryOutcome ProcessEntry(UpdateEngine& e, const std::string& line, bool FromCheck);

// The package-import command line of a "T", "A", "S" or "W" entry, relative
// to the game folder: "System\PKG pkg import <kind> ..\<folder>\<package> ..\<stem>".
// Empty for any other type.
std::string ImportCommandLine(const std::string& type, const std::string& package,
                              const std::string& stem);

// Show mode of the import tool: 1 (shown) for textures, 0 (hidden) otherwise.
int ImportShowMode(const std::string& type);
