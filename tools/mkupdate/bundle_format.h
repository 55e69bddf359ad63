// What the publisher checks in a bundle (the layout and its parser:
// formats/bundle_trailer.h, shared with the updater).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/bundle_trailer.h"

namespace mkupdate {

// Offsets are signed 32-bit: the member data must end below 2 GiB.
inline constexpr int64_t kBundleMaxDataSize = INT32_MAX;

// Everything wrong with a bundle of bundle_size bytes and this trailer, as
// the updater would meet it, one sentence each: a count outside 1..100, a
// member range outside the data before the trailer, a name that is longer
// than 80 bytes, empty, absolute, has a drive prefix or a ".." component.
// Empty when sound.
std::vector<std::string> BundleProblems(const BundleTrailer& trailer, int64_t bundle_size);

}  // namespace mkupdate
