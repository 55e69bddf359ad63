// The folders on the way to a file of the game.
#pragma once

#include <string>

// MakeFolderPath (see list_file.h), then makes sure every folder of
// windows_file_name exists under exe_dir. Throws EFOpenError "Cannot create
// folder <real path>" naming the first one that does not (with ": a file
// stands in its place" when a file has its name, ": a link leads out of
// the game folder" when one of them is reached through such a link), so
// that the entry fails with that reason rather than later on the file it
// cannot write.
void RequireFolderPath(const std::string& exe_dir, const std::string& windows_file_name);
