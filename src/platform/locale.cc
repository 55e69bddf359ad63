#include "platform/locale.h"

#include <string_view>

#include "platform/ascii_case.h"

namespace platform {

namespace {

struct LanguageEntry {
  std::string_view code;  // ISO 639 code as POSIX locale names spell it
  int primary;
};

struct TerritoryEntry {
  int primary;
  std::string_view territory;
  int sub;
};

// Windows primary-language numbers; the default sub-language is 1 unless
// a territory below says otherwise.
constexpr LanguageEntry kLanguages[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0a}, {"fi", 0x0b}, {"fr", 0x0c},
    {"he", 0x0d}, {"hu", 0x0e}, {"is", 0x0f}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
    {"nl", 0x13}, {"nb", 0x14}, {"no", 0x14}, {"nn", 0x14}, {"pl", 0x15}, {"pt", 0x16},
    {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1a}, {"sk", 0x1b}, {"sq", 0x1c}, {"sv", 0x1d},
    {"th", 0x1e}, {"tr", 0x1f}, {"ur", 0x20}, {"id", 0x21}, {"uk", 0x22}, {"be", 0x23},
    {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27}, {"fa", 0x29}, {"vi", 0x2a},
    {"hi", 0x39}, {"ms", 0x3e},
};

constexpr TerritoryEntry kTerritories[] = {
    {0x04, "TW", 1}, {0x04, "CN", 2}, {0x04, "HK", 3}, {0x04, "SG", 4}, {0x04, "MO", 5},
    {0x09, "US", 1}, {0x09, "GB", 2}, {0x09, "AU", 3}, {0x09, "CA", 4}, {0x09, "NZ", 5},
    {0x09, "IE", 6}, {0x09, "ZA", 7}, {0x09, "JM", 8}, {0x09, "BZ", 10}, {0x09, "TT", 11},
    {0x09, "ZW", 12}, {0x09, "PH", 13}, {0x09, "IN", 16}, {0x09, "MY", 17}, {0x09, "SG", 18},
    {0x07, "DE", 1}, {0x07, "CH", 2}, {0x07, "AT", 3}, {0x07, "LU", 4}, {0x07, "LI", 5},
    {0x0c, "FR", 1}, {0x0c, "BE", 2}, {0x0c, "CA", 3}, {0x0c, "CH", 4}, {0x0c, "LU", 5},
    {0x0c, "MC", 6}, {0x0a, "ES", 3}, {0x0a, "MX", 2}, {0x0a, "AR", 11}, {0x10, "IT", 1},
    {0x10, "CH", 2}, {0x13, "NL", 1}, {0x13, "BE", 2}, {0x16, "BR", 1}, {0x16, "PT", 2},
    {0x1d, "SE", 1}, {0x1d, "FI", 2},
};

constexpr int kChineseMainland = 2;
constexpr int kChineseTaiwan = 1;

}  // namespace

LocaleLanguage LocaleLanguageFromName(const std::string& posix_locale) {
  std::string_view name = posix_locale;
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return {0x09, 1};

  const size_t separator = name.find_first_of("_-");
  const std::string_view language = name.substr(0, separator);
  std::string_view territory =
      separator == std::string_view::npos ? std::string_view() : name.substr(separator + 1);
  // A script may come between language and territory ("zh_Hant_HK").
  std::string_view script;
  if (const size_t last = territory.find_last_of("_-"); last != std::string_view::npos) {
    script = territory.substr(0, last);
    territory = territory.substr(last + 1);
  } else if (territory.size() == 4) {
    script = territory;
    territory = {};
  }
  // Language codes are lower case, territories upper case; accept either.
  const std::string lower_language = FoldAsciiCase(std::string(language));
  const std::string upper_territory = UpperAsciiCase(std::string(territory));
  const std::string upper_script = UpperAsciiCase(std::string(script));

  int primary = 0;
  for (const LanguageEntry& entry : kLanguages) {
    if (entry.code == lower_language) primary = entry.primary;
  }
  if (primary == 0) return {0, 0};
  for (const TerritoryEntry& entry : kTerritories) {
    if (entry.primary == primary && entry.territory == upper_territory) return {primary, entry.sub};
  }
  if (primary == 0x04) {
    // "zh_Hant" names the traditional script without a territory.
    return {primary, upper_script == "HANT" ? kChineseTaiwan : kChineseMainland};
  }
  return {primary, 1};
}

}  // namespace platform
