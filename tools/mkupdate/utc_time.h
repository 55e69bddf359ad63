// The calendar fields of a Unix time in UTC, for strftime: worked out with
// the C++ calendar, which needs no reentrant C library call.
#pragma once

#include <cstdint>
#include <ctime>

namespace mkupdate {

std::tm UtcTime(int64_t unix_seconds);

}  // namespace mkupdate
