// The table of what the reliability tests tried, written into the build
// folder as reliability-report.md so that a person can read the proof.
#pragma once

#include <string>

namespace reliability {

// Sets the row `fault` (the fault or input tried) of the table in
// UPDATER_BINARY_DIR/reliability-report.md, replacing an earlier row of the
// same name, so reruns keep one row per fault. Safe across the test
// processes that ctest runs at once (the file is locked while rewritten).
void ReportRow(const std::string& fault, int count, const std::string& outcome, const std::string& lost);

}  // namespace reliability
