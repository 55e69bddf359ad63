// The first pass of the file check: every file of the reference list is
// looked up under the game folder and measured by size and last-write time.
#pragma once

#include <string>
#include <vector>

#include "filecheck/check_list.h"
#include "update/update_engine.h"

// A file of the reference list that is missing or differs.
struct MismatchedFile {
  std::string name;  // folder + name of its record, relative to the game folder ('\' separators)
  std::string path;  // full real path under e.ExeDir
};

// The folder + name of a record when it names a file inside the game
// folder; empty when it does not (absolute, drive prefix, a ".."
// component, or no file name at all), and the record is then skipped.
std::string SafeRecordName(const CheckRecord& record);

// Measures each record's file in order and returns the mismatches
// (MismatchList), in record order. A file matches when its size equals the
// record's and its last-write time (local, two-second resolution, as a day
// count) is not earlier than the record's. A missing file is listed
// without being shown; an existing one is shown in the status line (not centred)
// and opened for reading and writing as a test only: a file that cannot be
// opened so is passed over (counts as matching). No file is ever written
// or has its times changed. Unsafe records are skipped (reported through
// e.OnRefusedName). An error while one record is handled skips that record.
std::vector<MismatchedFile> MeasureFiles(UpdateEngine& e, const std::vector<CheckRecord>& records);

// Text shown for a record while it is measured: folder + name, cut to 70 bytes.
std::string RecordDisplayText(const CheckRecord& record);
