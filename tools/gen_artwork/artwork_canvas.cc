#include "artwork_canvas.h"

#include <pango/pangocairo.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <stdexcept>

Rgb Hex(unsigned rgb) {
  return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
}

Canvas::Canvas(int width, int height)
    : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)),
      cr_(cairo_create(surface_)),
      width_(width),
      height_(height) {}

Canvas::~Canvas() {
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

void Canvas::Fill(Rgb colour) {
  cairo_save(cr_);
  cairo_set_source_rgb(cr_, colour.r, colour.g, colour.b);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

unsigned Canvas::Pixel(int x, int y) {
  cairo_surface_flush(surface_);
  const unsigned char* row =
      cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
  return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
}

void Canvas::SetPixel(int x, int y, unsigned rgb) {
  cairo_surface_flush(surface_);
  unsigned char* row =
      cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
  reinterpret_cast<uint32_t*>(row)[x] = rgb & 0xFFFFFF;
  cairo_surface_mark_dirty(surface_);
}

namespace {

void Put16(std::string& out, unsigned v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, unsigned v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

void Canvas::SaveBmp(const std::string& path) {
  const unsigned row_bytes = (static_cast<unsigned>(width_) * 3 + 3) & ~3u;
  const unsigned image_bytes = row_bytes * static_cast<unsigned>(height_);
  std::string out;
  out += "BM";
  Put32(out, 54 + image_bytes);
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);  // BITMAPINFOHEADER
  Put32(out, static_cast<unsigned>(width_));
  Put32(out, static_cast<unsigned>(height_));  // positive: bottom-up rows
  Put16(out, 1);
  Put16(out, 24);
  Put32(out, 0);  // no compression
  Put32(out, image_bytes);
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
  for (int y = height_ - 1; y >= 0; --y) {
    for (int x = 0; x < width_; ++x) {
      const unsigned p = Pixel(x, y);
      out.push_back(static_cast<char>(p & 0xFF));
      out.push_back(static_cast<char>((p >> 8) & 0xFF));
      out.push_back(static_cast<char>((p >> 16) & 0xFF));
    }
    out.append(row_bytes - static_cast<unsigned>(width_) * 3, '\0');
  }
  std::ofstream file(path, std::ios::binary);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double radius) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - radius, y + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr, x + w - radius, y + h - radius, radius, 0, M_PI / 2);
  cairo_arc(cr, x + radius, y + h - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void FillVertical(cairo_t* cr, double y0, double y1, Rgb top, Rgb bottom) {
  cairo_pattern_t* gradient = cairo_pattern_create_linear(0, y0, 0, y1);
  cairo_pattern_add_color_stop_rgb(gradient, 0, top.r, top.g, top.b);
  cairo_pattern_add_color_stop_rgb(gradient, 1, bottom.r, bottom.g, bottom.b);
  cairo_set_source(cr, gradient);
  cairo_fill(cr);
  cairo_pattern_destroy(gradient);
}

void SunkenPanel(cairo_t* cr, double x, double y, double w, double h, double radius, Rgb face) {
  RoundedRect(cr, x, y, w, h, radius);
  cairo_set_source_rgb(cr, face.r, face.g, face.b);
  cairo_fill(cr);
  cairo_set_line_width(cr, 2);
  RoundedRect(cr, x + 1, y + 1, w - 2, h - 2, radius);
  cairo_set_source_rgb(cr, 0.02, 0.04, 0.07);
  cairo_stroke(cr);
  RoundedRect(cr, x - 1, y - 1, w + 2, h + 2, radius + 1);
  cairo_set_source_rgba(cr, 0.55, 0.75, 0.92, 0.55);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
}

void CentredText(cairo_t* cr, const std::string& utf8, const char* font,
                 double x, double y, double w, double h, Rgb colour) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* description = pango_font_description_from_string(font);
  pango_layout_set_font_description(layout, description);
  pango_layout_set_text(layout, utf8.c_str(), -1);
  int text_w = 0, text_h = 0;
  pango_layout_get_pixel_size(layout, &text_w, &text_h);
  cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
  cairo_move_to(cr, std::round(x + (w - text_w) / 2), std::round(y + (h - text_h) / 2));
  pango_cairo_show_layout(cr, layout);
  pango_font_description_free(description);
  g_object_unref(layout);
}
