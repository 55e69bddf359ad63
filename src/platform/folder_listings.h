// The listings of folders kept while a FolderListingScope (game_path.h) is
// open, for ResolveGameFileName's case-insensitive matching. Internal to
// platform.
#pragma once

#include <optional>
#include <string>

namespace platform {

// Opens and closes one scope; the listings live while any is open.
void OpenFolderListings();
void CloseFolderListings();

// Looks component up in the listing of folder (a real path ending in '/'),
// read once and kept up to date while a scope is open: true with `match`
// set to the on-disk spelling (an exact one preferred, else the smallest
// case variant in byte order) or to nothing when no entry matches. False
// when no scope is open or the folder cannot be watched (missing, not a
// folder, or the system's watches used up): the caller lists it itself.
// Safe on any thread.
bool FindInFolderListing(const std::string& folder, const std::string& component,
                         std::optional<std::string>& match);

}  // namespace platform
