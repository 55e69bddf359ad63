// The GTK front-end's conversions at the edge to the screen: byte texts to
// UTF-8, the designs' button labels to GTK mnemonics, and navigation
// addresses to the URIs a web view loads. No display is needed.
#include <gtest/gtest.h>

#include <pango/pangocairo.h>

#include <string>

#include "frontends/gtk/message_box.h"
#include "frontends/gtk/text_codec.h"
#include "frontends/gtk/web_view.h"
#include "support/temp_folder.h"

// Under the sanitizers: the font libraries keep their caches to the end of
// the process, which is not a leak of the code under test.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangoft2-1.0.so\n"
         "leak:libpangocairo-1.0.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n"
         "leak:libharfbuzz.so\nleak:libcairo.so\n";
}

namespace {

TEST(GtkTextEdge, ByteTextsDecodeFromTheApplicationCharacterSet) {
  {
    SCOPED_TRACE("Big5");
    // "你確定要離開嗎?"
    EXPECT_EQ("\xE4\xBD\xA0\xE7\xA2\xBA\xE5\xAE\x9A\xE8\xA6\x81\xE9\x9B\xA2\xE9\x96\x8B\xE5\x97\x8E?",
              gtkui::DecodeText("\xA7\x41\xBD\x54\xA9\x77\xAD\x6E\xC2\xF7\xB6\x7D\xB6\xDC\x3F", "BIG5"));
  }
  {
    SCOPED_TRACE("GB2312");
    // "连线中断"
    EXPECT_EQ("\xE8\xBF\x9E\xE7\xBA\xBF\xE4\xB8\xAD\xE6\x96\xAD",
              gtkui::DecodeText("\xC1\xAC\xCF\xDF\xD6\xD0\xB6\xCF", "GB2312"));
  }
  {
    SCOPED_TRACE("ASCII passes unchanged in every set");
    EXPECT_EQ("please wait...", gtkui::DecodeText("please wait...", "BIG5"));
  }
  {
    SCOPED_TRACE("a damaged Big5 text still shows, with '?' for what does not decode");
    const std::string shown = gtkui::DecodeText("ok \xA7", "BIG5");
    EXPECT_EQ(0u, shown.rfind("ok ", 0));
    EXPECT_NE(std::string::npos, shown.find('?'));
  }
  {
    SCOPED_TRACE("an unknown character set keeps the ASCII");
    EXPECT_EQ("a?b", gtkui::DecodeText("a\xFF" "b", "NO-SUCH-CHARSET"));
  }
}

// The face the designs name for Chinese texts is not on Linux; the font the
// front-end picks instead must have the glyphs (the setup script installs it).
TEST(GtkTextEdge, TheChineseDefaultFaceHasChineseGlyphs) {
  PangoFontMap* font_map = pango_cairo_font_map_get_default();
  PangoContext* context = pango_font_map_create_context(font_map);
  auto load = [&](const vcl::FontSpec& spec) {
    PangoFontDescription* description = gtkui::NewFontDescription(spec);
    PangoFont* font = pango_font_map_load_font(font_map, context, description);
    pango_font_description_free(description);
    return font;
  };
  PangoFont* chinese = load({"\xB7\x73\xB2\xD3\xA9\xFA\xC5\xE9", 16, 0});  // 新細明體 in Big5
  ASSERT_NE(nullptr, chinese);
  EXPECT_TRUE(pango_font_has_char(chinese, 0x9023)) << "連";
  EXPECT_TRUE(pango_font_has_char(chinese, 0x8FDE)) << "连 (simplified)";
  PangoFont* latin = load({"Arial", 16, 0});
  ASSERT_NE(nullptr, latin);
  EXPECT_TRUE(pango_font_has_char(latin, '%'));
  g_object_unref(chinese);
  g_object_unref(latin);
  g_object_unref(context);
}

TEST(GtkTextEdge, ButtonLabelsBecomeMnemonics) {
  EXPECT_EQ("_Abort", gtkui::MnemonicLabel("&Abort"));
  EXPECT_EQ("_Yes", gtkui::MnemonicLabel("&Yes"));
  EXPECT_EQ("OK", gtkui::MnemonicLabel("OK"));
  EXPECT_EQ("Save & _Quit", gtkui::MnemonicLabel("Save && &Quit"));
  EXPECT_EQ("a__b", gtkui::MnemonicLabel("a_b")) << "a literal underscore is no mnemonic";
}

TEST(GtkTextEdge, AddressesBecomeUris) {
  test_support::TempFolder folder;
  const std::string page = folder.Write("bulletin page.htm", "<html></html>");
  EXPECT_EQ("file://" + folder.path() + "bulletin%20page.htm", gtkui::AddressToUri(page));
  EXPECT_EQ("about:blank", gtkui::AddressToUri(folder.path() + "missing.htm"))
      << "a missing local page is an empty view";
  EXPECT_EQ("about:blank", gtkui::AddressToUri(""));
  EXPECT_EQ("https://example.com/a", gtkui::AddressToUri("https://example.com/a"));
  EXPECT_EQ("http://www.example.com", gtkui::AddressToUri("www.example.com"));
}

TEST(GtkTextEdge, LockedViewLoadsOnlyItsOwnDocument) {
  using gtkui::LockedNavigation;
  const std::string own = "file:///game/bulletin.htm";
  EXPECT_EQ(LockedNavigation::kLoad, gtkui::JudgeLockedNavigation(own, own, false));
  EXPECT_EQ(LockedNavigation::kLoad, gtkui::JudgeLockedNavigation(own, own + "#news", true));
  EXPECT_EQ(LockedNavigation::kLoad, gtkui::JudgeLockedNavigation(own, "about:blank", false));
  SCOPED_TRACE("other local files are refused, followed or not");
  EXPECT_EQ(LockedNavigation::kRefuse, gtkui::JudgeLockedNavigation(own, "file:///etc/passwd", true));
  EXPECT_EQ(LockedNavigation::kRefuse, gtkui::JudgeLockedNavigation(own, "file:///game/update.pub", false));
  SCOPED_TRACE("web links open in the browser only when the user followed them");
  EXPECT_EQ(LockedNavigation::kOpenInBrowser, gtkui::JudgeLockedNavigation(own, "https://example.com/x", true));
  EXPECT_EQ(LockedNavigation::kOpenInBrowser, gtkui::JudgeLockedNavigation(own, "HTTP://example.com/", true));
  EXPECT_EQ(LockedNavigation::kOpenInBrowser, gtkui::JudgeLockedNavigation(own, "mailto:a@example.com", true));
  EXPECT_EQ(LockedNavigation::kRefuse, gtkui::JudgeLockedNavigation(own, "https://example.com/x", false))
      << "a redirect or a frame is no click";
  EXPECT_EQ(LockedNavigation::kRefuse, gtkui::JudgeLockedNavigation(own, "smb://host/share", true));
  EXPECT_EQ(LockedNavigation::kRefuse, gtkui::JudgeLockedNavigation(own, "javascript:alert(1)", true));
}

}  // namespace
