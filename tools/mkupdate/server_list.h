// Entries of "update3.dat" as the publisher's tool reads and writes them.
// Line 1 is a header the updater does not read; this tool writes
// "AVWSEN mkupdate <last issued version>" there so that a version once
// issued is never issued again, even after its file left the set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lists/list_file.h"

namespace mkupdate {

inline constexpr const char* kServerListName = "update3.dat";

struct ServerEntry {
  char type = 'E';      // E O C T A S W
  std::string remote;   // name in the server folder
  std::string local;    // Windows-style local name; the comparison key
  std::string version;
  std::string size_text;  // as written in the list
  int64_t size = -1;      // -1 when size_text is not a decimal number
  std::string package;    // T A S W only
  // SHA-256 digests, lower-case hex (see lists/digest_fields.h); empty in
  // lists of older publishers. installed_sha256: E and O only.
  std::string served_sha256;
  std::string installed_sha256;
  // The installed file's size in decimal, after installed_sha256: E and O
  // (for O equal to size_text).
  std::string installed_size_text;
  // The installed file's mode flag after installed_size_text: E and O;
  // empty in lists of older publishers.
  std::string execute_flag;
  int line = 0;           // line number in the file (1-based), 0 for new entries

  std::string Format() const;
};

struct ServerListFile {
  std::string header;
  std::string last_issued;  // from a header this tool wrote, else empty
  std::vector<ServerEntry> entries;
  std::vector<std::string> problems;  // lines that are not entries, one sentence each
};

// Splits the lines (header first) into entries with the updater's field
// rules. Lines with a type letter outside EOCTASW, or without the five
// first fields, go to `problems` and are not entries. The digests are read
// as they stand; CheckServerFolder judges them.
ServerListFile ParseServerList(const LineList& lines);

// Header line recording the last issued version.
std::string MakeHeader(const std::string& last_issued);

// The lines as a list file: each ended by CR LF.
std::string JoinLines(const LineList& lines);

}  // namespace mkupdate
