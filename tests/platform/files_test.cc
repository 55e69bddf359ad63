// The file operations every layer above relies on, in the form the
// Windows build runs too: only the interface's own calls, so that names
// outside ASCII go through the same conversion as the program's.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "platform/errors.h"
#include "platform/file_blocks.h"
#include "platform/file_identity.h"
#include "platform/file_probe.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/folder_lock.h"
#include "platform/game_path.h"
#include "support/temp_folder.h"

namespace {

std::string ReadAll(platform::InputFile& file, size_t size) {
  std::string bytes(size, '\0');
  bytes.resize(file.Read(bytes.data(), size));
  return bytes;
}

}  // namespace

TEST(FileSystemTest, ExistenceAndSize) {
  test_support::TempFolder folder;
  const std::string file = folder.Write("a.bin", std::string(1234, 'x'));
  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_FALSE(platform::FileExists(folder.path()));
  EXPECT_TRUE(platform::DirectoryExists(folder.path()));
  EXPECT_FALSE(platform::FileExists(folder.path() + "missing"));
  EXPECT_EQ(platform::FileSize(file), 1234);
  EXPECT_EQ(platform::FileSize(folder.path() + "missing"), -1);
  EXPECT_EQ(platform::FileSize(folder.Write("empty", "")), 0);

  EXPECT_TRUE(platform::CreateDirectory(folder.path() + "sub"));
  EXPECT_FALSE(platform::CreateDirectory(folder.path() + "sub")) << "an existing folder is a failure";
  EXPECT_TRUE(platform::DeleteFile(file));
  EXPECT_FALSE(platform::DeleteFile(file));
}


TEST(FileSystemTest, ReadWholeFileGivesEveryByteOrTheOpenError) {
  test_support::TempFolder folder;
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  EXPECT_EQ(platform::ReadWholeFile(folder.Write("big", bytes)), bytes);
  const std::string missing = folder.path() + "missing";
  try {
    platform::ReadWholeFile(missing);
    ADD_FAILURE() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
  }
}


TEST(FileSystemTest, RemovingAppendingAndFlushing) {
  test_support::TempFolder folder;
  const std::string file = folder.path() + "journal";
  platform::AppendToFile(file, "one");
  platform::AppendToFile(file, "two");
  EXPECT_EQ(folder.Read("journal"), "onetwo");
  EXPECT_THROW(platform::AppendToFile(folder.path() + "no/such/file", "x"), EFOpenError);

  platform::FlushFiles({file, folder.Write("sub/other", "o"), folder.path() + "sub", folder.path()});
  const std::string missing = folder.path() + "missing";
  try {
    platform::FlushFiles({file, missing});
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()), "I/O error " + std::to_string(ENOENT) + " flushing " + missing +
                                         ": " + platform::ErrorText(ENOENT));
  }

  EXPECT_EQ(platform::RemoveFileIfPresent(file), 0);
  EXPECT_EQ(platform::RemoveFileIfPresent(file), 0) << "a file that is already gone is no failure";
  EXPECT_EQ(platform::RemoveFileIfPresent(folder.path() + "sub"), EISDIR) << "a folder is never removed";
}

// A link standing where the updater writes a file of its own is never
// followed, whether it names a file or nothing yet.

TEST(FileSystemTest, NamesOutsideAsciiReachTheSameFileThroughEveryCall) {
  test_support::TempFolder root;
  const std::string folder = root.path() + "Jos\xC3\xA9/";              // José
  const std::string game = folder + "\xE9\x81\x8A\xE6\x88\xB2/";        // 遊戲
  ASSERT_TRUE(platform::CreateDirectory(folder.substr(0, folder.size() - 1)));
  ASSERT_TRUE(platform::CreateDirectory(game.substr(0, game.size() - 1)));
  const std::string file = game + "data.bin";
  platform::WriteFileAtomically(file, "first");
  platform::AppendToFile(file, " second");
  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_EQ(platform::FileSize(file), 12);
  EXPECT_EQ(platform::ReadWholeFile(file), "first second");

  const std::string resolved = platform::ResolveGameFileName(root.path(), "JOS\xC3\xA9\\\xE9\x81\x8A\xE6\x88\xB2\\Data.BIN");
  EXPECT_EQ(platform::ReadWholeFile(resolved), "first second") << resolved;
  EXPECT_TRUE(platform::FoldersStayInside(root.path(), resolved));

  std::string blocks;
  EXPECT_EQ(platform::ReadFileInBlocks(file, 5, [&](std::string_view block, std::shared_ptr<const void>) {
              blocks += std::string(block) + "|";
            }),
            12);
  EXPECT_EQ(blocks, "first| seco|nd|");

  const platform::FileProbe probe = platform::ProbeFileForWriting(file);
  EXPECT_EQ(probe.state, platform::FileProbe::State::kFree);
  EXPECT_EQ(probe.size, 12);
  EXPECT_DOUBLE_EQ(probe.last_write_days, platform::LastWriteDays(file));
  EXPECT_EQ(platform::ProbeFileForWriting(game + "missing").state, platform::FileProbe::State::kMissing);
  EXPECT_EQ(platform::ProbeFileForWriting(folder).state, platform::FileProbe::State::kMissing)
      << "a folder is not a file";
}

