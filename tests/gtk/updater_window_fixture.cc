#include "updater_window_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <pango/pangocairo.h>

#include <cstdlib>
#include <filesystem>

#include "frontends/gtk/text_codec.h"

// Under the sanitizers: the font libraries behind RenderText keep their
// caches to the end of the process, which is not a leak of the code under test.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangoft2-1.0.so\n"
         "leak:libpangocairo-1.0.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n"
         "leak:libharfbuzz.so\nleak:libcairo.so\n";
}

namespace gtk_test {

const std::string kSkinDir = UPDATER_SOURCE_DIR "/data/skin/Ftp/";
const std::string kShotDir = UPDATER_BINARY_DIR "/gtk-screenshots/";

SilentServer::SilentServer() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(fd_, 4) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      port_ = ntohs(address.sin_port);
}

SilentServer::~SilentServer() { close(fd_); }

OutlineMismatch CompareWithSkin(const Screenshot& shot, int left, int top, const Bitmap& skin,
                                const std::string& mask2, const std::vector<Box>& covered) {
  OutlineMismatch mismatch;
  const std::vector<Box> outline = gtk_test::OutlineRects(mask2);
  std::vector<bool> inside(static_cast<size_t>(skin.width) * skin.height);
  for (const Box& r : outline)
    for (int y = r.top; y < r.bottom && y < skin.height; ++y)
      for (int x = r.left; x < r.right && x < skin.width; ++x) inside[y * skin.width + x] = true;
  for (int y = 0; y < skin.height; y += 2) {
    for (int x = 0; x < skin.width; x += 2) {
      if (!shot.Contains(left + x, top + y)) continue;
      const uint32_t seen = shot.At(left + x, top + y);
      if (!inside[y * skin.width + x]) {
        mismatch.outside += seen != kWhiteRoot;
        continue;
      }
      bool is_covered = false;
      for (const Box& box : covered) is_covered = is_covered || box.Contains(x, y);
      if (!is_covered) mismatch.inside += seen != skin.At(x, y);
    }
  }
  return mismatch;
}

int BitmapMismatch(const Screenshot& shot, int left, int top, const Bitmap& bitmap) {
  int mismatch = 0;
  for (int y = 0; y < bitmap.height; ++y)
    for (int x = 0; x < bitmap.width; ++x)
      mismatch += !shot.Contains(left + x, top + y) || shot.At(left + x, top + y) != bitmap.At(x, y);
  return mismatch;
}

int CountMatching(const Screenshot& shot, Box area, const std::function<bool(uint32_t)>& wanted) {
  int count = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) count += shot.Contains(x, y) && wanted(shot.At(x, y));
  return count;
}

int CountColour(const Screenshot& shot, Box area, uint32_t colour) {
  return CountMatching(shot, area, [colour](uint32_t seen) { return seen == colour; });
}

Screenshot RenderText(const std::string& utf8, const vcl::FontSpec& font, int x, int y, int width, int height) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* description = gtkui::NewFontDescription(font);
  pango_layout_set_font_description(layout, description);
  pango_layout_set_text(layout, utf8.c_str(), static_cast<int>(utf8.size()));
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  pango_font_description_free(description);
  g_object_unref(layout);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  Screenshot picture;
  picture.width = width;
  picture.height = height;
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column)
      picture.pixels.push_back(reinterpret_cast<const uint32_t*>(data + row * stride)[column] & 0xFFFFFF);
  cairo_surface_destroy(surface);
  return picture;
}

int PictureMismatch(const Screenshot& shot, int left, int top, const Screenshot& expected, int tolerance) {
  int mismatch = 0;
  for (int y = 0; y < expected.height; ++y) {
    for (int x = 0; x < expected.width; ++x) {
      if (!shot.Contains(left + x, top + y)) {
        ++mismatch;
        continue;
      }
      const uint32_t seen = shot.At(left + x, top + y), wanted = expected.At(x, y);
      bool differs = false;
      for (int shift : {0, 8, 16})
        differs = differs || std::abs(int((seen >> shift) & 0xFF) - int((wanted >> shift) & 0xFF)) > tolerance;
      mismatch += differs;
    }
  }
  return mismatch;
}

bool Yellowish(uint32_t rgb) { return (rgb >> 16) > 200 && ((rgb >> 8) & 0xFF) > 200 && (rgb & 0xFF) < 100; }

bool Aquaish(uint32_t rgb) { return (rgb >> 16) < 60 && ((rgb >> 8) & 0xFF) > 200 && (rgb & 0xFF) > 200; }

void UpdaterWindowTest::SetUp() {
  if (!x_.Available()) GTEST_SKIP() << x_.Unavailable();
  std::filesystem::create_directories(kShotDir);
  const std::filesystem::path built = UPDATER_BINARY_DIR "/src/frontends/gtk/updater";
  std::filesystem::copy_file(built, game_.path() + "updater");
  std::filesystem::copy(kSkinDir, game_.path() + "Ftp");
  game_.Write("bulletin.htm", "<html><body style=\"background:#ff00ff;margin:0\">news</body></html>");
  updater_ = game_.path() + "updater";
}

Screenshot UpdaterWindowTest::Shot(const std::string& name) {
  return x_.Capture(kShotDir + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                    name + ".png");
}

void UpdaterWindowTest::Click(int x, int y, int button) {
  x_.Run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click " +
         std::to_string(button));
}

pid_t UpdaterWindowTest::StartAndConfirmServer() {
  const pid_t pid = x_.StartProgram({updater_}, game_.path());
  const bool shown = WaitFor([&] {
    return x_.Run("xdotool search --onlyvisible --pid " + std::to_string(pid) + " >/dev/null") == 0;
  });
  EXPECT_TRUE(shown) << "the server dialog appears";
  Click(kWindowLeft + 340, kWindowTop + 566);  // its OK button
  return pid;
}

void UpdaterWindowTest::WriteServerList(int port, int timeout_ms) {
  game_.Write("isp0.dat", "Local 127.0.0.1 " + std::to_string(port) + " " + std::to_string(timeout_ms) +
                              " anonymous\r\nend\r\n");
}

}  // namespace gtk_test
