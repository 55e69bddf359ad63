#include "update/chunk_patch.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "delta/chunk_index.h"
#include "delta/delta_plan.h"
#include "delta/seed_chunks.h"
#include "platform/errors.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "trust/background_sha256.h"
#include "trust/sha256.h"
#include "update/chunk_assembly.h"
#include "update/run_bytes.h"

namespace {

struct FetchedIndex {
  std::optional<delta::ChunkIndex> index;
  std::string reason;  // why there is none
  uint64_t bytes = 0;
};

std::string Quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

// Fetches the index of the request's served file and takes it only when
// it is the one the list vouches for and describes the listed file.
FetchedIndex FetchIndex(Transport& connection, const ChunkPatchRequest& r) {
  const std::string name = delta::ChunkIndexName(r.remote);
  const auto bound = static_cast<int64_t>(delta::ChunkIndexSizeBound(static_cast<uint64_t>(r.installed_size)));
  try {
    connection.Download(name, r.index_download, bound, {}, false);
  } catch (const EDownloadError& failure) {
    if (failure.Failure() == DownloadFailure::kRefused)
      return {std::nullopt, "the server does not give the chunk index " + Quoted(name) + ": " + failure.what()};
    if (failure.Failure() == DownloadFailure::kOverrun)
      return {std::nullopt, "the server sent a chunk index " + Quoted(name) + " larger than any for this file"};
    throw;
  }
  const std::string bytes = platform::ReadWholeFile(r.index_download);
  trust::Sha256Stream digest;
  digest.Update(bytes);
  if (digest.Final() != r.index_sha256)
    return {std::nullopt, "the chunk index " + Quoted(name) + " differs from the one the list gives"};
  delta::ChunkIndexParse parse = delta::ParseChunkIndex(bytes);
  if (!parse.Valid()) return {std::nullopt, "the chunk index " + Quoted(name) + " is refused: " + parse.reason};
  const delta::ServedForm form = r.flushed_gzip ? delta::ServedForm::kFlushedGzip : delta::ServedForm::kPlain;
  if (parse.index.installed_size != static_cast<uint64_t>(r.installed_size) ||
      parse.index.served_size != static_cast<uint64_t>(r.served_size) || parse.index.form != form)
    return {std::nullopt, "the chunk index " + Quoted(name) + " describes another file than the list gives"};
  return {std::move(parse.index), "", bytes.size()};
}

// How many of the index's chunks, in order, the start of the assembly
// already holds; `digest` hears their bytes.
size_t AssembledChunks(const std::string& assembly, const delta::ChunkIndex& index, trust::BackgroundSha256& digest) {
  platform::InputFile file(assembly);
  if (!file.IsOpen()) return 0;
  trust::Sha256Stream chunk_digest;
  size_t held = 0;
  for (; held < index.chunks.size(); ++held) {
    const delta::IndexedChunk& chunk = index.chunks[held];
    auto bytes = std::make_shared<std::string>(static_cast<size_t>(chunk.length), '\0');
    if (file.Read(bytes->data(), bytes->size()) != bytes->size()) break;
    chunk_digest.Update(*bytes);
    if (std::memcmp(chunk_digest.FinalBytes().data(), chunk.digest.data(), chunk.digest.size()) != 0) break;
    digest.Update(*bytes, bytes);
  }
  return held;
}

// The run's time left counts the bytes a patch fetches instead of the
// whole file's, until the patch gives way to the whole file.
class SparedRunBytes {
 public:
  SparedRunBytes(UpdateEngine& e, int64_t spared) : e_(e), spared_(spared) { SpareRunBytes(e_, spared_); }
  ~SparedRunBytes() {
    if (!kept_) SpareRunBytes(e_, -spared_);
  }
  SparedRunBytes(const SparedRunBytes&) = delete;
  SparedRunBytes& operator=(const SparedRunBytes&) = delete;
  void Keep() { kept_ = true; }

 private:
  UpdateEngine& e_;
  int64_t spared_;
  bool kept_ = false;
};

}  // namespace

ChunkPatchOutcome PatchFromChunks(UpdateEngine& e, const ChunkPatchRequest& r) {
  // A copy: the transfers pump messages, and the connection may be replaced meanwhile.
  const std::shared_ptr<Transport> connection = e.Connection;
  if (!connection) throw Exception("Not connected");
  const FetchedIndex fetched = FetchIndex(*connection, r);
  if (!fetched.index) return {false, fetched.reason};
  const delta::ChunkIndex& index = *fetched.index;
  // An installed file that cannot be read is simply replaced.
  const std::optional<delta::SeedChunks> seed = delta::ChunkSeedFile(r.seed, index.params);
  if (!seed) return {};
  trust::BackgroundSha256 digest;
  const size_t first = r.continues ? AssembledChunks(r.assembly, index, digest) : 0;
  const delta::DeltaPlan plan = delta::PlanDelta(index, *seed, first);
  if (!delta::PatchIsWorthIt(plan, index, fetched.bytes, static_cast<uint64_t>(connection->RangeRequestCost())))
    return {};
  const auto planned = static_cast<int64_t>(plan.fetched_bytes + fetched.bytes);
  SparedRunBytes spared(e, r.served_size - planned);

  std::optional<platform::OutputFile> out;
  if (first > 0)
    out.emplace(r.assembly, platform::OutputFile::ContinueAfter{index.chunks[first - 1].offset + index.chunks[first - 1].length});
  else
    out.emplace(r.assembly);
  if (!out->IsOpen())
    throw EInOutError("Cannot create file " + r.assembly + ": " + platform::ErrorText(out->OpenError()));
  // Installed once checked, and flushed before it is recorded: a large one
  // gets to the disk while it is assembled, as a download does.
  out->FlushWhileWriting();
  platform::InputFile seed_file(r.seed);
  ChunkAssembly assembly(index, plan, seed_file, *out, digest);
  std::vector<ByteRange> ranges;
  ranges.reserve(plan.fetched.size());
  for (const size_t k : plan.fetched)
    ranges.push_back({static_cast<int64_t>(index.chunks[k].served_offset), static_cast<int64_t>(index.chunks[k].served_length)});
  try {
    connection->DownloadRanges(r.remote, ranges, r.served_size,
                               [&assembly](size_t range, std::string_view bytes, const std::shared_ptr<const void>&) {
                                 assembly.Receive(range, bytes);
                               });
  } catch (const EDownloadError& failure) {
    if (failure.Failure() != DownloadFailure::kRefused) {
      // Cut off: what was assembled stays for the next run to continue after.
      assembly.WriteHeld();
      throw;
    }
    return {false, "the server does not give parts of " + Quoted(r.remote) + ": " + failure.what()};
  }
  assembly.Finish();
  const int close_error = out->Close();
  if (const int error = assembly.WriteError() != 0 ? assembly.WriteError() : close_error; error != 0)
    throw EInOutError("Cannot write file " + r.assembly + ": " + platform::ErrorText(error));
  if (!assembly.Refusal().empty()) return {false, Quoted(r.remote) + ": " + assembly.Refusal()};
  if (assembly.Assembled() != static_cast<uint64_t>(r.installed_size) || digest.Final() != r.installed_sha256)
    return {false, "the file assembled from chunks of " + Quoted(r.remote) + " differs from the one the list gives"};
  spared.Keep();
  return {true, "", planned};
}