TEST(FileSystemTest, ReplacingKeepsTheNewFileAndLeavesNoTemporaries) {
  test_support::TempFolder folder;
  const std::string file = folder.path() + "update2.dat";
  platform::WriteFileAtomically(file, "old");
  platform::WriteFileAtomically(file, "new");
  EXPECT_EQ(platform::ReadWholeFile(file), "new");

  const std::string partial = platform::PartialFileOf(file);
  platform::OutputFile writer(partial);
  ASSERT_TRUE(writer.IsOpen());
  ASSERT_EQ(writer.Write("newest"), 0);
  const std::optional<platform::FileIdentity> written = writer.Identity();
  ASSERT_EQ(writer.Close(), 0);
  ASSERT_EQ(platform::ReplaceFile(partial, file), 0);
  EXPECT_EQ(platform::ReadWholeFile(file), "newest");
  EXPECT_FALSE(platform::FileExists(partial));
  EXPECT_EQ(platform::IdentityOfFile(file), written) << "the rename keeps the file that was written";

  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path())) ++entries;
  EXPECT_EQ(entries, 1u);
  EXPECT_NE(platform::ReplaceFile(folder.path() + "missing", file), 0);
  EXPECT_EQ(platform::ReadWholeFile(file), "newest") << "a failed replace leaves the file";
}

TEST(FileStreamTest, ContinuingDropsWhatFollowsAndReadingAtAnOffsetKeepsThePosition) {
  test_support::TempFolder folder;
  const std::string file = folder.path() + "part";
  {
    platform::OutputFile out(file);
    ASSERT_TRUE(out.IsOpen());
    ASSERT_EQ(out.Write("0123456789"), 0);
    ASSERT_EQ(out.Close(), 0);
  }
  {
    platform::OutputFile out(file, platform::OutputFile::ContinueAfter{4});
    ASSERT_TRUE(out.IsOpen());
    ASSERT_EQ(out.Write("XY"), 0);
  }
  {
    platform::OutputFile out(file, 0666, /*append=*/true);
    ASSERT_EQ(out.Write("!"), 0);
  }
  platform::InputFile in(file);
  ASSERT_TRUE(in.IsOpen());
  EXPECT_EQ(ReadAll(in, 2), "01");
  char two[2];
  ASSERT_EQ(in.ReadAt(4, two, 2), 2u);
  EXPECT_EQ(std::string(two, 2), "XY");
  EXPECT_EQ(ReadAll(in, 100), "23XY!");
  EXPECT_FALSE(in.Failed());

  const platform::OutputFile missing(folder.path() + "none", platform::OutputFile::ContinueAfter{0});
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.OpenError(), ENOENT);
  EXPECT_FALSE(platform::InputFile(folder.path() + "none").IsOpen());
}

TEST(FolderLockTest, ASecondLockIsRefusedUntilTheFirstEnds) {
  test_support::TempFolder folder;
  const std::string path = folder.path() + "update.lck";
  std::optional<platform::FolderLock> first(std::in_place, path);
  ASSERT_TRUE(first->Held());
  {
    const platform::FolderLock second(path);
    EXPECT_FALSE(second.Held());
    EXPECT_GT(second.HolderPid(), 0) << "the holder's id stays readable beside the lock";
    EXPECT_EQ(second.Error(), 0);
  }
  first.reset();
  EXPECT_TRUE(platform::FolderLock(path).Held());
  EXPECT_NE(platform::FolderLock(folder.path() + "no/such/update.lck").Error(), 0);
}

// Two names of a list in Big5 ("中" and "文") are two files; where files
// are named in Unicode, each under its own character.
TEST(GameNameTest, Big5NamesOfAListStayDistinctFiles) {
  test_support::TempFolder root;
  const std::string middle = platform::ResolveGameFileName(root.path(), "Maps\\\xA4\xA4.unr");
  const std::string text = platform::ResolveGameFileName(root.path(), "Maps\\\xA4\xE5.unr");
  ASSERT_NE(middle, text);
  ASSERT_TRUE(platform::CreateDirectory(root.path() + "Maps"));
  platform::WriteFileAtomically(middle, "middle");
  platform::WriteFileAtomically(text, "text");
  EXPECT_EQ(platform::ReadWholeFile(middle), "middle");
  EXPECT_EQ(platform::ReadWholeFile(text), "text");
#ifdef _WIN32
  EXPECT_EQ(middle, root.path() + "Maps/\xE4\xB8\xAD.unr");
#else
  EXPECT_EQ(middle, root.path() + "Maps/\xA4\xA4.unr");
#endif
}

// A server's name that Windows would open as a device, a data stream or a
// stripped name is refused there; elsewhere such names are plain files.
TEST(GameNameTest, NamesWindowsTakesForSomethingElseAreRefusedOnWindowsOnly) {
#ifdef _WIN32
  constexpr bool kRefused = true;
#else
  constexpr bool kRefused = false;
#endif
  for (const char* component : {"CON", "nul.txt", "aux", "Com1.ini", "lpt9", "CONOUT$", "Core.u:hidden",
                                "System.", "Readme.txt ", "NUL .txt"}) {
    SCOPED_TRACE(component);
    EXPECT_TRUE(platform::IsWindowsReservedComponent(component));
    EXPECT_EQ(platform::IsSafeRelativeName(std::string("Maps\\") + component), !kRefused);
    EXPECT_EQ(platform::IsSafeRelativeName(std::string(component) + "\\Core.u"), !kRefused);
  }
  for (const char* component : {"CONSOLE.txt", "Com0", "COM10", "lpt", "nul_.txt", "Auxiliary.unr", ".", "a.b"}) {
    SCOPED_TRACE(component);
    EXPECT_FALSE(platform::IsWindowsReservedComponent(component));
    EXPECT_TRUE(platform::IsSafeRelativeName(std::string("Maps\\") + component));
  }
}
