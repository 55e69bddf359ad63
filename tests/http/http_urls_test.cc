// Remote names reach the server as names, whatever bytes they hold, below
// the folder the server line names.
#include "http/http_urls.h"

#include <gtest/gtest.h>

TEST(HttpUrlsTest, TheFolderUrlNamesHostPortAndFolder) {
  EXPECT_EQ(ServerFolderUrl({"example.org", 0, 0, "", "", "https", "/game/patch/"}), "https://example.org/game/patch/");
  EXPECT_EQ(ServerFolderUrl({"::1", 8443, 0, "", "", "https", "/"}), "https://[::1]:8443/");
  EXPECT_EQ(ServerFolderUrl({"::1", 0, 0, "", "", "http", ""}), "http://[::1]/");
  EXPECT_EQ(ServerFolderUrl({"127.0.0.1", 8080, 0, "", "", "http", "/a/"}), "http://127.0.0.1:8080/a/");
}

TEST(HttpUrlsTest, EachPathPartIsEscapedOnItsOwn) {
  EXPECT_EQ(EscapeRemotePath("data/file.gz"), "data/file.gz");
  EXPECT_EQ(EscapeRemotePath("/a b/c#d%e?f"), "a%20b/c%23d%25e%3Ff");
  EXPECT_EQ(EscapeRemotePath("\xB7\x73.gz"), "%B7s.gz");
  EXPECT_EQ(EscapeRemotePath("~x_y-z.1"), "~x_y-z.1");
}
