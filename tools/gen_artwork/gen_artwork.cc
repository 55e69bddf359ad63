// Draws the updater's own skin: the main window and server dialog
// backgrounds, the image buttons in their normal (_D_) and pressed (_H_)
// looks, the bar picture, and the two stored window outlines derived from
// the same shapes the skins are cut to.
//
// Usage: gen_artwork OUTPUT_DIR   (writes OUTPUT_DIR/Ftp/*.bmp,
//        OUTPUT_DIR/form1.mask2 and OUTPUT_DIR/form2.mask2)
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "artwork_canvas.h"
#include "region_runs.h"

namespace {

constexpr unsigned kOutside = 0x000000;  // never visible: cut away by the outline
const Rgb kTray = Hex(0x0f1822);
const char* const kTitleFont = "DejaVu Sans Bold 17";
const char* const kButtonFont = "DejaVu Sans Condensed Bold 9.5";

// One-bit shape of a window: the body, the title tab at the top left and the
// round emblem bump at the top right. bottom is the body's lower edge.
std::vector<bool> WindowShape(int width, int height, int bottom) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  RoundedRect(cr, 1, 44, 865, bottom - 44, 30);
  RoundedRect(cr, 24, 8, 520, 64, 22);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 712, 118, 92, 0, 2 * M_PI);
  cairo_set_source_rgba(cr, 0, 0, 0, 1);
  cairo_fill(cr);
  cairo_surface_flush(surface);
  std::vector<bool> inside(static_cast<size_t>(width) * height);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) inside[y * width + x] = data[y * stride + x] != 0;
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return inside;
}

// Body gradient, a bevelled rim along the outline, black outside it.
void PaintWindowBody(Canvas& canvas, const std::vector<bool>& inside) {
  cairo_t* cr = canvas.cr();
  cairo_rectangle(cr, 0, 0, canvas.width(), canvas.height());
  FillVertical(cr, 0, canvas.height(), Hex(0x2f4862), Hex(0x101923));
  cairo_arc(cr, 712, 118, 70, 0, 2 * M_PI);  // emblem disc
  FillVertical(cr, 48, 188, Hex(0x6fa3d2), Hex(0x183656));
  const int w = canvas.width(), h = canvas.height();
  auto in = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h && inside[y * w + x]; };
  const unsigned rim[] = {0x05080c, 0xa8cdee, 0x7ea6cc, 0x3c5a78};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (!in(x, y)) {
        canvas.SetPixel(x, y, kOutside);
        continue;
      }
      for (int d = 1; d <= 4; ++d) {
        if (!in(x - d, y) || !in(x + d, y) || !in(x, y - d) || !in(x, y + d)) {
          canvas.SetPixel(x, y, rim[d - 1]);
          break;
        }
      }
    }
  }
}

// Download arrow inside the emblem disc.
void PaintEmblemArrow(cairo_t* cr) {
  cairo_move_to(cr, 697, 72);
  cairo_line_to(cr, 727, 72);
  cairo_line_to(cr, 727, 112);
  cairo_line_to(cr, 748, 112);
  cairo_line_to(cr, 712, 150);
  cairo_line_to(cr, 676, 112);
  cairo_line_to(cr, 697, 112);
  cairo_close_path(cr);
  FillVertical(cr, 72, 150, Hex(0xffffff), Hex(0xb9dcff));
  cairo_rectangle(cr, 672, 156, 80, 6);
  cairo_set_source_rgb(cr, 0.85, 0.93, 1.0);
  cairo_fill(cr);
}

void PaintHints(cairo_t* cr, const std::vector<std::string>& lines) {
  SunkenPanel(cr, 548, 216, 290, 316, 10, Hex(0x142130));
  double y = 236;
  for (const std::string& line : lines) {
    CentredText(cr, line, "DejaVu Sans 11", 556, y, 274, 28, Hex(0xcfe6ff));
    y += 40;
  }
}

