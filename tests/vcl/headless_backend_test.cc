#include "frontends/headless/headless_backend.h"

#include <gtest/gtest.h>

#include "support/game_folder.h"

namespace {

TEST(ReadBmpSize, ReadsHeadersAndRefusesOtherFiles) {
  test_support::GameFolder folder;
  int w = 0;
  int h = 0;
  EXPECT_TRUE(ReadBmpSize(folder.WriteBmp("a.bmp", 924, 680), w, h));
  EXPECT_EQ(w, 924);
  EXPECT_EQ(h, 680);
  {
    SCOPED_TRACE("top-down bitmap: negative height");
    std::string bmp = test_support::MakeBmp(3, 2);
    bmp[22] = static_cast<char>(0xFE);  // -2
    for (int i = 23; i < 26; ++i) bmp[i] = static_cast<char>(0xFF);
    EXPECT_TRUE(ReadBmpSize(folder.Write("td.bmp", bmp), w, h));
    EXPECT_EQ(h, 2);
  }
  {
    SCOPED_TRACE("core header with 16-bit sizes");
    std::string core = "BM" + std::string(12, '\0');
    core[10] = 26;
    core += std::string("\x0C\0\0\0", 4) + std::string("\x07\0\x05\0", 4) + std::string("\x01\0\x18\0", 4);
    EXPECT_TRUE(ReadBmpSize(folder.Write("core.bmp", core), w, h));
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 5);
  }
  w = h = -1;
  EXPECT_FALSE(ReadBmpSize(folder.path() + "missing.bmp", w, h));
  EXPECT_FALSE(ReadBmpSize(folder.Write("short.bmp", "BM\x10"), w, h));
  EXPECT_FALSE(ReadBmpSize(folder.Write("png.bmp", "\x89PNG\r\n\x1a\n" + std::string(30, 'x')), w, h));
  std::string zero = test_support::MakeBmp(1, 1);
  zero[18] = 0;
  EXPECT_FALSE(ReadBmpSize(folder.Write("zero.bmp", zero), w, h));
  EXPECT_EQ(w, -1) << "outputs untouched on failure";
}

TEST(HeadlessBackend, MeasuresEightPixelsPerByteAtSixteen) {
  HeadlessBackend backend;
  const vcl::Size size = backend.MeasureText({"Arial", 16, 0}, "0% ");
  EXPECT_EQ(size.width, 24);
  EXPECT_EQ(size.height, 16);
}

TEST(HeadlessBackend, SingleInstanceWindowSearchIsExact) {
  HeadlessBackend backend;
  backend.existing_window_titles = {"Vortftpup", "update"};
  EXPECT_FALSE(backend.ActivateWindowTitled("Zkftpup"));
  backend.existing_window_titles.push_back("Zkftpup");
  EXPECT_TRUE(backend.ActivateWindowTitled("Zkftpup"));
  EXPECT_EQ(backend.activated_titles, std::vector<std::string>{"Zkftpup"});
}

}  // namespace
