#include "utc_time.h"

#include <chrono>

namespace mkupdate {

std::tm UtcTime(int64_t unix_seconds) {
  using namespace std::chrono;
  const sys_seconds when{seconds{unix_seconds}};
  const sys_days day = floor<days>(when);
  const year_month_day date{day};
  const hh_mm_ss<seconds> clock{when - day};
  std::tm parts{};
  parts.tm_year = static_cast<int>(date.year()) - 1900;
  parts.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
  parts.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
  parts.tm_hour = static_cast<int>(clock.hours().count());
  parts.tm_min = static_cast<int>(clock.minutes().count());
  parts.tm_sec = static_cast<int>(clock.seconds().count());
  parts.tm_wday = static_cast<int>(weekday{day}.c_encoding());
  parts.tm_yday = static_cast<int>((day - sys_days{date.year() / January / 1}).count());
  return parts;
}

}  // namespace mkupdate
