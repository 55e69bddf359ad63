// The chunk indexes publish writes beside large E and O files: each range
// they name gives exactly its chunk, the gzip file stays whole, and the
// indexes follow their entries through later publishes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "delta/chunk_index.h"
#include "gzip_stream.h"
#include "lists/list_file.h"
#include "platform/file_system.h"
#include "publish_fixture.h"
#include "set_check.h"
#include "trust/sha256.h"

namespace mkupdate {
namespace {

namespace fs = std::filesystem;

// size bytes that gzip shrinks (words) or cannot (random).
std::string Words(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  static const char* const kWords[] = {"castle ", "sword ", "quest ", "forest ", "river ", "dragon ", "12 ", "7\n"};
  std::string text;
  while (text.size() < size) text += kWords[rng() % 8];
  text.resize(size);
  return text;
}
std::string Noise(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  return bytes;
}

// A raw inflate of one served range, which has no final block.
std::string InflateRange(std::string_view range) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, -15), Z_OK);
  std::string out(4 * 1024 * 1024, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(range.data()));
  stream.avail_in = static_cast<uInt>(range.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&stream, Z_SYNC_FLUSH);
  EXPECT_TRUE(status == Z_OK || status == Z_BUF_ERROR) << status;
  EXPECT_EQ(stream.avail_in, 0u) << "the whole range is used";
  out.resize(out.size() - stream.avail_out);
  inflateEnd(&stream);
  return out;
}

class ChunkIndexPublishTest : public PublishTest {
 protected:
  std::string ServerFile(const std::string& name) const { return platform::ReadWholeFile(server() + "/" + name); }

  // The index of the entry of `local`, checked against its line's field 10.
  delta::ChunkIndex IndexOf(const std::string& local) {
    const std::string line = Entry(local);
    const std::string bytes = ServerFile(delta::ChunkIndexName(LineField(line, 2)));
    trust::Sha256Stream digest;
    digest.Update(bytes);
    EXPECT_EQ(LineField(line, 10), digest.Final()) << line;
    const delta::ChunkIndexParse parse = delta::ParseChunkIndex(bytes);
    EXPECT_TRUE(parse.Valid()) << parse.reason;
    EXPECT_EQ(parse.index.served_size, std::stoull(LineField(line, 5)));
    EXPECT_EQ(parse.index.installed_size, std::stoull(LineField(line, 8)));
    return parse.index;
  }
};

TEST_F(ChunkIndexPublishTest, EachRangeGivesItsChunkAndTheGzipFileStaysWhole) {
  const std::string archive = Words(3 << 20, 1) + Noise(1 << 20, 2) + Words(1 << 20, 3);
  const std::string music = Noise(2 << 20, 4);
  Write("Data/Archive.pak", archive);
  Write("Music/Theme.ogg", music);
  Write("Help/Readme.txt", Words(100000, 5));
  PublishOptions options = Options(8);
  options.delta_min = 1 << 20;
  RunWith(options);
  EXPECT_TRUE(CheckServerFolder(server()).empty());
  EXPECT_EQ(LineField(Entry("Help\\Readme.txt"), 10), "") << "below --delta-min";
  EXPECT_FALSE(fs::exists(server() + "/Readme.txt.cdx"));

  const struct {
    const char* local;
    const std::string* content;
    delta::ServedForm form;
  } files[] = {{"Data\\Archive.pak", &archive, delta::ServedForm::kFlushedGzip},
               {"Music\\Theme.ogg", &music, delta::ServedForm::kPlain}};
  for (const auto& file : files) {
    SCOPED_TRACE(file.local);
    const delta::ChunkIndex index = IndexOf(file.local);
    EXPECT_EQ(index.form, file.form);
    ASSERT_GT(index.chunks.size(), 20u);
    const std::string served = ServerFile(LineField(Entry(file.local), 2));
    for (const delta::IndexedChunk& chunk : index.chunks) {
      const std::string_view range = std::string_view(served).substr(chunk.served_offset, chunk.served_length);
      const std::string bytes = file.form == delta::ServedForm::kPlain ? std::string(range) : InflateRange(range);
      ASSERT_EQ(bytes, file.content->substr(chunk.offset, chunk.length)) << "chunk at " << chunk.offset;
      trust::Sha256Stream digest;
      digest.Update(bytes);
      ASSERT_EQ(digest.FinalBytes().substr(0, delta::kChunkDigestSize),
                std::string(reinterpret_cast<const char*>(chunk.digest.data()), chunk.digest.size()));
    }
  }
  // The flushed stream is still one gzip member that unpacks to the file.
  PayloadReader reader(server() + "/Archive.GZP");
  std::string unpacked(archive.size() + 1, '\0');
  size_t got = 0;
  for (size_t n; (n = reader.Read(unpacked.data() + got, unpacked.size() - got)) > 0;) got += n;
  EXPECT_EQ(unpacked.substr(0, got), archive);
}

