// One entry of the server list ("update3.dat"), taken apart once, and the
// pending line built from it. Which field of a line holds what, for each
// type of entry, is known here (and in digest_fields.h) only:
//
//   field  1     2       3      4        5     6        7          8        9     10
//   E, O   type  remote  local  version  size  served   installed  inst.    mode  chunk index
//                                              digest   digest     size     flag  digest
//   C      type  remote  local  version  size  served digest
//   T A S W type remote  local  version  size  package  served digest
//
// Fields past the last one of the type are kept as they stand, so that a
// line read and written again keeps every byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the update does with an entry of a type, decided in this one place.
struct EntryHandling {
  bool downloads = false;  // the remote file is fetched at all
  bool unpacks = false;    // it is gzip-compressed and unpacked into the local name
  bool bundle = false;     // what is unpacked is a bundle, taken apart into its members
  bool imports = false;    // the package-import tool is run on the members
  bool operator==(const EntryHandling&) const = default;
};

// The handling of the type letter `type` as it stands in a pending line:
// a new entry (changed false; the letter compared without regard to ASCII
// case) or a changed one (the letter compared exactly; only "E", "O" and
// "C" are handled, a changed package downloads nothing).
EntryHandling HandlingOf(char type, bool changed);

struct ServerEntry {
  char type = 0;             // field 1, as written (0 when it is not one letter)
  std::string remote;        // name on the server
  std::string local;         // Windows-style local name; the key of the comparison
  std::string version;
  std::string size_text;     // field 5, as written
  int64_t size = -1;         // field 5 as a decimal count (DecimalField), -1 when it is none
  std::string package;       // T A S W only
  // SHA-256 digests in lower-case hex as written (any text an older list
  // has there); installed_sha256 of E and O only.
  std::string served_sha256;
  std::string installed_sha256;
  std::string installed_size_text;  // E and O: the installed file's size (for O equal to size_text)
  std::string execute_flag;         // E and O: the mode flag (kExecutableFlag, kNotExecutableFlag)
  // E and O: the SHA-256 of the served file's chunk index, "" when it has
  // none; with it the updater may patch the installed file (chunk_patch.h).
  std::string delta_index_sha256;
  std::vector<std::string> further;  // fields past the type's last one

  // The letter in upper case: the type that decides the layout of the fields.
  char Letter() const;
  // installed_size_text as a decimal count, -1 when it is none.
  int64_t InstalledSize() const;
};

// A server-list line taken apart. `entry` holds every field the line has
// (the missing ones empty) even when `reason` says why the line is no
// valid entry: the updater installs what such a line lets it, as the list
// gives it, and the publisher's tool refuses it.
struct ServerEntryParse {
  ServerEntry entry;
  std::string reason;  // "" for a valid entry
  bool Valid() const { return reason.empty(); }
};

// Reasons: an empty line, a type that is no entry type (E O C T A S W in
// either case), fewer than the five first fields.
ServerEntryParse ParseServerEntry(std::string_view line);

// The line of `entry`: its fields joined by single spaces, in their order,
// up to the first empty one (a field after an empty one would take its
// place), then `further`. The inverse of ParseServerEntry for a line of
// single spaces.
std::string FormatServerEntry(const ServerEntry& entry);

// A line of PendingList: a server line (a new file) or "U <record index>
// <server line>" (a changed file; "U" in either case).
struct PendingEntry {
  bool changed = false;
  std::string record_index;  // changed only, as written
  ServerEntryParse server;   // for a new entry with its type in upper case
};
PendingEntry ParsePendingEntry(std::string_view line);

// The pending line of a changed entry: "U " + record index + " " + server line.
std::string ChangedPendingLine(size_t record_index, std::string_view server_line);

// The fields of a server line that the comparison reads, without a copy.
std::string_view LocalNameOf(std::string_view server_line);
std::string_view VersionOf(std::string_view server_line);

// Field 6 of a server line, whatever its type: the package of T A S W;
// the file check looks packages up there on every line.
std::string_view PackageFieldOf(std::string_view server_line);

// A line of the local record ("update2.dat"): local name, one space, version.
std::string RecordLine(std::string_view local, std::string_view version);
std::string_view RecordedNameOf(std::string_view record_line);
std::string_view RecordedVersionOf(std::string_view record_line);
