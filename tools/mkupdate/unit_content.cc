#include "unit_content.h"

#include <vector>

#include "gzip_stream.h"
#include "platform/errors.h"

namespace mkupdate {

namespace {

// Passes reads through and counts them on the progress bar.
template <typename Reader>
class Counted {
 public:
  // progress may be null: nothing is counted.
  Counted(Reader& reader, Progress* progress) : reader_(reader), progress_(progress) {}
  size_t Read(char* buffer, size_t n) {
    size_t got = reader_.Read(buffer, n);
    if (progress_) progress_->AddBytes(static_cast<int64_t>(got));
    return got;
  }

 private:
  Reader& reader_;
  Progress* progress_;
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

}  // namespace

bool ServerHoldsUnit(const PublishUnit& unit, const BundleSource* bundle, const ServerEntry& old,
                     const std::string& server_file, Progress& progress) {
  if (unit.is_bundle ? (old.type != unit.type || old.package != unit.package) : (old.type != 'E' && old.type != 'O'))
    return false;
  try {
    InputFile stored(server_file);
    if (stored.Size() != old.size) return false;
    if (unit.is_bundle) {
      PayloadReader payload(server_file);
      BundleReader fresh(*bundle);
      Counted<BundleReader> counted(fresh, &progress);
      return SameContent(payload, counted);
    }
    InputFile release(unit.files[0].real_path);
    Counted<InputFile> counted(release, &progress);
    if (old.type == 'O') return SameContent(stored, counted);
    if (!GzipLengthMatches(stored, unit.files[0].size)) return false;
    PayloadReader payload(server_file);
    return SameContent(payload, counted);
  } catch (const Exception&) {
    return false;  // unreadable or damaged: publish it anew
  }
}

ProducedFile ProduceUnit(const PublishUnit& unit, const BundleSource* bundle, const std::string& temp_path,
                         int level, Progress& progress) {
  ProducedFile produced;
  produced.type = unit.type;
  if (unit.is_bundle) {
    GzipFileWriter writer(temp_path, level);
    BundleReader reader(*bundle);
    Counted<BundleReader> counted(reader, &progress);
    Pump(counted, [&](std::string_view data) { writer.Write(data); });
    writer.Finish();
    produced.size = writer.compressed_size();
    return produced;
  }
  const ReleaseFile& file = unit.files[0];
  if (unit.type == 'E') {
    GzipFileWriter writer(temp_path, level);
    InputFile input(file.real_path);
    Counted<InputFile> counted(input, &progress);
    Pump(counted, [&](std::string_view data) { writer.Write(data); });
    writer.Finish();
    if (writer.compressed_size() < file.size) {
      produced.size = writer.compressed_size();
      return produced;
    }
    produced.type = 'O';  // compression gains nothing: ship the file as it is
  }
  OutputFile output(temp_path);
  InputFile input(file.real_path);
  // A fallback copy re-reads bytes already counted.
  Counted<InputFile> counted(input, unit.type == 'O' ? &progress : nullptr);
  Pump(counted, [&](std::string_view data) { output.Write(data); });
  output.Close();
  produced.size = output.written();
  return produced;
}

}  // namespace mkupdate
