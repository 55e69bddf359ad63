// The names under which the updater writes files before they take their
// place. A list may name any file of the game, so these names must be ones
// no entry can have: the sweep of a later run deletes what stands under them.
#pragma once

#include <string_view>

namespace platform {

// The suffix of a download that is unpacked afterwards: "<path>.dltmp".
// It differs from the partial-file suffix (kPartialFileSuffix, ".updtmp")
// in its last letters, so the two names of one entry never coincide.
inline constexpr std::string_view kDownloadFileSuffix = ".dltmp";

// The suffix of a download fetched ahead of its turn, before a number:
// "<download file>.ahead<n>", the download file ending in ".updtmp" or
// ".dltmp".
inline constexpr std::string_view kAheadFileSuffix = ".ahead";

// True when `name` (a Windows-style or real name) ends in one of the
// temporary suffixes: ".updtmp" or ".dltmp", either of them followed by
// ".ahead" and one or more digits; compared ignoring ASCII case, since names
// resolve onto files ignoring case.
bool IsTemporaryFileName(std::string_view name);

}  // namespace platform
