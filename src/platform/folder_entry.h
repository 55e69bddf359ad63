// The one lookup of a name in a folder that ResolveGameFileName makes, a
// twin per system. Internal to platform.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The on-disk spelling of component inside folder (a real path ending in
// '/'), or nothing when no entry matches it ignoring ASCII case.
std::optional<std::string> FindFolderEntry(const std::string& folder, const std::string& component);

}  // namespace platform
