#include "platform/game_path.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

using platform::IsSafeRelativeName;
using platform::ResolveGameFileName;

TEST(GamePathTest, MatchesExistingComponentsIgnoringCaseAndKeepsNewOnes) {
  test_support::TempFolder game;
  const std::string& dir = game.path();
  game.Write("System/Core.u", "x");
  game.Write("Textures/abc.utx", "x");

  {
    SCOPED_TRACE("existing components take their on-disk spelling");
    EXPECT_EQ(ResolveGameFileName(dir, "SYSTEM\\core.U"), dir + "System/Core.u");
    EXPECT_EQ(ResolveGameFileName(dir, "textures/ABC.UTX"), dir + "Textures/abc.utx");
  }
  {
    SCOPED_TRACE("new components keep their case, also below a missing one");
    EXPECT_EQ(ResolveGameFileName(dir, "system\\New\\File.TXT"), dir + "System/New/File.TXT");
    EXPECT_EQ(ResolveGameFileName(dir, "Maps\\Town.map"), dir + "Maps/Town.map");
  }
  {
    SCOPED_TRACE("doubled, leading and trailing separators, dot components, empty name");
    EXPECT_EQ(ResolveGameFileName(dir, "\\FtpConfig.ini"), dir + "FtpConfig.ini");
    EXPECT_EQ(ResolveGameFileName(dir, "system\\\\.\\core.u"), dir + "System/Core.u");
    EXPECT_EQ(ResolveGameFileName(dir, "system\\"), dir + "System/");
    EXPECT_EQ(ResolveGameFileName(dir, ""), dir);
  }
  {
    SCOPED_TRACE("an exact match wins over a case variant, else the smallest variant");
    game.Write("Dup/readme", "a");
    game.Write("Dup/README", "b");
    game.Write("Dup/ReadMe", "c");
    EXPECT_EQ(ResolveGameFileName(dir, "dup\\ReadMe"), dir + "Dup/ReadMe");
    EXPECT_EQ(ResolveGameFileName(dir, "dup\\readME"), dir + "Dup/README");
  }
  {
    SCOPED_TRACE("non-ASCII bytes are compared exactly");
    game.Write("\xC4\x80.txt", "x");  // U+0100; its lower case U+0101 must not match
    EXPECT_EQ(ResolveGameFileName(dir, "\xC4\x81.txt"), dir + "\xC4\x81.txt");
  }
}

TEST(GamePathTest, RefusesNamesThatLeaveTheFolder) {
  for (const char* name : {"", "\\Windows\\x.dll", "/etc/passwd", "C:\\x", "c:x", "..", "..\\x",
                           "System\\..\\..\\x", "a/../b", "System\\.."}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(IsSafeRelativeName(name));
  }
  for (const char* name : {"x", "System\\Core.u", "a/b/c", "...", "..x", "x..", "a\\.\\b", "Textures\\"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(IsSafeRelativeName(name));
  }
}
