// Writes a new version of an installed file in chunk order: the chunks a
// plan takes from the seed (the version installed) are copied from it, and
// the fetched ones are checked against the index's digests, inflated first
// when the served file is flushed gzip, as their bytes arrive. The bytes
// written are hashed on the way, for the whole file's check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "delta/chunk_index.h"
#include "delta/delta_plan.h"
#include "gzip/raw_chunk_inflater.h"
#include "platform/file_stream.h"
#include "trust/background_sha256.h"
#include "trust/sha256.h"

class ChunkAssembly {
 public:
  // `out` continues after the chunks before plan.first_chunk, whose bytes
  // `digest` has heard. All of them outlive the assembly.
  ChunkAssembly(const delta::ChunkIndex& index, const delta::DeltaPlan& plan, platform::InputFile& seed,
                platform::OutputFile& out, trust::BackgroundSha256& digest);

  // The next bytes of the served range of fetched chunk plan.fetched[range]
  // (a RangeSink's call). A whole chunk is checked and written, after the
  // seed's chunks before it. Once something failed, bytes are dropped.
  void Receive(size_t range, std::string_view bytes);
  // Once every fetched chunk has come: writes the seed's chunks after the
  // last of them. Nothing once something failed.
  void Finish();
  // Writes what is held back for a block of its own: for a transfer cut
  // off, so that the file keeps every chunk assembled.
  void WriteHeld();

  // Why the assembly cannot be used ("" while it can): a fetched chunk
  // that is not the one the index describes, or a seed that cannot be read.
  const std::string& Refusal() const { return refusal_; }
  // The errno of a write that failed (0 when none did): the assembly stops.
  int WriteError() const { return write_error_; }
  // The file's bytes assembled so far (those of chunks before first_chunk
  // included): the start of the new version, chunk by chunk.
  uint64_t Assembled() const { return assembled_; }

 private:
  void CopySeedChunksBefore(size_t chunk);
  void TakeFetched(size_t chunk);
  // Appends to the held block, written once it is full: whole pages in
  // few calls, where a chunk's own writes would each end inside a page.
  void Append(std::string_view bytes);
  char* Extend(size_t size);

  const delta::ChunkIndex& index_;
  const delta::DeltaPlan& plan_;
  platform::InputFile& seed_;
  platform::OutputFile& out_;
  trust::BackgroundSha256& digest_;
  RawChunkInflater inflater_;
  trust::Sha256Stream chunk_digest_;
  size_t next_chunk_;          // the index's number of the next chunk to write
  std::string served_;         // the fetched chunk's served bytes so far
  std::shared_ptr<std::string> held_;  // assembled, not yet written
  std::string refusal_;
  int write_error_ = 0;
  uint64_t assembled_ = 0;
};
