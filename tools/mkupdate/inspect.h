// Showing what ships: the members of a bundle and the records of a
// reference list, in plain text.
#pragma once

#include <ostream>
#include <string>

namespace mkupdate {

// Lists the bundle at path (gzip-compressed or not): its member count and,
// per member, start, end, length and name; then any problem the updater
// would meet. Returns false when there was a problem.
bool InspectBundle(const std::string& path, std::ostream& out);

// Lists the records of a "datec.dat": the trailer count, then per record
// the size, the time (local date and time, and the day count) and
// folder + name. Throws Exception for a file the check cannot read.
void InspectDatec(const std::string& path, std::ostream& out);

// Writes "datec.dat" for the game folder to out_path (atomically). Throws
// Exception naming every file that does not fit the record layout.
// Returns the number of file records.
size_t WriteDatec(const std::string& game_dir, const std::string& out_path);

}  // namespace mkupdate
