// Entries of "update3.dat" as the publisher's tool reads and writes them.
// Line 1 is a header the updater does not read; this tool writes
// "AVWSEN mkupdate <last issued version>" there so that a version once
// issued is never issued again, even after its file left the set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lists/list_file.h"
#include "lists/server_entry.h"

namespace mkupdate {

inline constexpr const char* kServerListName = "update3.dat";

// An entry of the list with the line it stands on.
struct ListedEntry : ServerEntry {
  int line = 0;  // line number in the file (1-based), 0 for new entries

  std::string Format() const { return FormatServerEntry(*this); }
};

struct ServerListFile {
  std::string header;
  std::string last_issued;  // from a header this tool wrote, else empty
  std::vector<ListedEntry> entries;
  std::vector<std::string> problems;  // lines that are not entries, one sentence each
};

// Splits the lines (header first) into entries with the updater's field
// rules (ParseServerEntry). Lines that are no valid entry, and lines whose
// type letter is not in upper case (a changed entry's type is compared
// exactly), go to `problems` and are not entries. The digests are read
// as they stand; CheckServerFolder judges them.
ServerListFile ParseServerList(const LineList& lines);

// Header line recording the last issued version.
std::string MakeHeader(const std::string& last_issued);

// The lines as a list file: each ended by CR LF.
std::string JoinLines(const LineList& lines);

}  // namespace mkupdate