void SaveMask(const std::vector<bool>& inside, int width, int height, const std::string& path) {
  const std::string payload = EncodeMask2(ShapeToRuns(
      width, height, [&](int x, int y) { return static_cast<bool>(inside[y * width + x]); }));
  std::ofstream file(path, std::ios::binary);
  file.write(payload.data(), static_cast<std::streamsize>(payload.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
  std::printf("%s: %zu bytes\n", path.c_str(), payload.size());
}

void MainSkin(const std::string& dir) {
  Canvas canvas(924, 680);
  const std::vector<bool> inside = WindowShape(924, 680, 660);
  PaintWindowBody(canvas, inside);
  cairo_t* cr = canvas.cr();
  CentredText(cr, "Game Updater", kTitleFont, 40, 14, 488, 44, Hex(0xeaf4ff));
  PaintEmblemArrow(cr);
  SunkenPanel(cr, 113, 216, 405, 256, 6, Hex(0xf4f7fa));  // bulletin
  SunkenPanel(cr, 113, 480, 405, 54, 6, Hex(0x070b10));   // status text and progress
  SunkenPanel(cr, 116, 515, 400, 15, 3, Hex(0x000000));   // progress groove
  SunkenPanel(cr, 124, 544, 534, 52, 12, kTray);          // button tray
  PaintHints(cr, {"1. Update", "fetches the new files", "2. Wait for the bar",
                  "to reach the end", "3. Start game", "when it appears"});
  canvas.SaveBmp(dir + "/Ftp/FTP_ORVEL_001b.bmp");
  SaveMask(inside, 924, 680, dir + "/form1.mask2");
}

void DialogSkin(const std::string& dir) {
  Canvas canvas(924, 644);
  const std::vector<bool> inside = WindowShape(924, 644, 640);
  PaintWindowBody(canvas, inside);
  cairo_t* cr = canvas.cr();
  CentredText(cr, "Game Updater", kTitleFont, 40, 14, 488, 44, Hex(0xeaf4ff));
  PaintEmblemArrow(cr);
  SunkenPanel(cr, 112, 217, 407, 313, 6, Hex(0xffffff));  // server list
  SunkenPanel(cr, 312, 546, 56, 40, 10, kTray);           // confirm button
  PaintHints(cr, {"Choose the update", "server nearest to you,", "or Other to let the",
                  "updater pick one,", "then press OK."});
  canvas.SaveBmp(dir + "/Ftp/FTP_ORVEL_003b.bmp");
  SaveMask(inside, 924, 644, dir + "/form2.mask2");
}

struct ButtonFace {
  char letter;
  const char* text;
  unsigned top, bottom;  // normal gradient; the pressed look reverses and darkens it
};

void Button(const std::string& dir, const std::string& name, int w, int h, const char* text,
            unsigned top, unsigned bottom, bool pressed) {
  Canvas canvas(w, h);
  canvas.Fill(kTray);
  cairo_t* cr = canvas.cr();
  RoundedRect(cr, 1, 1, w - 2, h - 2, 7);
  cairo_set_source_rgb(cr, 0.03, 0.06, 0.1);
  cairo_fill(cr);
  RoundedRect(cr, 2, 2, w - 4, h - 4, 6);
  Rgb a = Hex(top), b = Hex(bottom);
  if (pressed) {
    std::swap(a, b);
    a = {a.r * 0.7, a.g * 0.7, a.b * 0.7};
    b = {b.r * 0.7, b.g * 0.7, b.b * 0.7};
  }
  FillVertical(cr, 2, h - 2, a, b);
  if (!pressed) {  // highlight along the top edge
    cairo_rectangle(cr, 8, 3, w - 16, 1);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.45);
    cairo_fill(cr);
  }
  const double shift = pressed ? 1 : 0;
  CentredText(cr, text, kButtonFont, shift + 1, shift + 1, w, h, Hex(0x06101a));
  CentredText(cr, text, kButtonFont, shift, shift, w, h, pressed ? Hex(0xd6e9ff) : Hex(0xffffff));
  canvas.SaveBmp(dir + "/Ftp/" + name);
}

void Buttons(const std::string& dir) {
  const ButtonFace faces[] = {
      {'a', "Update", 0x5f97cc, 0x1d4a7a},     {'b', "Start game", 0x63c46a, 0x1f6b2a},
      {'c', "Home page", 0x5f97cc, 0x1d4a7a},  {'d', "Exit", 0xd06a5e, 0x7a2319},
      {'k', "Force update", 0xd9a54a, 0x7a5312}, {'n', "Account", 0x5f97cc, 0x1d4a7a},
  };
  for (const ButtonFace& face : faces) {
    for (bool pressed : {false, true}) {
      const std::string name = std::string("FTP_cool_") + face.letter + (pressed ? "_H_" : "_D_") + "001b.bmp";
      Button(dir, name, 98, 36, face.text, face.top, face.bottom, pressed);
    }
  }
  Button(dir, "FTP_cool_e_D_001b.bmp", 36, 24, "OK", 0x63c46a, 0x1f6b2a, false);
  Button(dir, "FTP_cool_e_H_001b.bmp", 36, 24, "OK", 0x63c46a, 0x1f6b2a, true);
}

// The bar picture: aqua is its transparent colour.
void Bar(const std::string& dir) {
  Canvas canvas(680, 21);
  canvas.Fill(Hex(0x00ffff));
  cairo_t* cr = canvas.cr();
  RoundedRect(cr, 4, 7, 672, 7, 3);
  FillVertical(cr, 7, 14, Hex(0x9cc4e4), Hex(0x2c4c6c));
  canvas.SaveBmp(dir + "/Ftp/fbar1.bmp");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  try {
    MainSkin(dir);
    DialogSkin(dir);
    Buttons(dir);
    Bar(dir);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gen_artwork: %s\n", e.what());
    return 1;
  }
  return 0;
}
