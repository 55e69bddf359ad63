// Where a line of the server list ("update3.dat") carries the SHA-256
// digests of its files, in lower-case hex, after the fields every updater
// reads: the digest of the served file (the bytes downloaded) and, for
// "E" and "O" entries, of the installed file (after unpacking; for "O" the
// same). An "E" line then gives the installed file's size in bytes, in
// decimal, which bounds what its unpacking may write; an "O" line gives it
// too, equal to field 5. Field 9 of both is the installed file's mode
// flag: "x" when it is executable, "-" when not (other tokens are read as
// no flag, left free for later modes). Field 10 of both, when the served
// file has a chunk index beside it (delta/chunk_index.h, named from the
// remote name), is the index's SHA-256. Import bundles (T, A, S, W) keep
// their package name in field 6, so their digest follows it:
//
//   E Core.GZP System\Core.u 2026120800 1234 <served> <installed> 5678 - <index>
//   E Game.GZP System\Game 2026120800 4321 <served> <installed> 9876 x
//   O Help.txt Help\Help.txt 2026120800 80 <served> <installed> 80 -
//   C Maps.bnd.gz Maps.bnd 2026120800 999 <served>
//   T Trees.bnd.gz Trees.bnd 2026120800 999 Trees <served>
//
// Older lists have neither digests, installed sizes nor flags; older
// updaters read no field past the package, so they install these lists as
// before, and read no field past the flag, so a line with an index is
// installed whole by them. A line without the flag leaves an installed file's execute bits
// as the file it replaces had them.
#pragma once

#include <string_view>

#include "platform/file_system.h"

// The field number (as LineField counts them in a server-list line) of the
// served file's digest for an entry of type letter `type` (upper case), or
// 0 for a letter that is no entry type.
int ServedDigestField(char type);

// The field number of the installed file's digest: 7 for "E" and "O", 0
// for every other letter (bundles are taken apart, so no one file is
// installed from them).
int InstalledDigestField(char type);

// The field number of the installed file's size: 8 for "E", 0 for every
// other letter (an "O" file is installed as downloaded, within field 5, so
// the updater does not read the field 8 of "O" lines).
int InstalledSizeField(char type);

// The field number of the installed file's mode flag: 9 for "E" and "O",
// 0 for every other letter.
int ExecuteFlagField(char type);

// The field number of the SHA-256 of the served file's chunk index: 10
// for "E" and "O", 0 for every other letter.
int DeltaIndexField(char type);

// The flags as written in field 9.
inline constexpr std::string_view kExecutableFlag = "x";
inline constexpr std::string_view kNotExecutableFlag = "-";

// What the flag `field` (as read from field 9; "" when the line has none)
// makes of the installed file's execute bits.
platform::ExecuteBits ListedExecuteBits(std::string_view field);
