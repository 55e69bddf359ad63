#include "platform/display_text.h"

#include "platform/windows_api.h"

namespace platform {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

UINT CodePageFor(char lang_letter) {
  switch (lang_letter) {
    case 't':
      return 950;  // Big5
    case 's':
      return 936;  // GBK, the superset of GB2312
    default:
      return CP_UTF8;
  }
}

// The byte count of the character that starts at `lead`, as the code
// page encodes it (a UTF-8 lead byte tells its length; a DBCS lead byte
// takes one trail byte).
size_t CharacterLength(UINT code_page, unsigned char lead) {
  if (code_page != CP_UTF8) return IsDBCSLeadByteEx(code_page, lead) ? 2 : 1;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

// The character's UTF-16 units, or nothing when the bytes are not one.
std::wstring DecodeOne(UINT code_page, std::string_view bytes) {
  wchar_t units[4];
  const int got = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                      units, 4);
  return got > 0 ? std::wstring(units, static_cast<size_t>(got)) : std::wstring();
}

}  // namespace

std::string TextToUtf8(std::string_view bytes, char lang_letter) {
  const UINT code_page = CodePageFor(lang_letter);
  std::string out;
  out.reserve(bytes.size() * 3 / 2 + 4);
  while (!bytes.empty()) {
    const size_t length = CharacterLength(code_page, static_cast<unsigned char>(bytes[0]));
    const std::wstring character = length <= bytes.size() ? DecodeOne(code_page, bytes.substr(0, length)) : L"";
    if (character.empty()) {
      out.append(kReplacement);
      bytes.remove_prefix(1);
      continue;
    }
    out.append(Utf8FromWide(character));
    bytes.remove_prefix(length);
  }
  return out;
}

}  // namespace platform
