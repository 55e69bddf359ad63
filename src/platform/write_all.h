// The one loop that writes a whole buffer to a file descriptor. For the
// files of this folder only: nothing above platform handles descriptors.
#pragma once

#include <string_view>

namespace platform {

// Writes all of `bytes` to fd, retrying interrupted and partial writes.
// Returns 0, or the errno of the failure (ENOSPC when the system takes no
// byte at all).
[[nodiscard]] int WriteAll(int fd, std::string_view bytes);

}  // namespace platform
