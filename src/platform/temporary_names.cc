#include "platform/temporary_names.h"

#include "platform/ascii_case.h"
#include "platform/file_system.h"

namespace platform {

namespace {

bool EndsWithIgnoringCase(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() && EqualIgnoringAsciiCase(name.substr(name.size() - suffix.size()), suffix);
}

}  // namespace

bool IsTemporaryFileName(std::string_view name) {
  size_t digits = 0;
  while (digits < name.size() && name[name.size() - 1 - digits] >= '0' && name[name.size() - 1 - digits] <= '9')
    ++digits;
  if (digits > 0 && EndsWithIgnoringCase(name.substr(0, name.size() - digits), kAheadFileSuffix))
    name.remove_suffix(digits + kAheadFileSuffix.size());
  return EndsWithIgnoringCase(name, kPartialFileSuffix) || EndsWithIgnoringCase(name, kDownloadFileSuffix);
}

}  // namespace platform
