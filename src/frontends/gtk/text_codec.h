// The edge where byte texts reach the screen: decoding from the
// application's character set to UTF-8, and fonts named by the window
// designs mapped to fonts this system has.
#pragma once

#include <pango/pango.h>

#include <string>

#include "vcl/backend.h"

namespace gtkui {

// `bytes` in `charset` ("BIG5", "GB2312", "WINDOWS-1252", ...) as UTF-8.
// Bytes that do not decode become '?', so a damaged text still shows.
std::string DecodeText(const std::string& bytes, const std::string& charset);

// The character set of texts drawn in `font`: the font's own when its
// design fixes one, else `application_charset`.
const std::string& FontCharSet(const vcl::FontSpec& font, const std::string& application_charset);

// A new font description for `font` (caller frees it with
// pango_font_description_free). Chinese face names fall back to the
// installed Chinese font; the pixel height is the character cell's.
PangoFontDescription* NewFontDescription(const vcl::FontSpec& font);

// 0x00BBGGRR as cairo's 0..1 components.
struct CairoRgb {
  double r, g, b;
};
CairoRgb ToCairo(vcl::Color color);

}  // namespace gtkui
