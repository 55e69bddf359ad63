#include "frontends/gtk/text_codec.h"

#include <glib.h>

namespace gtkui {

std::string DecodeText(const std::string& bytes, const std::string& charset) {
  bool ascii = true;
  for (unsigned char c : bytes) ascii = ascii && c < 0x80;
  if (ascii) return bytes;
  gsize written = 0;
  gchar* utf8 = g_convert_with_fallback(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                        charset.c_str(), "?", nullptr, &written, nullptr);
  if (utf8 == nullptr) {  // unknown character set: keep what is plain ASCII
    std::string plain;
    for (unsigned char c : bytes) plain.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return plain;
  }
  std::string result(utf8, written);
  g_free(utf8);
  return result;
}

const std::string& FontCharSet(const vcl::FontSpec& font, const std::string& application_charset) {
  return font.charset.empty() ? application_charset : font.charset;
}

namespace {

// Families tried in order for a face name of the designs. The Chinese
// default face of the windows is not installed on Linux; the families after
// it are what fontconfig falls back to.
std::string FamilyList(const std::string& name) {
  if (name == "Arial") return "Arial,Liberation Sans,DejaVu Sans,AR PL UMing TW,sans-serif";
  if (name == "Courier New" || name == "Fixedsys")
    return name + ",Liberation Mono,DejaVu Sans Mono,AR PL UMing TW,monospace";
  bool ascii = true;
  for (unsigned char c : name) ascii = ascii && c < 0x80;
  // A Chinese face (the designs' "新細明體", in whatever bytes it came) maps
  // to the installed Ming-style font.
  const std::string first = ascii && !name.empty() ? name + "," : std::string();
  return first + "AR PL UMing TW,AR PL UMing CN,serif";
}

}  // namespace

PangoFontDescription* NewFontDescription(const vcl::FontSpec& font) {
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, FamilyList(font.name).c_str());
  // A positive height is the character cell, of which the em is about 7/8;
  // a negative one is the em itself.
  const int em = font.height >= 0 ? font.height * 7 / 8 : -font.height;
  pango_font_description_set_absolute_size(description, (em > 0 ? em : 12) * PANGO_SCALE);
  return description;
}

CairoRgb ToCairo(vcl::Color color) {
  return {(color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, ((color >> 16) & 0xFF) / 255.0};
}

}  // namespace gtkui
