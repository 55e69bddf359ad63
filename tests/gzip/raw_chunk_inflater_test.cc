#include "gzip/raw_chunk_inflater.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace {

// Raw deflate of `chunks`, fully flushed after each; the compressed range
// of each chunk, then what the final block adds.
struct FlushedStream {
  std::vector<std::string> chunks;  // compressed
  std::string end;
};

FlushedStream DeflateFlushed(const std::vector<std::string>& chunks) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  FlushedStream out;
  auto run = [&](const std::string& in, int flush) {
    std::string compressed(deflateBound(&stream, in.size()) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = reinterpret_cast<Bytef*>(compressed.data());
    stream.avail_out = static_cast<uInt>(compressed.size());
    deflate(&stream, flush);
    compressed.resize(compressed.size() - stream.avail_out);
    return compressed;
  };
  for (const std::string& chunk : chunks) out.chunks.push_back(run(chunk, Z_FULL_FLUSH));
  out.end = run("", Z_FINISH);
  deflateEnd(&stream);
  return out;
}

TEST(RawChunkInflater, EachFlushedChunkInflatesAloneAndNothingElseDoes) {
  const std::string first(70000, 'a');  // the second chunk repeats it: no history may be needed
  const std::string second = first + "tail";
  const FlushedStream stream = DeflateFlushed({first, second});
  RawChunkInflater inflater;
  std::string out;

  ASSERT_TRUE(inflater.Inflate(stream.chunks[1], second.size(), out));
  EXPECT_EQ(out, second);
  ASSERT_TRUE(inflater.Inflate(stream.chunks[0], first.size(), out)) << "each chunk starts afresh";
  EXPECT_EQ(out, first);

  EXPECT_FALSE(inflater.Inflate(stream.chunks[0], first.size() - 1, out)) << "more than the length";
  EXPECT_FALSE(inflater.Inflate(stream.chunks[0], first.size() + 1, out)) << "less than the length";
  const std::string& whole = stream.chunks[0];
  // (Past its data a chunk ends in the flush's empty block, which a cut
  // can shorten unseen: the index's digest of the chunk is what judges it.)
  EXPECT_FALSE(inflater.Inflate(whole.substr(0, whole.size() - 6), first.size(), out)) << "cut into its data";
  EXPECT_FALSE(inflater.Inflate(whole + stream.end, first.size(), out)) << "the stream's end is not a chunk's";
  EXPECT_FALSE(inflater.Inflate(std::string(40, '\xff'), 10, out)) << "not deflate";
}

}  // namespace
