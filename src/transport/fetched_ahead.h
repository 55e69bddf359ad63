// Handing a download fetched ahead (PlanDownload) over to the Download that
// asks for it, the same for every transport that fetches ahead.
#pragma once

#include <optional>
#include <string>

#include "transport/transport.h"

// Puts the whole file fetched into `ahead_path` at `local_path` (a rename,
// so it stays the file the fetch wrote) and hands its bytes to `sink` (may
// be empty) in order, as if they had just arrived. Returns nullopt, or the
// text of the local failure when the file cannot be moved or read back:
// the caller then raises TransferFailed and throws
// EDownloadError(kLocal, text).
std::optional<std::string> HandOverFetchedAhead(const std::string& ahead_path, const std::string& local_path,
                                                const ByteSink& sink);

// What a failed fetch ahead received is the file's beginning: moves it to
// `local_path` for the Download to continue; true when it is there. The
// ahead file is gone either way.
bool KeepPartFetchedAhead(const std::string& ahead_path, const std::string& local_path);
