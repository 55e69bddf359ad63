// The user's locale as the Windows language numbers the updater chooses its
// texts by: a primary language (4 Chinese, 9 English, 0x11 Japanese...) and
// a sub-language (for Chinese: 1 Taiwan, 2 mainland, 3 Hong Kong,
// 4 Singapore, 5 Macau).
#pragma once

#include <string>

namespace platform {

struct LocaleLanguage {
  int primary;
  int sub;
};

// Numbers for a POSIX locale name "language[_TERRITORY][.codeset][@modifier]"
// (a '-' between language and territory is accepted too). "", "C" and
// "POSIX" count as no locale and give 9/1. A known language with an unknown
// or missing territory gives its default sub-language (Chinese: 2; Chinese
// written "Hant" without a territory: 1); an unknown language gives 0/0.
LocaleLanguage LocaleLanguageFromName(const std::string& posix_locale);

// Numbers for the locale of this process: the first non-empty of the
// environment variables LC_ALL, LC_MESSAGES and LANG, mapped as above; on
// Windows, the thread's locale (GetThreadLocale) as it stands.
LocaleLanguage CurrentLocaleLanguage();

}  // namespace platform
