// Small drawing helpers over cairo for the skin artwork: rounded shapes,
// gradients, centred text, and saving a picture as a 24-bit BMP file.
#pragma once

#include <cairo.h>

#include <string>

struct Rgb {
  double r, g, b;  // 0..1
};

Rgb Hex(unsigned rgb);

// An RGB24 picture with its cairo context; released on destruction.
class Canvas {
 public:
  Canvas(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  cairo_t* cr() const { return cr_; }
  int width() const { return width_; }
  int height() const { return height_; }

  void Fill(Rgb colour);
  // Colour of pixel (x, y) as 0xRRGGBB.
  unsigned Pixel(int x, int y);
  void SetPixel(int x, int y, unsigned rgb);
  // Writes a bottom-up 24-bit BMP; throws std::runtime_error naming the path.
  void SaveBmp(const std::string& path);

 private:
  cairo_surface_t* surface_;
  cairo_t* cr_;
  int width_, height_;
};

// Adds a rounded rectangle to the current path (x, y, w, h, corner radius).
void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double radius);
// Fills the current path with a vertical gradient from top to bottom colour.
void FillVertical(cairo_t* cr, double y0, double y1, Rgb top, Rgb bottom);
// A sunken panel: dark face with a light lower-right and dark upper-left edge.
void SunkenPanel(cairo_t* cr, double x, double y, double w, double h, double radius, Rgb face);
// Draws text centred in the box, in the Pango font description given.
void CentredText(cairo_t* cr, const std::string& utf8, const char* font,
                 double x, double y, double w, double h, Rgb colour);
