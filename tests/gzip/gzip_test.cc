#include "gzip/gzip.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "support/file_size_limit.h"
#include "support/temp_folder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// One gzip member of `data`; `stored_name` goes into the header when given.
std::string GzipMember(const std::string& data, const std::string& stored_name = "") {
  z_stream stream{};
  if (deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  gz_header header{};
  std::string name = stored_name;
  if (!name.empty()) {
    header.name = reinterpret_cast<Bytef*>(name.data());
    deflateSetHeader(&stream, &header);
  }
  std::string out(deflateBound(&stream, data.size()) + 64 + name.size(), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = data.size();
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = out.size();
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return result == Z_STREAM_END ? out : std::string();
}

// Text that compresses like real game data: words with some noise.
std::string SampleData(std::size_t size, unsigned seed = 7) {
  std::mt19937 random(seed);
  std::string data;
  data.reserve(size);
  static const char* const kWords[] = {"texture ", "mesh ", "sound ", "0x3F ", "Quelmar ", "\n"};
  while (data.size() < size) {
    if (random() % 4 == 0) {
      data += static_cast<char>(random() & 0xFF);
    } else {
      data += kWords[random() % 6];
    }
  }
  data.resize(size);
  return data;
}

struct Box {
  std::string text;
  std::string caption;
};

class TGzipTest : public ::testing::Test {
 protected:
  TGzipTest() {
    gzip_.DeleteSource = true;
    gzip_.WindowOnError = true;
    gzip_.OnErrorBox = [this](const std::string& text, const std::string& caption) {
      boxes_.push_back({text, caption});
    };
  }

  // Unpacks `source_bytes` (written to "download.gz") into "out/file.bin".
  int UnpackBytes(const std::string& source_bytes, const TGzip::Expectation& expected = {}) {
    gzip_.FileSource = folder_.Write("download.gz", source_bytes);
    gzip_.FileDestination = folder_.path() + "out/file.bin";
    fs::create_directories(folder_.path() + "out");
    return gzip_.Unpack(expected);
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const Box& box : boxes_) {
      EXPECT_EQ(box.caption, "Error");
      texts.push_back(box.text);
    }
    return texts;
  }

  bool SourceExists() const { return fs::exists(folder_.path() + "download.gz"); }
  std::string Output() const { return folder_.Read("out/file.bin"); }
  // The partial file the unpacker writes before it replaces the destination.
  bool PartialLeft() const { return fs::exists(folder_.path() + "out/file.bin.updtmp"); }

  test_support::TempFolder folder_;
  TGzip gzip_;
  std::vector<Box> boxes_;
};

using Texts = std::vector<std::string>;

TEST_F(TGzipTest, UnpacksAndDeletesTheSource) {
  const std::string data = SampleData(5 * TGzip::kBlockSize + 123);
  EXPECT_EQ(UnpackBytes(GzipMember(data)), 0);
  EXPECT_EQ(Output(), data);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_FALSE(SourceExists());
  EXPECT_FALSE(PartialLeft());

  SCOPED_TRACE("without DeleteSource the source stays, and a present destination is emptied");
  gzip_.DeleteSource = false;
  EXPECT_EQ(UnpackBytes(GzipMember("short")), 0);
  EXPECT_EQ(Output(), "short");
  EXPECT_TRUE(SourceExists());
}

TEST_F(TGzipTest, PassesThroughWhatIsNotGzip) {
  for (const std::string& plain :
       {std::string(), std::string("plain text file\r\n"), std::string("\x1F"),
        std::string("\x1F\x8C rest"), SampleData(3 * TGzip::kBlockSize)}) {
    SCOPED_TRACE(plain.size());
    boxes_.clear();
    EXPECT_EQ(UnpackBytes(plain), 0);
    EXPECT_EQ(Output(), plain);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_FALSE(SourceExists());
  }
}

TEST_F(TGzipTest, JoinsSeveralMembers) {
  const std::string first = SampleData(40000, 1);
  const std::string second = SampleData(30000, 2);
  EXPECT_EQ(UnpackBytes(GzipMember(first) + GzipMember(second) + GzipMember("")), 0);
  EXPECT_EQ(Output(), first + second);
  EXPECT_TRUE(boxes_.empty());

  SCOPED_TRACE("bytes after the last member that start no member are ignored");
  EXPECT_EQ(UnpackBytes(GzipMember(first) + "\0\0padding"), 0);
  EXPECT_EQ(Output(), first);
  EXPECT_EQ(UnpackBytes(GzipMember(first) + "\x1F"), 0);
  EXPECT_EQ(Output(), first);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(TGzipTest, DamagedStreamsLeaveTheDestinationAsItWasAndStillDeleteTheSource) {
  const std::string data = SampleData(200000);
  const std::string good = GzipMember(data);
  std::string bad_crc = good;
  bad_crc[bad_crc.size() - 8] ^= 0x55;
  std::string bad_length = good;
  bad_length[bad_length.size() - 1] ^= 0x01;
  std::string bad_method = good;
  bad_method[2] = 7;
  std::string reserved_flag = good;
  reserved_flag[3] = 0x20;
  std::string bad_second_member = good + GzipMember("tail");
  bad_second_member[bad_second_member.size() - 5] ^= 0x10;
  const std::pair<const char*, std::string> cases[] = {
      {"cut short", good.substr(0, good.size() / 2)},
      {"cut before the trailer", good.substr(0, good.size() - 4)},
      {"CRC-32 mismatch", bad_crc},
      {"length mismatch", bad_length},
      {"method other than deflate", bad_method},
      {"reserved flag bit", reserved_flag},
      {"second member damaged", bad_second_member},
  };
  for (const auto& [name, bytes] : cases) {
    for (const bool installed_before : {false, true}) {
      SCOPED_TRACE(std::string(name) + (installed_before ? ", over an installed file" : ", new file"));
      boxes_.clear();
      fs::remove(folder_.path() + "out/file.bin");
      if (installed_before) folder_.Write("out/file.bin", "installed before");
      EXPECT_EQ(UnpackBytes(bytes), TGzip::kDamaged);
      EXPECT_EQ(BoxTexts(), Texts{"gzclose Error."});
      EXPECT_FALSE(SourceExists());
      EXPECT_FALSE(PartialLeft());
      EXPECT_EQ(Output(), installed_before ? "installed before" : "<missing>");
    }
  }
}

TEST_F(TGzipTest, MissingSourceCreatesAndDeletesNothing) {
  const std::string destination = folder_.Write("keep.bin", "old content");
  gzip_.FileSource = folder_.path() + "absent.gz";
  gzip_.FileDestination = destination;
  EXPECT_EQ(gzip_.Unpack(), 1);
  EXPECT_EQ(BoxTexts(), Texts{"Can't open: " + folder_.path() + "absent.gz"});
  EXPECT_EQ(folder_.Read("keep.bin"), "old content");

  SCOPED_TRACE("a destination that is missing stays missing");
  gzip_.FileDestination = folder_.path() + "new.bin";
  EXPECT_EQ(gzip_.Unpack(), 1);
  EXPECT_FALSE(fs::exists(folder_.path() + "new.bin"));

  SCOPED_TRACE("a folder is no source, and is not deleted");
  fs::create_directories(folder_.path() + "folder.gz");
  gzip_.FileSource = folder_.path() + "folder.gz";
  EXPECT_EQ(gzip_.Unpack(), 1);
  EXPECT_TRUE(fs::is_directory(folder_.path() + "folder.gz"));
  EXPECT_FALSE(fs::exists(folder_.path() + "new.bin"));
}

// True when this process holds an open descriptor on `path`.
bool HeldOpen(const std::string& path) {
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (fs::read_symlink(entry.path(), error) == fs::path(path)) return true;
  }
  return false;
}

TEST_F(TGzipTest, DestinationThatCannotBeReplacedKeepsTheSourceClosed) {
  const std::string source = folder_.Write("download.gz", GzipMember("data"));
  fs::create_directories(folder_.path() + "a_folder");
  for (const std::string& destination :
       {folder_.path() + "a_folder", folder_.path() + "no_such_folder/file.bin"}) {
    SCOPED_TRACE(destination);
    boxes_.clear();
    gzip_.FileSource = source;
    gzip_.FileDestination = destination;
    EXPECT_EQ(gzip_.Unpack(), TGzip::kNotReplaced);
    EXPECT_EQ(BoxTexts(), Texts{"Can't create: " + destination});
    EXPECT_EQ(folder_.Read("download.gz"), GzipMember("data"));
    EXPECT_FALSE(HeldOpen(source));
    EXPECT_FALSE(fs::exists(destination + ".updtmp"));
  }
  EXPECT_TRUE(fs::is_directory(folder_.path() + "a_folder"));
}

// Replacing a running program is no conflict on Linux: the new file takes
// its name, and the program runs on from the file it was started from.
TEST_F(TGzipTest, RunningProgramIsReplacedWhileItRuns) {
  const std::string program = folder_.path() + "game";
  fs::copy_file("/bin/sleep", program);
  pid_t pid = 0;
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("30"), nullptr};
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
  gzip_.FileSource = folder_.Write("download.gz", GzipMember("new game"));
  gzip_.FileDestination = program;
  const int status = gzip_.Unpack();
  const bool still_running = kill(pid, 0) == 0;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  EXPECT_EQ(status, TGzip::kUnpacked);
  EXPECT_TRUE(still_running);
  EXPECT_EQ(folder_.Read("game"), "new game");
  struct stat info;
  ASSERT_EQ(stat(program.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0111, 0111u) << "the replaced file keeps its permission bits";
  EXPECT_TRUE(boxes_.empty());
  EXPECT_FALSE(SourceExists());
}

TEST_F(TGzipTest, StoredNameInTheHeaderIsIgnored) {
  EXPECT_EQ(UnpackBytes(GzipMember("payload", "elsewhere.txt")), 0);
  EXPECT_EQ(Output(), "payload");
  EXPECT_FALSE(fs::exists(folder_.path() + "elsewhere.txt"));
  EXPECT_FALSE(fs::exists(folder_.path() + "out/elsewhere.txt"));
  EXPECT_FALSE(fs::exists(folder_.path() + "download"));
}

TEST_F(TGzipTest, SourceAndDestinationMayBeTheSameFile) {
  const std::string data = SampleData(100000);
  const std::string path = folder_.Write("Core.u", GzipMember(data));
  gzip_.FileSource = path;
  gzip_.FileDestination = folder_.path() + "./Core.u";
  EXPECT_EQ(gzip_.Unpack(), 0);
  EXPECT_TRUE(folder_.Read("Core.u") == data);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_FALSE(fs::exists(folder_.path() + "Core.u.updtmp"));

  SCOPED_TRACE("damaged data leaves the gzip file whole");
  const std::string damaged = GzipMember(data).substr(0, 5000);
  folder_.Write("Core.u", damaged);
  EXPECT_EQ(gzip_.Unpack(), TGzip::kDamaged);
  EXPECT_TRUE(folder_.Read("Core.u") == damaged);
  EXPECT_FALSE(fs::exists(folder_.path() + "Core.u.updtmp"));
}

using test_support::ScopedFileSizeLimit;

TEST_F(TGzipTest, FailedWriteStopsAndLeavesTheDestinationAsItWas) {
  gzip_.FileSource = folder_.Write("download.gz", GzipMember(SampleData(100000)));
  gzip_.FileDestination = folder_.Write("out/file.bin", "installed before");
  int status = -1;
  {
    ScopedFileSizeLimit limit(40000);  // the disk is full after 40 KB
    status = gzip_.Unpack();
  }
  EXPECT_EQ(status, TGzip::kNotReplaced) << "a cut-off destination must not pass for an unpacked one";
  EXPECT_EQ(BoxTexts(), Texts{"gzclose Error."});
  EXPECT_FALSE(SourceExists());
  EXPECT_EQ(Output(), "installed before");
  EXPECT_FALSE(PartialLeft());
}

TEST_F(TGzipTest, FailedCloseReportsWithTheDestinationAsItWas) {
  folder_.Write("out/file.bin", "installed before");
  std::string destination_at_close;
  gzip_.CloseDestination = [&](platform::OutputFile& file) {
    destination_at_close = Output();
    (void)file.Close();
    return EIO;
  };
  {
    SCOPED_TRACE("the owner hears of it after the box");
    std::vector<std::string> boxes_at_report;
    gzip_.OnCloseFailed = [&] { boxes_at_report = BoxTexts(); };
    EXPECT_EQ(UnpackBytes(GzipMember("data")), TGzip::kNotReplaced) << "a report that returns: as a failed write";
    EXPECT_EQ(destination_at_close, "installed before");
    EXPECT_EQ(boxes_at_report, Texts{"Can't close file " + folder_.path() + "out/file.bin"});
    EXPECT_EQ(BoxTexts(), boxes_at_report);
    EXPECT_EQ(Output(), "installed before");
    EXPECT_FALSE(PartialLeft());
  }
  {
    SCOPED_TRACE("without a listener the unpacker reports and returns: it never ends the process");
    boxes_.clear();
    gzip_.OnCloseFailed = nullptr;
    EXPECT_EQ(UnpackBytes(GzipMember("data")), TGzip::kNotReplaced);
    EXPECT_EQ(BoxTexts(), Texts{"Can't close file " + folder_.path() + "out/file.bin"});
    EXPECT_EQ(Output(), "installed before");
  }
}

// A bomb, a small disk or data the caller refuses: nothing past the bound
// is written, the destination stays as it was, the source goes, and the
// caller (not a box) names it.
TEST_F(TGzipTest, BoundsAndRefusalsLeaveTheDestinationAsItWas) {
  const std::string data = SampleData(3 * TGzip::kBlockSize + 10);
  const int64_t size = static_cast<int64_t>(data.size());
  const std::string packed = GzipMember(data);
  int64_t free_space = -1;
  gzip_.MeasureFreeSpace = [&](const std::string& path) {
    EXPECT_EQ(path, folder_.path() + "out/file.bin.updtmp") << "measured where the data goes";
    return free_space;
  };
  std::string written;  // what on_bytes saw, as the destination's partial file held it
  TGzip::Expectation expected;
  expected.on_bytes = [&](std::string_view bytes) {
    written += bytes;
    EXPECT_EQ(folder_.Read("out/file.bin.updtmp").size(), written.size()) << "handed on once written";
  };
  bool accept = true;
  expected.accept = [&] {
    EXPECT_EQ(folder_.Read("out/file.bin"), "installed before") << "asked before the replace";
    return accept;
  };
  struct Case {
    const char* name;
    int64_t listed, free;
    bool accept;
    int status;
  };
  const Case cases[] = {
      {"exactly the listed size, room unknown", size, -1, true, TGzip::kUnpacked},
      {"one byte past the listed size", size - 1, -1, true, TGzip::kPastListedSize},
      {"listed size zero", 0, -1, true, TGzip::kPastListedSize},
      {"exactly the room above the kept margin", -1, TGzip::kKeptFree + size, true, TGzip::kUnpacked},
      {"one byte past the room", -1, TGzip::kKeptFree + size - 1, true, TGzip::kNoRoom},
      {"less free than the margin", -1, TGzip::kKeptFree / 2, true, TGzip::kNoRoom},
      {"within both bounds, refused", size, TGzip::kKeptFree + size, false, TGzip::kRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes_.clear();
    written.clear();
    folder_.Write("out/file.bin", "installed before");
    expected.size = c.listed;
    free_space = c.free;
    accept = c.accept;
    EXPECT_EQ(UnpackBytes(packed, expected), c.status);
    const bool replaced = c.status == TGzip::kUnpacked;
    EXPECT_EQ(Output(), replaced ? data : "installed before");
    if (c.status == TGzip::kPastListedSize || c.status == TGzip::kNoRoom)
      EXPECT_LE(static_cast<int64_t>(written.size()),
                c.listed >= 0 ? c.listed : std::max<int64_t>(c.free - TGzip::kKeptFree, 0));
    else
      EXPECT_EQ(written, data);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_FALSE(SourceExists());
    EXPECT_FALSE(PartialLeft());
  }

  SCOPED_TRACE("the plain Unpack keeps the room bound");
  free_space = TGzip::kKeptFree;
  folder_.Write("out/file.bin", "installed before");
  gzip_.FileSource = folder_.Write("download.gz", packed);
  EXPECT_EQ(gzip_.Unpack(), TGzip::kNoRoom);
  EXPECT_EQ(Output(), "installed before");
}

TEST_F(TGzipTest, NoBoxesWithoutWindowOnError) {
  gzip_.WindowOnError = false;
  gzip_.FileSource = folder_.path() + "absent.gz";
  EXPECT_EQ(gzip_.Unpack(), 1);
  const std::string good = GzipMember(SampleData(5000));
  EXPECT_EQ(UnpackBytes(good.substr(0, good.size() - 3)), TGzip::kDamaged);
  EXPECT_FALSE(SourceExists());
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(TGzipTest, ProgressOnlyWithAStep) {
  std::vector<int> reported;
  gzip_.OnProgress = [&](int percent) { reported.push_back(percent); };
  const std::string data = GzipMember(SampleData(2000000));
  EXPECT_EQ(UnpackBytes(data), 0);
  EXPECT_TRUE(reported.empty());

  gzip_.ProgressStep = 25;
  EXPECT_EQ(UnpackBytes(data), 0);
  EXPECT_EQ(reported, (std::vector<int>{0, 25, 50, 75, 100}));
}

}  // namespace
