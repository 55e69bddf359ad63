#include "delta/chunk_index.h"

#include <gtest/gtest.h>

#include "chunk_sample.h"

namespace delta {
namespace {

// An index as the publisher writes it for data: plain, or with made-up
// served lengths of a flushed gzip file.
ChunkIndex IndexOf(std::string_view data, ServedForm form) {
  ChunkIndex index;
  index.form = form;
  index.installed_size = data.size();
  index.chunks = ChunksOf(data);
  uint64_t served = form == ServedForm::kPlain ? 0 : kGzipHeaderSize;
  for (IndexedChunk& chunk : index.chunks) {
    chunk.served_length = form == ServedForm::kPlain ? chunk.length : chunk.length / 3 + 5;
    chunk.served_offset = served;
    served += chunk.served_length;
  }
  index.served_size = form == ServedForm::kPlain ? served : served + 13;
  return index;
}

void PutVarint(std::string& out, uint64_t value) {
  for (; value >= 0x80; value >>= 7) out += static_cast<char>(0x80 | (value & 0x7F));
  out += static_cast<char>(value);
}

// The bytes of a header with these fields, before the chunks.
std::string Header(std::initializer_list<uint64_t> fields) {
  std::string out = "CDX1";
  for (uint64_t field : fields) PutVarint(out, field);
  return out;
}

std::string ReasonFor(std::string_view bytes) {
  const ChunkIndexParse parse = ParseChunkIndex(bytes);
  return parse.Valid() ? "accepted" : parse.reason;
}

TEST(ChunkIndex, RoundTripsWithItsOffsets) {
  const std::string data = SampleBytes(5 << 20, 7);
  for (ServedForm form : {ServedForm::kPlain, ServedForm::kFlushedGzip}) {
    SCOPED_TRACE(static_cast<int>(form));
    const ChunkIndex index = IndexOf(data, form);
    const std::string bytes = FormatChunkIndex(index);
    const ChunkIndexParse parse = ParseChunkIndex(bytes);
    ASSERT_TRUE(parse.Valid()) << parse.reason;
    EXPECT_EQ(parse.index, index);
    EXPECT_LE(bytes.size(), ChunkIndexSizeBound(data.size()));
    EXPECT_LT(bytes.size(), data.size() / 1000) << "within 0.1 % of the file";
  }
  const ChunkIndexParse empty = ParseChunkIndex(FormatChunkIndex(ChunkIndex{}));
  EXPECT_TRUE(empty.Valid()) << empty.reason;
}

TEST(ChunkIndex, EveryTruncationIsRefused) {
  const std::string bytes = FormatChunkIndex(IndexOf(SampleBytes(1 << 20, 8), ServedForm::kFlushedGzip));
  for (size_t size = 0; size < bytes.size(); ++size)
    ASSERT_FALSE(ParseChunkIndex(std::string_view(bytes).substr(0, size)).Valid()) << "cut to " << size;
  EXPECT_NE(ReasonFor(bytes + "x").find("after the last chunk"), std::string::npos);
}

TEST(ChunkIndex, InconsistentIndexesAreRefused) {
  const std::string data = SampleBytes(2 << 20, 9);
  const ChunkIndex good = IndexOf(data, ServedForm::kFlushedGzip);
  struct Case {
    const char* what;
    void (*spoil)(ChunkIndex&);
    const char* reason;
  };
  const Case cases[] = {
      {"installed size beyond the chunks", [](ChunkIndex& i) { i.installed_size += 1; }, "add up to"},
      {"installed size below them", [](ChunkIndex& i) { i.installed_size -= 1; }, "more than the installed"},
      {"served size below the ranges", [](ChunkIndex& i) { i.served_size = i.chunks.back().served_offset; },
       "past the served size"},
      {"a short chunk before the last",
       [](ChunkIndex& i) {
         i.chunks[1].length += i.chunks[0].length - 100;
         i.chunks[0].length = 100;
       },
       "only the last"},
      {"a chunk over max",
       [](ChunkIndex& i) {
         i.chunks[0].length += i.chunks[1].length + i.chunks[2].length + i.chunks[3].length + i.chunks[4].length;
         i.chunks.erase(i.chunks.begin() + 1, i.chunks.begin() + 5);
       },
       "not 1 to"},
      {"a served length over its bound", [](ChunkIndex& i) { i.chunks[0].served_length = 2 * i.chunks[0].length; },
       "served length"},
      {"an empty served range", [](ChunkIndex& i) { i.chunks[0].served_length = 0; }, "served length"},
      {"first range inside the gzip header", [](ChunkIndex& i) { i.chunks[0].served_offset = 3; },
       "first served offset"},
      {"another chunker", [](ChunkIndex& i) { i.chunker = 2; }, "chunker 2"},
      {"other parameters", [](ChunkIndex& i) { i.params.min = 100; }, "not usable"},
      {"an unknown form", [](ChunkIndex& i) { i.form = static_cast<ServedForm>(7); }, "served form"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ChunkIndex spoilt = good;
    c.spoil(spoilt);
    EXPECT_NE(ReasonFor(FormatChunkIndex(spoilt)).find(c.reason), std::string::npos)
        << ReasonFor(FormatChunkIndex(spoilt));
  }
  ChunkIndex plain = IndexOf(data, ServedForm::kPlain);
  plain.served_size += 1;
  EXPECT_NE(ReasonFor(FormatChunkIndex(plain)).find("plain served file"), std::string::npos);
}

TEST(ChunkIndex, HeadersThatWouldOverreachAreRefusedBeforeAnyChunk) {
  // signature, chunker, min, avg_bits, max, digest size, form, installed, served, first offset, count
  EXPECT_NE(ReasonFor("CDX2").find("signature"), std::string::npos);
  EXPECT_NE(ReasonFor(Header({1, 16384, 16, 262144, 32, 0, 0, 0, 0, 0})).find("digests of 32"), std::string::npos);
  EXPECT_NE(ReasonFor(Header({1, 16384, 16, 262144, 16, 0, 1ull << 40, 1ull << 40, 0, 1ull << 40}))
                .find("cannot fit in the index"),
            std::string::npos)
      << "a huge count with no bytes behind it allocates nothing";
  std::string many = Header({1, 16384, 16, 262144, 16, 0, 1 << 20, 1 << 20, 0, 100});
  many.append(100 * 17, '\x01');
  EXPECT_NE(ReasonFor(many).find("cannot make up"), std::string::npos) << "100 chunks of over 16 KiB in 1 MiB";
  std::string overflow = Header({1, 16384, 16, 262144, 16, 0});
  overflow.append(9, '\xFF');
  overflow += '\x01';
  EXPECT_NE(ReasonFor(overflow).find("2^63"), std::string::npos);
}

TEST(ChunkIndex, TheIndexNameFollowsTheServedName) {
  EXPECT_EQ(ChunkIndexName("Core.GZP"), "Core.GZP.cdx");
  EXPECT_EQ(ChunkIndexName("Help.txt"), "Help.txt.cdx");
}

}  // namespace
}  // namespace delta
