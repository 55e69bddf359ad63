#include "frontends/gtk/control_painter.h"

#include <gdk/gdk.h>
#include <pango/pangocairo.h>

#include "frontends/gtk/text_codec.h"
#include "vcl/gauge.h"
#include "vcl/image.h"
#include "vcl/label.h"
#include "vcl/list_box.h"
#include "vcl/std_controls.h"

namespace gtkui {
namespace {

constexpr vcl::Color kButtonFace = 0xF0F0F0;
constexpr vcl::Color kWindowWhite = 0xFFFFFF;
constexpr vcl::Color kHighlight = 0xD77800;  // selected list entry
constexpr vcl::Color kHighlightText = 0xFFFFFF;

void SetColor(cairo_t* cr, vcl::Color color) {
  const CairoRgb c = ToCairo(color);
  cairo_set_source_rgb(cr, c.r, c.g, c.b);
}

void FillRect(cairo_t* cr, double x, double y, double w, double h, vcl::Color color) {
  SetColor(cr, color);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
}

// Draws UTF-8 text with its top-left corner at (x, y).
void DrawText(cairo_t* cr, const std::string& utf8, const vcl::FontSpec& font, double x, double y,
              vcl::Color color) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* description = NewFontDescription(font);
  pango_layout_set_font_description(layout, description);
  pango_layout_set_text(layout, utf8.c_str(), static_cast<int>(utf8.size()));
  SetColor(cr, color);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  pango_font_description_free(description);
  g_object_unref(layout);
}

void PaintImage(cairo_t* cr, const TImage& image) {
  auto* pixbuf = static_cast<GdkPixbuf*>(image.Picture().handle.get());
  if (pixbuf == nullptr) return;
  GdkPixbuf* shown = pixbuf;
  if (image.Transparent) {  // the key colour becomes fully transparent
    const vcl::Color key = image.TransparentColor;
    shown = gdk_pixbuf_add_alpha(pixbuf, TRUE, key & 0xFF, (key >> 8) & 0xFF, (key >> 16) & 0xFF);
  }
  gdk_cairo_set_source_pixbuf(cr, shown, image.Left(), image.Top());
  cairo_paint(cr);
  if (shown != pixbuf) g_object_unref(shown);
}

void PaintLabel(cairo_t* cr, const TLabel& label, const std::string& charset) {
  if (!label.Transparent)
    FillRect(cr, label.Left(), label.Top(), label.Width(), label.Height(), kButtonFace);
  const std::string text = DecodeText(label.Caption(), FontCharSet(label.Font(), charset));
  DrawText(cr, text, label.Font(), label.Left(), label.Top(), label.Font().color);
}

// The whole rectangle in the background colour, then the bar from the left.
void PaintGauge(cairo_t* cr, const TGauge& gauge) {
  FillRect(cr, gauge.Left(), gauge.Top(), gauge.Width(), gauge.Height(), gauge.BackColor);
  const int bar = gauge.BarWidth(gauge.Width());
  if (bar >= 1) FillRect(cr, gauge.Left(), gauge.Top(), bar, gauge.Height(), gauge.ForeColor);
}

constexpr int kListInset = 2;  // border and margin above the first entry

void PaintListBox(cairo_t* cr, const TListBox& list, int top_index, const std::string& charset) {
  FillRect(cr, list.Left(), list.Top(), list.Width(), list.Height(), kWindowWhite);
  const int item_height = ListItemHeight(list);
  for (int i = top_index; i < list.Items.Count(); ++i) {
    const int y = list.Top() + kListInset + (i - top_index) * item_height;
    if (y >= list.Top() + list.Height()) break;
    const bool selected = i == list.ItemIndex();
    if (selected) FillRect(cr, list.Left() + 2, y, list.Width() - 4, item_height, kHighlight);
    const std::string text = DecodeText(list.Items[i], FontCharSet(list.Font, charset));
    DrawText(cr, text, list.Font, list.Left() + 4, y, selected ? kHighlightText : list.Font.color);
  }
  SetColor(cr, 0x808080);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, list.Left() + 0.5, list.Top() + 0.5, list.Width() - 1, list.Height() - 1);
  cairo_stroke(cr);
}

void PaintButton(cairo_t* cr, const TButton& button, const std::string& charset) {
  FillRect(cr, button.Left(), button.Top(), button.Width(), button.Height(), kButtonFace);
  DrawText(cr, DecodeText(button.Caption, charset), vcl::FontSpec{"", 13, 0}, button.Left() + 4,
           button.Top() + 2, 0);
}

void PaintStatusBar(cairo_t* cr, const TStatusBar& bar, const std::string& charset) {
  FillRect(cr, bar.Left(), bar.Top(), bar.Width(), bar.Height(), kButtonFace);
  DrawText(cr, DecodeText(bar.SimpleText(), charset), vcl::FontSpec{"", 13, 0}, bar.Left() + 2,
           bar.Top(), 0);
}

}  // namespace

int ListItemHeight(const TListBox& list) {
  return list.Font.height > 0 ? list.Font.height : (list.Font.height < 0 ? -list.Font.height + 3 : 16);
}

int ListVisibleRows(const TListBox& list) {
  const int rows = (list.Height() - 2 * kListInset) / ListItemHeight(list);
  return rows > 0 ? rows : 1;
}

int ListEntryAt(const TListBox& list, int top_index, int x, int y) {
  const int offset = y - list.Top() - kListInset;
  if (offset < 0 || x < list.Left() || x >= list.Left() + list.Width()) return -1;
  const int index = top_index + offset / ListItemHeight(list);
  return index < list.Items.Count() ? index : -1;
}

void PaintControl(cairo_t* cr, TControl& control, const std::string& charset, const ListTops& tops) {
  cairo_save(cr);
  cairo_rectangle(cr, control.Left(), control.Top(), control.Width(), control.Height());
  cairo_clip(cr);
  switch (control.Kind()) {
    case ControlKind::kImage: PaintImage(cr, static_cast<TImage&>(control)); break;
    case ControlKind::kLabel: PaintLabel(cr, static_cast<TLabel&>(control), charset); break;
    case ControlKind::kGauge: PaintGauge(cr, static_cast<TGauge&>(control)); break;
    case ControlKind::kListBox: {
      const auto& list = static_cast<TListBox&>(control);
      const auto top = tops.find(&list);
      PaintListBox(cr, list, top != tops.end() ? top->second : 0, charset);
      break;
    }
    case ControlKind::kButton: PaintButton(cr, static_cast<TButton&>(control), charset); break;
    case ControlKind::kStatusBar: PaintStatusBar(cr, static_cast<TStatusBar&>(control), charset); break;
    case ControlKind::kWebBrowser: break;  // a native view of its own
  }
  cairo_restore(cr);
}

}  // namespace gtkui
