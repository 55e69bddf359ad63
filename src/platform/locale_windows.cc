#include "platform/locale.h"

#include "platform/windows_api.h"

namespace platform {

// The thread's locale, as the Windows programs of the game read it.
LocaleLanguage CurrentLocaleLanguage() {
  const LANGID language = LANGIDFROMLCID(GetThreadLocale());
  return {PRIMARYLANGID(language), SUBLANGID(language)};
}

}  // namespace platform
