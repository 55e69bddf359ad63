#include "update/bundle.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/errors.h"
#include "support/bundle_builder.h"

namespace fs = std::filesystem;
using test_support::BuildBundle;
using test_support::BuildRawBundle;
using test_support::BundleRecord;

namespace {

class BundleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "bundle_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    game_ = root_ / "game";
    fs::create_directories(game_);
    exe_dir_ = game_.string() + "/";
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string WriteBundle(const std::string& bytes) {
    const fs::path path = game_ / "Pack.bnd";
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path root_, game_;
  std::string exe_dir_;
};

TEST_F(BundleTest, WritesEveryMemberUnderTheGameFolder) {
  fs::create_directories(game_ / "textures");
  const std::string big(300 * 1024, 'x');  // larger than the copy buffer
  const std::string path = WriteBundle(BuildBundle({{"Textures\\Trees\\Oak.pcx", "oak"},
                                                    {"Readme.txt", ""},
                                                    {"Maps\\Big.map", big}}));
  const BundleExtraction result = ExtractBundle(exe_dir_, path);
  EXPECT_TRUE(result.Succeeded());
  EXPECT_EQ(result.extracted, 3);
  // An existing folder is matched whatever its case; new folders keep theirs.
  EXPECT_EQ(Read(game_ / "textures/Trees/Oak.pcx"), "oak");
  EXPECT_TRUE(fs::exists(game_ / "Readme.txt"));
  EXPECT_EQ(fs::file_size(game_ / "Readme.txt"), 0u);
  EXPECT_EQ(Read(game_ / "Maps/Big.map"), big);
  EXPECT_TRUE(fs::exists(path)) << "the bundle is left for the caller to delete";
}

TEST_F(BundleTest, CountsOutsideOneToHundred) {
  {
    SCOPED_TRACE("a count of 0 or less extracts nothing and succeeds");
    for (int count : {0, -5}) {
      const std::string path =
          WriteBundle(BuildRawBundle("abc", count, {BundleRecord{0, 3, "A.txt"}}));
      const BundleExtraction result = ExtractBundle(exe_dir_, path);
      EXPECT_TRUE(result.Succeeded());
      EXPECT_EQ(result.extracted, 0);
      EXPECT_FALSE(fs::exists(game_ / "A.txt"));
    }
  }
  {
    SCOPED_TRACE("a count above 100 is a range error");
    const std::string path = WriteBundle(BuildRawBundle("abc", 101, {}));
    try {
      ExtractBundle(exe_dir_, path);
      ADD_FAILURE() << "no error raised";
    } catch (const ERangeError& e) {
      EXPECT_STREQ(e.what(), "Range check error");
    }
  }
  {
    SCOPED_TRACE("exactly 100 members");
    std::vector<test_support::BundleMember> members;
    for (int i = 0; i < 100; ++i) members.push_back({"M" + std::to_string(i), std::to_string(i)});
    const BundleExtraction result = ExtractBundle(exe_dir_, WriteBundle(BuildBundle(members)));
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.extracted, 100);
    EXPECT_EQ(Read(game_ / "M99"), "99");
  }
}

TEST_F(BundleTest, BundleThatCannotBeReadRaisesFileErrors) {
  const std::string missing = (game_ / "None.bnd").string();
  EXPECT_THROW(ExtractBundle(exe_dir_, missing), EFOpenError);
  const std::string short_file = WriteBundle(std::string(8988, '\0'));
  EXPECT_THROW(ExtractBundle(exe_dir_, short_file), EInOutError);
  // Exactly the trailer and nothing else is a valid, empty bundle.
  EXPECT_TRUE(ExtractBundle(exe_dir_, WriteBundle(std::string(8989, '\0'))).Succeeded());
}

TEST_F(BundleTest, HostileMembersAreSkippedAndTheRestExtracted) {
  const std::string data = "0123456789";
  const std::vector<BundleRecord> records = {
      {0, 2, "..\\Outside.txt"},          // climbs out
      {0, 2, "Sub\\..\\..\\Outside2.txt"},  // climbs out through a folder
      {0, 2, "\\Abs.txt"},                // absolute
      {0, 2, "/Abs2.txt"},                // absolute
      {0, 2, "C:Drive.txt"},              // drive prefix
      {0, 2, ""},                         // empty name
      {-1, 2, "Neg.txt"},                 // start before 0
      {5, 3, "Backwards.txt"},            // end before start
      {0, 11, "PastData.txt"},            // end inside the trailer
      {0, 0x7fffffff, "Huge.txt"},        // end far past the file
      {0, 2, std::string(81, 'n'), 81},   // name longer than its field
      {0, 2, "Good.txt.UPDTMP"},          // the partial file of Good.txt, ignoring case
      {0, 2, "a.GZP.dltmp.ahead3"},       // a download fetched ahead
      {2, 6, "Good.txt"},                 // the one sound member
  };
  const std::string path = WriteBundle(BuildRawBundle(data, records.size(), records));
  const BundleExtraction result = ExtractBundle(exe_dir_, path);
  EXPECT_FALSE(result.Succeeded());
  EXPECT_EQ(result.skipped.size(), records.size() - 1);
  EXPECT_EQ(result.extracted, 1);
  EXPECT_EQ(Read(game_ / "Good.txt"), "2345");
  for (const char* name : {"Outside.txt", "Outside2.txt", "Abs.txt", "Abs2.txt"})
    EXPECT_FALSE(fs::exists(root_ / name)) << name;
  for (const char* name : {"Neg.txt", "Backwards.txt", "PastData.txt", "Huge.txt", "C:Drive.txt", "Good.txt.UPDTMP",
                           "a.GZP.dltmp.ahead3"})
    EXPECT_FALSE(fs::exists(game_ / name)) << name;
  EXPECT_EQ(std::distance(fs::directory_iterator(game_), fs::directory_iterator()), 3)
      << "only the bundle, Good.txt and the journal of the temporary files";
  EXPECT_NE(result.skipped[0].find("..\\Outside.txt"), std::string::npos) << result.skipped[0];
}

