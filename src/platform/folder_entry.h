// The system-specific parts of game names, a twin per system: the one
// lookup of a name in a folder that ResolveGameFileName makes, and the
// names the system itself reserves. Internal to platform.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The on-disk spelling of component inside folder (a real path ending in
// '/'), or nothing when no entry matches it ignoring ASCII case.
std::optional<std::string> FindFolderEntry(const std::string& folder, const std::string& component);

// How this system spells a component of a list's name (Big5 or UTF-8
// bytes): as it stands where names are bytes, in UTF-8 where the system
// names files in Unicode.
std::string SystemSpellingOf(const std::string& list_component);

// True when this system would not open a file of exactly this name.
bool IsReservedOnThisSystem(std::string_view component);

}  // namespace platform
