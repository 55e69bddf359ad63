// The second pass of the file check: each mismatched file is fetched again
// over the connection that the update check left behind.
#pragma once

#include <string>
#include <vector>

#include "filecheck/measure_pass.h"
#include "update/update_engine.h"

struct RepairResult {
  // UnrepairedList: full paths of the files for which the server offered
  // nothing that may repair them, or whose download could not be unpacked
  // into them or was passed over, in mismatch order.
  std::vector<std::string> unrepaired;
  // True when an install closed the main window (a file in use); the pass
  // stopped there.
  bool window_closed = false;
};

// True for the extensions of content packages ("utx", "uax", "ukx",
// "usx"; compared exactly, so "UTX" is not one).
bool IsPackageExtension(const std::string& extension);

// True when a name from the server listing may become a file name in a
// game folder: not empty, not "." or "..", no folder separator ('\' or
// '/'), no drive prefix. Other entries never count as a match.
bool IsPlainListingName(const std::string& entry);

// Repairs the mismatches in order, after removing what a killed run left
// behind (SweepTemporaryFiles). One of the updater's own files
// (IsUpdaterOwnFile) is never written: it joins `unrepaired`. A package
// file (by extension) is installed through ProcessEntry(line, FromCheck =
// true) for every line of ServerList (header skipped) whose field 6 equals
// its base name exactly, except lines whose local name is one of the
// updater's own files.
// In a game folder that trusts only signed sets (RepairTakesOnlySignedEntries)
// the package lines are used only when ServerList was accepted under the
// key, and every other file comes from the signed list's own entry for it
// (RepairFromSignedList) or joins `unrepaired`; the server listing is not
// searched.
// Otherwise any other file, and a package file that no line matched, is downloaded
// from the first name of the server listing whose base name equals its base name
// ignoring ASCII case (over a transport without a listing, the first such
// remote name of ServerList), into the file's own folder under the entry's name;
// an entry that would write one of the updater's own files or a file the
// record lists for another entry is passed over (RepairTargets), and the
// view names it. An entry with the extension "GZP" is then unpacked into the file
// (folders created first) and deleted. Downloads and unpacked data go to
// temporary files that replace their file only when whole, so a failed
// repair leaves the file as it was; a file whose unpack failed joins
// `unrepaired`. The status line counts down the files left ("files checked" after
// the last).
//
// Pumps messages while downloading. Throws the first download or install
// error (ProcessEntry's errors included), EFOpenError for a folder that
// cannot be created or a downloaded file that cannot replace its file; the
// pass ends there.
RepairResult RepairFiles(UpdateEngine& e, const std::vector<MismatchedFile>& mismatches);
