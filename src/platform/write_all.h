// Writing a whole buffer to a file descriptor, and flushing what was
// written, on either system. For the files of this folder only: nothing
// above platform handles descriptors.
#pragma once

#include <string_view>

namespace platform {

// Writes all of `bytes` to fd, retrying interrupted and partial writes.
// Returns 0, or the errno of the failure (ENOSPC when the system takes no
// byte at all).
[[nodiscard]] int WriteAll(int fd, std::string_view bytes);

// Flushes the file's data on fd to disk. Returns 0, or the errno of the
// failure.
[[nodiscard]] int FlushData(int fd);

}  // namespace platform
