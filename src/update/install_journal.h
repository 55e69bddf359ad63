// The files an update writes on its way to installing an entry: partial
// files that are renamed over their destination once complete
// (platform::PartialFileOf), downloads that are unpacked afterwards, and
// unpacked bundles that are taken apart and deleted. Each is noted in the
// journal "updtmp.dat" of the game folder before it is created, so that
//   - the next run removes what a run that was killed left behind, and
//   - every file installed reaches the disk before a record naming it is
//     saved, in one batch for the whole run.
// The journal holds names relative to the game folder, each ended by a NUL
// byte (names from the server may hold any other byte).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The suffix of a download that is unpacked afterwards: "<path>.dltmp".
// It differs from the partial-file suffix in its last letters, so the two
// names of one entry never coincide.
inline constexpr std::string_view kDownloadFileSuffix = ".dltmp";

// The suffix of a download fetched ahead of its turn, before a number:
// "<download file>.ahead<n>".
inline constexpr std::string_view kAheadFileSuffix = ".ahead";

// Name of the journal in the game folder.
inline constexpr char kInstallJournalName[] = "updtmp.dat";

// Notes `path` (a real path inside the game folder exe_dir) in the journal;
// call it before the file is created. Returns path. Throws EFOpenError or
// EInOutError when the journal cannot be written.
std::string NoteTemporaryFile(const std::string& exe_dir, const std::string& path);

// Notes and returns the partial file of `destination`.
std::string BeginPartialFile(const std::string& exe_dir, const std::string& destination);

// Notes and returns the name under which `path` is downloaded before it is
// unpacked: path + kDownloadFileSuffix.
std::string BeginDownloadFile(const std::string& exe_dir, const std::string& path);

// Removes a temporary file if it is still there. Returns "" when it is
// gone, else a sentence that names it and says why it stays (it stays
// noted, so the next run tries again).
std::string DiscardTemporaryFile(const std::string& path);

// Removes every file the journal of exe_dir names (what a killed run left
// behind), then the journal. Call it before a run writes anything. Returns
// one sentence per file that could not be removed; those stay noted.
std::vector<std::string> SweepTemporaryFiles(const std::string& exe_dir);

// Flushes to disk every file installed since the journal was started (each
// partial file that was renamed over its destination), then every folder
// that holds one, from the game folder down, then drops from the journal
// what is gone. Call it before
// saving a record. Throws EInOutError when a file or folder cannot be
// flushed. Returns sentences about journal entries that could not be
// cleaned up (harmless: the next sweep removes them).
std::vector<std::string> FlushInstalledFiles(const std::string& exe_dir);

// Replaces the flush of FlushInstalledFiles, which receives the paths of
// the installed files, then of their folders (ending in '/'); empty
// restores platform::FlushFiles. For the
// benchmark that measures what the flush costs and for tests that watch
// it; the programs never replace it.
void SetInstalledFileFlusher(std::function<void(const std::vector<std::string>& paths)> flusher);
