#include "lists/list_file.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "support/temp_folder.h"

TEST(ListFileTest, LineFieldSplitsOnRunsOfSpacesOnly) {
  const std::string line = "E Sys.u.gz System\\Sys.u 512 1234";
  EXPECT_EQ(LineField(line, 1), "E");
  EXPECT_EQ(LineField(line, 3), "System\\Sys.u");
  EXPECT_EQ(LineField(line, 5), "1234");
  EXPECT_EQ(LineField(line, 6), "");
  EXPECT_EQ(LineField(line, 0), "");
  EXPECT_EQ(LineField(line, -1), "");
  {
    SCOPED_TRACE("leading, repeated and trailing spaces change nothing");
    const std::string spaced = "   E  Sys.u.gz    System\\Sys.u 512   1234 ";
    for (int n = 0; n <= 6; ++n) EXPECT_EQ(LineField(spaced, n), LineField(line, n)) << "field " << n;
  }
  {
    SCOPED_TRACE("a tab is an ordinary character; empty and blank lines have no fields");
    EXPECT_EQ(LineField("a\tb c", 1), "a\tb");
    EXPECT_EQ(LineField("a\tb c", 2), "c");
    EXPECT_EQ(LineField("", 1), "");
    EXPECT_EQ(LineField("    ", 1), "");
    EXPECT_EQ(LineField("one two", 5), "");
  }
}

TEST(ListFileTest, NameParts) {
  EXPECT_EQ(NameStem("Sys.ini.gz"), "Sys");
  EXPECT_EQ(GetNameFirstList("Sys.ini.gz", 1), "Sys.ini");
  EXPECT_EQ(GetNameFirstList("Sys.ini.gz", 2), "gz");
  EXPECT_EQ(GetNameFirstList("Sys.ini.gz", 3), "");
  EXPECT_EQ(GetNameFirstList("Sys.ini.gz", 0), "");
  EXPECT_EQ(NameStem("NoDot"), "");
  EXPECT_EQ(GetNameFirstList("NoDot", 1), "");
  EXPECT_EQ(NameStem(".hidden"), "");
  EXPECT_EQ(GetNameFirstList("name.", 1), "name");
  EXPECT_EQ(GetNameFirstList("name.", 2), "");
}

TEST(ListFileTest, IsListedOnServerFoldsOnlyAsciiLetters) {
  const std::vector<std::string> listing = {"bulletin.htm", "update3.dat", "\xA4\x61.gz"};
  EXPECT_TRUE(IsListedOnServer(listing, "UPDATE3.DAT"));
  EXPECT_TRUE(IsListedOnServer(listing, "Bulletin.HTM"));
  EXPECT_FALSE(IsListedOnServer(listing, "update3.da"));
  EXPECT_FALSE(IsListedOnServer(listing, "update3.dat "));
  EXPECT_TRUE(IsListedOnServer(listing, "\xA4\x41.GZ")) << "a-z folds even after a high byte";
  EXPECT_FALSE(IsListedOnServer(listing, "\xA5\x61.gz"));
  EXPECT_FALSE(IsListedOnServer({}, "update3.dat"));
}

TEST(ListFileTest, MakeFolderPathCreatesMissingFoldersInsideTheGameOnly) {
  test_support::TempFolder game;
  const std::string& dir = game.path();
  game.Write("System/Core.u", "x");

  MakeFolderPath(dir, "SYSTEM\\Maps\\Town\\a.map");
  EXPECT_TRUE(platform::DirectoryExists(dir + "System/Maps/Town"));
  EXPECT_FALSE(platform::DirectoryExists(dir + "SYSTEM")) << "an existing folder is reused whatever its case";
  EXPECT_FALSE(platform::DirectoryExists(dir + "System/Maps/Town/a.map")) << "the file name is not a folder";

  MakeFolderPath(dir, "Top.txt");
  MakeFolderPath(dir, "system\\maps\\town\\b.map");  // all present: nothing to do, nothing reported
  EXPECT_TRUE(platform::DirectoryExists(dir + "System/Maps/Town"));

  MakeFolderPath(dir, "..\\Outside\\x.txt");
  MakeFolderPath(dir, "Safe\\..\\..\\Outside2\\x.txt");
  EXPECT_FALSE(platform::DirectoryExists(dir + "../Outside"));
  EXPECT_FALSE(platform::DirectoryExists(dir + "../Outside2"));
  EXPECT_FALSE(platform::DirectoryExists(dir + "Safe"));
}

TEST(ListFileTest, LoadAcceptsEveryLineBreakAndSaveWritesCrLf) {
  test_support::TempFolder folder;
  const struct {
    const char* bytes;
    LineList lines;
  } cases[] = {
      {"AVWSEN\r\na 1\r\nb 2\r\n", {"AVWSEN", "a 1", "b 2"}},
      {"AVWSEN\na 1\nb 2", {"AVWSEN", "a 1", "b 2"}},
      {"AVWSEN\ra 1\rb 2\r", {"AVWSEN", "a 1", "b 2"}},
      {"h\r\n\r\nx\n\ny\r\r", {"h", "", "x", "", "y", ""}},
      {"h\n\r", {"h", ""}},
      {"", {}},
      {"\r\n", {""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.bytes)));
    EXPECT_EQ(LoadListFile(folder.Write("list.dat", c.bytes)), c.lines);
  }

  const std::string path = folder.path() + "update2.dat";
  SaveListFile(path, {"AVWSEN", "System\\Sys.u 512", ""});
  EXPECT_EQ(folder.Read("update2.dat"), "AVWSEN\r\nSystem\\Sys.u 512\r\n\r\n");
  EXPECT_EQ(LoadListFile(path), (LineList{"AVWSEN", "System\\Sys.u 512", ""}));
  SaveListFile(path, {});
  EXPECT_EQ(folder.Read("update2.dat"), "");

  const std::string missing = folder.path() + "update3.dat";
  try {
    LoadListFile(missing);
    ADD_FAILURE() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
  }
}
