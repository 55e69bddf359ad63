#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

using platform::ReadProfileString;

TEST(IniFileTest, LenientProfileRules) {
  test_support::TempFolder folder;
  const std::string ini = folder.Write(
      "FtpConfig.ini",
      "\xEF\xBB\xBF; game settings\r\n"
      "[HomePage]\r\n"
      "  Home =  http://example.test/  \r\n"
      "ACCOUNT=\"http://example.test/account\"\r\n"
      "home=second wins nothing\r\n"
      "   ; Account=commented out\r\n"
      "no equals sign here\r\n"
      "[ EXECUTE ]\n"
      "EXEFILE=Quelmar.exe kvx\n"
      "EMPTY=\n"
      "[execute]\r"
      "EXEFILE=later section ignored\r"
      "OTHER=in a later section of the same name\r"
      "[Tabs]\n"
      "\tkey\t=\tvalue\t\n");

  EXPECT_EQ(ReadProfileString(ini, "HOMEPAGE", "HOME", "d"), "http://example.test/");
  EXPECT_EQ(ReadProfileString(ini, "homepage", "account", "d"), "http://example.test/account");
  EXPECT_EQ(ReadProfileString(ini, "EXECUTE", "EXEFILE", "d"), "Quelmar.exe kvx");
  EXPECT_EQ(ReadProfileString(ini, "EXECUTE", "EMPTY", "d"), "");
  EXPECT_EQ(ReadProfileString(ini, "EXECUTE", "OTHER", "d"), "d");
  EXPECT_EQ(ReadProfileString(ini, "Tabs", "KEY", "d"), "value");
  {
    SCOPED_TRACE("missing key, section or file give the default");
    EXPECT_EQ(ReadProfileString(ini, "HOMEPAGE", "MISSING", "d"), "d");
    EXPECT_EQ(ReadProfileString(ini, "NOSECTION", "HOME", ""), "");
    EXPECT_EQ(ReadProfileString(folder.path() + "none.ini", "HOMEPAGE", "HOME", "x"), "x");
    EXPECT_EQ(ReadProfileString(ini, "HOMEPAGE", "no equals sign here", "d"), "d");
  }
  {
    SCOPED_TRACE("keys before the first section belong to no section");
    const std::string loose = folder.Write("loose.ini", "HOME=x\n[A]\nB='q'\n");
    EXPECT_EQ(ReadProfileString(loose, "", "HOME", "d"), "d");
    EXPECT_EQ(ReadProfileString(loose, "A", "B", "d"), "q");
  }
}
