#include "server_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/errors.h"
#include "platform/process.h"

namespace mkupdate {
namespace {

namespace fs = std::filesystem;

TEST(ServerFolderLockTest, OnePublishAtATimeAndNoFileLeftInTheFolder) {
  const fs::path folder =
      fs::temp_directory_path() / ("mkupdate-lock-" + std::to_string(platform::CurrentProcessId()));
  fs::remove_all(folder);
  MakeServerFolder(folder.string());
  {
    std::optional<ServerFolderLock> first(std::in_place, folder.string());
    try {
      ServerFolderLock second(folder.string());
      ADD_FAILURE() << "locked twice";
    } catch (const Exception& error) {
      EXPECT_NE(std::string(error.what()).find("Another mkupdate is publishing to"), std::string::npos)
          << error.what();
    }
    EXPECT_TRUE(ListServerFolder(folder.string()).empty());
    first.reset();
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_NO_THROW(ServerFolderLock again(folder.string()));
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace mkupdate