TEST_F(ChunkIndexPublishTest, IndexesFollowTheirEntriesThroughLaterPublishes) {
  Write("Data/Archive.pak", Words(2 << 20, 1));
  Write("Data/Maps.pak", Words(2 << 20, 2));
  Write("Data/Gone.pak", Words(2 << 20, 3));
  PublishOptions options = Options(8);
  options.delta_min = 1 << 20;
  RunWith(options);
  const std::string kept_index = LineField(Entry("Data\\Maps.pak"), 10);
  const std::string old_index = LineField(Entry("Data\\Archive.pak"), 10);
  ASSERT_FALSE(kept_index.empty());

  Write("Data/Archive.pak", Words(1 << 20, 1) + "an edit" + Words(1 << 20, 1).substr(1 << 19));
  fs::remove(game() + "/Data/Gone.pak");
  options.now = Utc(9);
  const std::string report = RunWith(options);
  EXPECT_EQ(LineField(Entry("Data\\Maps.pak"), 10), kept_index) << "unchanged: its index stays";
  EXPECT_NE(LineField(Entry("Data\\Archive.pak"), 10), old_index);
  IndexOf("Data\\Archive.pak");
  EXPECT_FALSE(fs::exists(server() + "/Gone.GZP.cdx")) << report;
  EXPECT_TRUE(CheckServerFolder(server()).empty());

  // An index file that no longer has its digest is not listed any more.
  std::ofstream(server() + "/Maps.GZP.cdx", std::ios::app) << "x";
  const std::vector<std::string> problems = CheckServerFolder(server());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("the SHA-256 of the chunk index Maps.GZP.cdx (field 10) differs"), std::string::npos)
      << problems[0];
  options.now = Utc(10);
  RunWith(options);
  EXPECT_EQ(LineField(Entry("Data\\Maps.pak"), 10), "");
  EXPECT_FALSE(fs::exists(server() + "/Maps.GZP.cdx"));

  // Without indexes: no field 10 and no index files, the entries unchanged otherwise.
  const std::string version = LineField(Entry("Data\\Archive.pak"), 4);
  options.delta_min = 0;
  options.now = Utc(11);
  RunWith(options);
  EXPECT_EQ(LineField(Entry("Data\\Archive.pak"), 10), "");
  EXPECT_EQ(LineField(Entry("Data\\Archive.pak"), 4), version);
  EXPECT_FALSE(fs::exists(server() + "/Archive.GZP.cdx"));
  EXPECT_TRUE(CheckServerFolder(server()).empty());
}

TEST_F(ChunkIndexPublishTest, DeltaMinZeroWritesNoIndexAtAll) {
  Write("Data/Archive.pak", Words(2 << 20, 1));
  Write("Music/Theme.ogg", Noise(1 << 20, 2));
  PublishOptions options = Options(8);
  options.delta_min = 0;
  RunWith(options);
  for (const std::string& line : List()) EXPECT_EQ(LineField(line, 10), "") << line;
  for (const fs::directory_entry& file : fs::directory_iterator(server()))
    EXPECT_NE(file.path().extension(), ".cdx") << file.path();
}

}  // namespace
}  // namespace mkupdate
