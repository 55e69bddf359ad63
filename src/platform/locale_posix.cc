#include "platform/locale.h"

#include <cstdlib>

namespace platform {

LocaleLanguage CurrentLocaleLanguage() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LocaleLanguageFromName(value);
  }
  return LocaleLanguageFromName("");
}

}  // namespace platform
