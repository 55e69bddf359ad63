// Installing a new version of a large file from the version already
// installed: the served file's chunk index (delta/chunk_index.h) says which
// chunks the new version is made of; those the installed file holds are
// copied from it, and only the others are fetched, as byte ranges of the
// served file. Every fetched chunk is checked against the index, the index
// against the SHA-256 the server list gives for it, and the assembled file
// against the installed file's listed size and SHA-256. Whatever stands in
// the way (no index, a refused range, a chunk that differs, a patch that
// would fetch more than half the file) leaves the caller to download the
// whole file.
#pragma once

#include <cstdint>
#include <string>

#include "update/update_engine.h"

struct ChunkPatchRequest {
  std::string remote;            // the served file
  bool flushed_gzip = false;     // an "E" entry's served file; else the installed file itself
  int64_t served_size = 0;       // as listed
  int64_t installed_size = 0;    // as listed
  std::string index_sha256;      // the listed SHA-256 of the chunk index
  std::string installed_sha256;  // the listed SHA-256 of the new version
  std::string seed;              // the real path of the installed file
  std::string index_download;    // a noted temporary file the index is fetched into
  std::string assembly;          // a noted temporary file the new version is assembled in
  bool continues = false;        // the assembly holds what an earlier run assembled
};

struct ChunkPatchOutcome {
  bool assembled = false;  // the assembly holds the new version, checked
  // Why not, when a person should hear of it (the server's index or chunks
  // are not as listed); "" when the whole file is simply the better way.
  std::string fallback_reason;
  int64_t planned_bytes = 0;  // the served bytes the patch planned to fetch, index included
};

// Pumps messages while it fetches. Throws EDownloadError (kCutOff) when a
// transfer broke off or was cancelled (the assembly keeps what was
// assembled, for a later run to continue) and EInOutError when the
// assembly cannot be written.
ChunkPatchOutcome PatchFromChunks(UpdateEngine& e, const ChunkPatchRequest& request);