TEST_F(BundleTest, MemberWhoseFileCannotBeWrittenFailsTheExtraction) {
  fs::create_directories(game_ / "Busy.txt");  // a folder where the file should go
  std::ofstream(game_ / "Blocked", std::ios::binary) << "a file";  // a file where a folder should go
  const std::string path = WriteBundle(
      BuildBundle({{"Busy.txt", "a"}, {"Blocked\\In.txt", "c"}, {"Fine.txt", "b"}}));
  const BundleExtraction result = ExtractBundle(exe_dir_, path);
  EXPECT_FALSE(result.Succeeded());
  EXPECT_EQ(result.extracted, 1);
  EXPECT_EQ(result.unwritable, 2);
  EXPECT_EQ(Read(game_ / "Fine.txt"), "b");
  ASSERT_EQ(result.skipped.size(), 2u);
  EXPECT_NE(result.skipped[0].find("cannot replace " + (game_ / "Busy.txt").string()), std::string::npos)
      << result.skipped[0];
  EXPECT_NE(result.skipped[1].find("Cannot create folder " + (game_ / "Blocked").string() +
                                   ": a file stands in its place"),
            std::string::npos)
      << result.skipped[1];
  EXPECT_FALSE(fs::exists(game_ / "Busy.txt.updtmp")) << "the partial file is removed";
}

TEST_F(BundleTest, MembersReplaceTheirFilesOnlyWhole) {
  std::ofstream(game_ / "Tool.sh", std::ios::binary) << "old tool";
  fs::permissions(game_ / "Tool.sh", fs::perms::owner_all | fs::perms::group_read);
  const std::string path = WriteBundle(BuildBundle({{"Tool.sh", "new tool"}, {"Sub\\Data.bin", "data"}}));
  const BundleExtraction result = ExtractBundle(exe_dir_, path);
  EXPECT_TRUE(result.Succeeded());
  EXPECT_EQ(Read(game_ / "Tool.sh"), "new tool");
  EXPECT_EQ(fs::status(game_ / "Tool.sh").permissions(), fs::perms::owner_all | fs::perms::group_read)
      << "a replaced member keeps the permission bits of the file it replaces";
  EXPECT_FALSE(fs::exists(game_ / "Tool.sh.updtmp"));
  EXPECT_FALSE(fs::exists(game_ / "Sub/Data.bin.updtmp"));
  // Each partial file was noted before it was created, so a run killed
  // half-way leaves nothing the next run cannot find.
  EXPECT_EQ(Read(game_ / "updtmp.dat"), std::string("Tool.sh.updtmp\0Sub/Data.bin.updtmp\0", 35));
}

// Data leads out of the game folder, Inner to another folder inside it;
// Linked.txt is a file link that leads out, and a link stands at the
// partial file of Partial.txt.
TEST_F(BundleTest, MembersAreNeverWrittenThroughALinkThatLeadsOut) {
  const fs::path outside = root_ / "outside";
  fs::create_directories(outside);
  fs::create_directories(game_ / "Real");
  fs::create_directory_symlink(outside, game_ / "Data");
  fs::create_directory_symlink(game_ / "Real", game_ / "Inner");
  std::ofstream(outside / "target.txt", std::ios::binary) << "target";
  std::ofstream(outside / "partial", std::ios::binary) << "partial";
  fs::create_symlink(outside / "target.txt", game_ / "Linked.txt");
  fs::create_symlink(outside / "partial", game_ / "Partial.txt.updtmp");
  const std::string path = WriteBundle(BuildBundle({{"Data\\x.txt", "x"},
                                                    {"data\\New\\y.txt", "y"},
                                                    {"Inner\\z.txt", "z"},
                                                    {"Linked.txt", "linked"},
                                                    {"Partial.txt", "p"}}));
  const BundleExtraction result = ExtractBundle(exe_dir_, path);
  EXPECT_EQ(result.extracted, 2);
  ASSERT_EQ(result.skipped.size(), 3u);
  for (int k : {0, 1}) {
    EXPECT_NE(result.skipped[k].find("leads out of the game folder through a link"), std::string::npos)
        << result.skipped[k];
  }
  EXPECT_NE(result.skipped[2].find("\"Partial.txt\""), std::string::npos) << result.skipped[2];
  EXPECT_EQ(result.unwritable, 1) << "only the member whose partial file could not be written";
  EXPECT_EQ(Read(game_ / "Real/z.txt"), "z");
  EXPECT_FALSE(fs::is_symlink(game_ / "Linked.txt")) << "the link is replaced, not written through";
  EXPECT_EQ(Read(game_ / "Linked.txt"), "linked");
  EXPECT_EQ(Read(outside / "target.txt"), "target");
  EXPECT_EQ(Read(outside / "partial"), "partial");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 2)
      << "nothing written or made outside";
}

}  // namespace
