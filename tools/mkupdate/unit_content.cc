#include "unit_content.h"

#include <optional>
#include <vector>

#include "delta/chunk_index.h"
#include "delta/chunk_recorder.h"
#include "flushed_gzip_writer.h"
#include "gzip_stream.h"
#include "lists/server_entry.h"
#include "platform/errors.h"
#include "trust/sha256.h"

namespace mkupdate {

namespace {

// Passes reads through, counting them on the progress bar and feeding
// them to a digest.
template <typename Reader>
class Counted {
 public:
  // progress and digest may be null: nothing is counted or hashed.
  Counted(Reader& reader, Progress* progress, trust::Sha256Stream* digest = nullptr)
      : reader_(reader), progress_(progress), digest_(digest) {}
  size_t Read(char* buffer, size_t n) {
    size_t got = reader_.Read(buffer, n);
    if (progress_) progress_->AddBytes(static_cast<int64_t>(got));
    if (digest_) digest_->Update(std::string_view(buffer, got));
    return got;
  }

 private:
  Reader& reader_;
  Progress* progress_;
  trust::Sha256Stream* digest_;
};

template <typename Reader, typename Sink>
void Pump(Reader& reader, Sink&& sink) {
  std::vector<char> block(kStreamBlock);
  for (size_t got; (got = reader.Read(block.data(), block.size())) > 0;) sink(std::string_view(block.data(), got));
}

// The gzip trailer's length field (size modulo 2^32), a cheap first test.
bool GzipLengthMatches(InputFile& file, int64_t expected) {
  if (file.Size() < 18) return false;
  char tail[4];
  file.ReadAt(file.Size() - 4, tail, 4);
  uint32_t length = 0;
  for (int i = 0; i < 4; ++i) length |= static_cast<uint32_t>(static_cast<unsigned char>(tail[i])) << (8 * i);
  return length == static_cast<uint32_t>(expected);
}

// The index of a file whose chunks `recorder` found, served in `form`
// within served_size bytes, checked by the parser the updater uses.
std::string ChunkIndexBytes(delta::ChunkRecorder& recorder, delta::ServedForm form, int64_t served_size,
                            const std::string& path) {
  delta::ChunkIndex index;
  index.params = recorder.params();
  index.form = form;
  index.installed_size = recorder.size();
  index.served_size = static_cast<uint64_t>(served_size);
  index.chunks = recorder.chunks();
  if (form == delta::ServedForm::kPlain)
    for (delta::IndexedChunk& chunk : index.chunks) chunk.served_offset = chunk.offset, chunk.served_length = chunk.length;
  std::string bytes = delta::FormatChunkIndex(index);
  const delta::ChunkIndexParse check = delta::ParseChunkIndex(bytes);
  if (!check.Valid()) throw Exception("The chunk index made for " + path + " is refused: " + check.reason);
  return bytes;
}

// Writes what `counted` reads through `writer`, ending a chunk where
// `recorder` finds one, and notes each chunk's compressed range.
void WriteFlushedGzip(Counted<InputFile>& counted, FlushedGzipWriter& writer, delta::ChunkRecorder& recorder) {
  Pump(counted, [&](std::string_view data) {
    recorder.Write(data, [&](std::string_view piece, bool ends_chunk) {
      writer.Write(piece);
      if (ends_chunk) writer.EndChunk();
    });
  });
  recorder.Finish();
  const std::vector<uint64_t> lengths = writer.Finish();
  if (lengths.size() != recorder.chunks().size())
    throw Exception("The chunks compressed differ in number from the chunks found");
  uint64_t start = delta::kGzipHeaderSize;
  for (size_t k = 0; k < lengths.size(); ++k) {
    recorder.chunks()[k].served_offset = start;
    recorder.chunks()[k].served_length = lengths[k];
    start += lengths[k];
  }
}

}  // namespace

bool ServerHoldsUnit(const PublishUnit& unit, const BundleSource* bundle, const ListedEntry& old,
                     const std::string& server_file, Progress& progress, UnitDigests& digests) {
  if (unit.is_bundle ? (old.type != unit.type || old.package != unit.package) : HandlingOf(old.type, false).bundle)
    return false;
  try {
    trust::Sha256Stream served, installed;
    bool same;
    // Read through here for "O" entries only; the others through PayloadReader.
    const bool plain = !HandlingOf(old.type, false).unpacks;
    InputFile stored(server_file, plain ? &served : nullptr);
    if (stored.Size() != old.size) return false;
    if (unit.is_bundle) {
      PayloadReader payload(server_file, &served);
      BundleReader fresh(*bundle);
      Counted<BundleReader> counted(fresh, &progress);
      same = SameContent(payload, counted);
    } else if (plain) {
      InputFile release(unit.files[0].real_path);
      Counted<InputFile> counted(release, &progress);
      same = SameContent(stored, counted);
    } else {
      if (!GzipLengthMatches(stored, unit.files[0].size)) return false;
      PayloadReader payload(server_file, &served);
      InputFile release(unit.files[0].real_path, &installed);
      Counted<InputFile> counted(release, &progress);
      same = SameContent(payload, counted);
    }
    if (!same) return false;
    digests.served = served.Final();
    if (!unit.is_bundle) digests.installed = plain ? digests.served : installed.Final();
    return true;
  } catch (const Exception&) {
    return false;  // unreadable or damaged: publish it anew
  }
}

ProducedFile ProduceUnit(const PublishUnit& unit, const BundleSource* bundle, const std::string& temp_path,
                         int level, bool indexed, Progress& progress) {
  ProducedFile produced;
  produced.type = unit.type;
  trust::Sha256Stream served;
  if (unit.is_bundle) {
    GzipFileWriter writer(temp_path, level, &served);
    BundleReader reader(*bundle);
    Counted<BundleReader> counted(reader, &progress);
    Pump(counted, [&](std::string_view data) { writer.Write(data); });
    writer.Finish();
    produced.size = writer.compressed_size();
    produced.digests.served = served.Final();
    return produced;
  }
  const ReleaseFile& file = unit.files[0];
  std::optional<delta::ChunkRecorder> recorder;
  // A gzip file's chunks each cost a flush; a plain file's only their index entry.
  if (indexed) recorder.emplace(unit.type == 'E' ? delta::kDefaultChunkParams : delta::kPlainChunkParams);
  if (unit.type == 'E') {
    trust::Sha256Stream installed;
    InputFile input(file.real_path, &installed);
    Counted<InputFile> counted(input, &progress);
    int64_t compressed_size;
    if (recorder) {
      FlushedGzipWriter writer(temp_path, level, &served);
      WriteFlushedGzip(counted, writer, *recorder);
      compressed_size = writer.compressed_size();
    } else {
      GzipFileWriter writer(temp_path, level, &served);
      Pump(counted, [&](std::string_view data) { writer.Write(data); });
      writer.Finish();
      compressed_size = writer.compressed_size();
    }
    produced.digests.installed = installed.Final();
    if (compressed_size < file.size) {
      produced.size = compressed_size;
      produced.digests.served = served.Final();
      if (recorder)
        produced.chunk_index =
            ChunkIndexBytes(*recorder, delta::ServedForm::kFlushedGzip, produced.size, file.real_path);
      return produced;
    }
    // Compression gains nothing: ship the file as it is, whose digest is known.
    produced.type = 'O';
    OutputFile output(temp_path);
    InputFile again(file.real_path);
    Counted<InputFile> uncounted(again, nullptr);  // its bytes were counted once already
    Pump(uncounted, [&](std::string_view data) { output.Write(data); });
    output.Close();
    produced.size = output.written();
    produced.digests.served = produced.digests.installed;
    // The chunks are those of the installed bytes, whichever way they are served.
    if (recorder) produced.chunk_index = ChunkIndexBytes(*recorder, delta::ServedForm::kPlain, produced.size, file.real_path);
    return produced;
  }
  OutputFile output(temp_path, &served);
  InputFile input(file.real_path);
  Counted<InputFile> counted(input, &progress);
  Pump(counted, [&](std::string_view data) {
    if (recorder) recorder->Write(data);
    output.Write(data);
  });
  output.Close();
  produced.size = output.written();
  produced.digests.served = served.Final();
  produced.digests.installed = produced.digests.served;
  if (recorder) {
    recorder->Finish();
    produced.chunk_index = ChunkIndexBytes(*recorder, delta::ServedForm::kPlain, produced.size, file.real_path);
  }
  return produced;
}

}  // namespace mkupdate
