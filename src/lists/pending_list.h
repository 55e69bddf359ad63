// The comparison of the server's list of files ("update3.dat") with the
// local record of installed files ("update2.dat"), which decides what to fetch.
#pragma once

#include <string>
#include <vector>

#include "lists/list_file.h"

// The header line the updater writes into a record it creates.
inline constexpr const char* kRecordHeader = "AVWSEN";

// Makes a loaded record fit for the comparison: an empty record gets the
// header line; a record that is then the header alone gets one empty line,
// so every server entry is compared with one record line and counts as new.
// Lines added here stay in the record (and are saved with it).
void PrepareRecordList(LineList& record);

// What the comparison queues, in server-list order: the pending entries and,
// for each, its local name (server field 3).
struct PendingEntries {
  LineList pending;
  std::vector<std::string> names;
};

// Compares every server line after the header (field 3 the local name,
// field 4 the version) with record lines 1 .. record.size()-1 (field 1 the
// name, field 2 the version). Names match ignoring the case of a-z only;
// the first matching record line decides: when the server version is
// greater in byte order (unsigned bytes; a prefix is smaller), the entry is
// queued as "U <record index> <server line>"; otherwise it is not queued.
// A server line matching no record line is queued unchanged as new. A
// record of fewer than two lines queues nothing (see PrepareRecordList).
// Runs in time linear in the sizes of the two lists.
PendingEntries ComparePendingEntries(const LineList& server, const LineList& record);
