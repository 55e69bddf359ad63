#include "platform/locale.h"

#include <gtest/gtest.h>

#include <cstdlib>

using platform::LocaleLanguage;
using platform::LocaleLanguageFromName;

namespace {

void ExpectLanguage(const std::string& name, int primary, int sub) {
  SCOPED_TRACE("locale '" + name + "'");
  const LocaleLanguage language = LocaleLanguageFromName(name);
  EXPECT_EQ(language.primary, primary);
  EXPECT_EQ(language.sub, sub);
}

}  // namespace

TEST(LocaleTest, NamesMapToWindowsLanguageNumbers) {
  ExpectLanguage("zh_TW.Big5", 4, 1);
  ExpectLanguage("zh_CN.UTF-8", 4, 2);
  ExpectLanguage("zh_HK.UTF-8", 4, 3);
  ExpectLanguage("zh_SG", 4, 4);
  ExpectLanguage("zh_MO.UTF-8@euro", 4, 5);
  ExpectLanguage("zh-tw", 4, 1);
  ExpectLanguage("zh", 4, 2);
  ExpectLanguage("zh_Hant", 4, 1);
  ExpectLanguage("zh_Hant_HK", 4, 3);
  ExpectLanguage("zh_MY", 4, 2);
  ExpectLanguage("en_US.UTF-8", 9, 1);
  ExpectLanguage("en_GB", 9, 2);
  ExpectLanguage("en", 9, 1);
  ExpectLanguage("ja_JP.eucJP", 0x11, 1);
  ExpectLanguage("de_AT", 7, 3);
  ExpectLanguage("pt_BR", 0x16, 1);
  ExpectLanguage("", 9, 1);
  ExpectLanguage("C", 9, 1);
  ExpectLanguage("C.UTF-8", 9, 1);
  ExpectLanguage("POSIX", 9, 1);
  ExpectLanguage("xx_YY", 0, 0);
}

TEST(LocaleTest, CurrentLocaleFollowsTheEnvironmentPrecedence) {
  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::string saved[3];
  bool had[3];
  for (int i = 0; i < 3; ++i) {
    const char* value = std::getenv(names[i]);
    had[i] = value != nullptr;
    if (had[i]) saved[i] = value;
  }

  setenv("LC_ALL", "", 1);
  setenv("LC_MESSAGES", "zh_HK.UTF-8", 1);
  setenv("LANG", "ja_JP", 1);
  EXPECT_EQ(platform::CurrentLocaleLanguage().sub, 3) << "an empty LC_ALL does not count";
  setenv("LC_ALL", "zh_SG", 1);
  EXPECT_EQ(platform::CurrentLocaleLanguage().sub, 4);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  EXPECT_EQ(platform::CurrentLocaleLanguage().primary, 0x11);
  unsetenv("LANG");
  EXPECT_EQ(platform::CurrentLocaleLanguage().primary, 9);

  for (int i = 0; i < 3; ++i) {
    if (had[i]) setenv(names[i], saved[i].c_str(), 1); else unsetenv(names[i]);
  }
}
