// A writer killed between creating its temporary file and the rename leaves
// that file behind; the next write of the same file clears it away.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_system.h"
#include "support/temp_folder.h"

namespace reliability {
namespace {

TEST(AtomicWriteTest, NextWriteRemovesTemporariesOfKilledWriters) {
  test_support::TempFolder folder;
  folder.Write("update2.dat.tmp-AbC123", "half of an old record");
  folder.Write("isp1.dat.tmp-XyZ789", "another file's temporary");
  folder.Write("update2.dat.tmp-toolongname", "not a temporary of ours");
  platform::WriteFileAtomically(folder.path() + "update2.dat", "AVWSEN\r\n");
  EXPECT_EQ(folder.Read("update2.dat"), "AVWSEN\r\n");
  EXPECT_FALSE(std::filesystem::exists(folder.path() + "update2.dat.tmp-AbC123"));
  EXPECT_TRUE(std::filesystem::exists(folder.path() + "isp1.dat.tmp-XyZ789")) << "only its own are removed";
  EXPECT_TRUE(std::filesystem::exists(folder.path() + "update2.dat.tmp-toolongname"));
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path())) ++entries;
  EXPECT_EQ(entries, 3);
}

}  // namespace
}  // namespace reliability
