// The second pass of the file check: each mismatched file is fetched again
// over the FTP connection that the update check left behind.
#pragma once

#include <string>
#include <vector>

#include "filecheck/measure_pass.h"
#include "update/update_engine.h"

struct RepairResult {
  // UnrepairedList: full paths of the files for which the server listing
  // held no entry of the same base name, or whose download could not be
  // unpacked into them, in mismatch order.
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
// behind (SweepTemporaryFiles). A package file (by extension) is
// installed through ProcessEntry(line, FromCheck = true) for every line of
// ServerList (header skipped) whose field 6 equals its base name exactly.
// Any other file, and a package file that no line matched, is downloaded
// from the first name of the server listing whose base name equals its base name
// ignoring ASCII case, into the file's own folder under the entry's name;
// an entry with the extension "GZP" is then unpacked into the file
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
