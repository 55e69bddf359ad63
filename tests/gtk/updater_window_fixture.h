// What the window tests share: the placement of the windows on the test
// screen, comparisons of a screenshot with the skin files, a loopback port
// that never answers, and the fixture that puts a copy of `updater` with
// its skin into a fresh game folder on a private X server.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "skin_files.h"
#include "support/temp_folder.h"
#include "vcl/backend.h"
#include "x_session.h"

namespace gtk_test {

constexpr uint32_t kWhiteRoot = 0xFFFFFF;
constexpr uint32_t kBulletinColour = 0xFF00FF;
// Where start-up places the windows on the 1280 x 1024 test screen.
constexpr int kWindowLeft = (XSession::kScreenWidth - 924) / 2;
constexpr int kWindowTop = (XSession::kScreenHeight - 680) / 3;

extern const std::string kSkinDir;  // the committed skin bitmaps
extern const std::string kShotDir;  // where screenshots are kept

// A loopback port that accepts connections and never says a word, so the
// updater's check waits quietly while the window is looked at.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  int port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

// Pixels of the window at (left, top) that differ from what a person should
// see: the skin inside the stored outline (but for the areas controls
// cover), the white root window outside it.
struct OutlineMismatch {
  int inside = 0;
  int outside = 0;
};
OutlineMismatch CompareWithSkin(const Screenshot& shot, int left, int top, const Bitmap& skin,
                                const std::string& mask2, const std::vector<Box>& covered);

// Pixels of `bitmap` drawn at (left, top) that the screen does not show.
int BitmapMismatch(const Screenshot& shot, int left, int top, const Bitmap& bitmap);
int CountMatching(const Screenshot& shot, Box area, const std::function<bool(uint32_t)>& wanted);
int CountColour(const Screenshot& shot, Box area, uint32_t colour);
// `utf8` in `font`, black on white, with its top-left corner at (x, y) of
// a width x height picture: what the window draws for an entry of a list.
Screenshot RenderText(const std::string& utf8, const vcl::FontSpec& font, int x, int y, int width, int height);
// Pixels of `expected` that the screen at (left, top) does not show, each
// channel allowed to differ by `tolerance`.
int PictureMismatch(const Screenshot& shot, int left, int top, const Screenshot& expected, int tolerance);
// Text is smoothed at its edges: its core pixels are near the text colour.
bool Yellowish(uint32_t rgb);
bool Aquaish(uint32_t rgb);

class UpdaterWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // A screenshot kept as gtk-screenshots/<test>-<name>.png.
  Screenshot Shot(const std::string& name);
  void Click(int x, int y, int button = 1);
  // Starts the updater in the game folder, waits for the server dialog and
  // confirms it; returns the process id.
  pid_t StartAndConfirmServer();
  // Writes isp0.dat with one server on 127.0.0.1 at `port`.
  void WriteServerList(int port, int timeout_ms);

  // The game folder outlives the session, which stops the program: a window
  // that saves its record as it ends still finds its folder.
  test_support::TempFolder game_;
  XSession x_;
  std::string updater_;
};

}  // namespace gtk_test
