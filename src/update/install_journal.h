// The files an update writes on its way to installing an entry: partial
// files that are renamed over their destination once complete
// (platform::PartialFileOf), downloads that are unpacked afterwards, and
// unpacked bundles that are taken apart and deleted. Each is noted in the
// journal "updtmp.dat" of the game folder before it is created, so that
//   - the next run removes what a run that was killed left behind (the
//     update run keeps the partial downloads it may continue), and
//   - every file installed reaches the disk before a record naming it is
//     saved, in one batch for the whole run.
// The journal holds names relative to the game folder, each ended by a NUL
// byte (names from the server may hold any other byte). A download file's
// name may be followed by a second such record that says what it is a
// download of (see NoteDownloadOf); that record starts with '/', so a
// reader that takes only names drops it as a name outside the game folder.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/temporary_names.h"

// The temporary suffixes ("<path>.dltmp", "<download file>.ahead<n>"): see
// platform/temporary_names.h, which also tells whether a name carries one.
using platform::kAheadFileSuffix;
using platform::kDownloadFileSuffix;

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

// What a download file receives, as the server list names it. A later run
// whose entry names the same may continue the file where it stopped.
struct DownloadOrigin {
  std::string remote;
  int64_t listed_size = -1;
  std::string version;
  std::string digest;  // the listed SHA-256 of the served file; "" when none
  bool operator==(const DownloadOrigin&) const = default;
};

// Notes `path` as NoteTemporaryFile does, together with what it is a
// download of, so that the next run may keep it for the same entry to
// continue. Returns path. Throws as NoteTemporaryFile.
std::string NoteDownloadOf(const std::string& exe_dir, const std::string& path, const DownloadOrigin& origin);

// The partial downloads a sweep kept (on disk and noted) for the run that
// follows it: each may be continued by the entry it is a download of, and
// is removed when the run ends without it.
class KeptDownloads {
 public:
  enum class Match {
    kNone,     // nothing kept at the path
    kSame,     // a partial of the same origin, its size as when kept: continue it
    kChanged,  // a partial of another origin (the entry changed), or changed in size since: remove it
  };
  // Before the entry of `origin` is downloaded into `path`: what the sweep
  // kept there. The path is no longer kept afterwards (its download owns it).
  Match Take(const std::string& path, const DownloadOrigin& origin);
  // Removes the partials no entry took and forgets them. Returns one
  // sentence per file that could not be removed.
  std::vector<std::string> DiscardUnused();
  // For the sweep: keeps the partial at `path` of `size` bytes.
  void Add(const std::string& path, const DownloadOrigin& origin, int64_t size);
  bool empty() const { return partials_.empty(); }
  // Whether a partial is kept at `path`.
  bool Holds(const std::string& path) const { return partials_.count(path) > 0; }

 private:
  struct Partial {
    DownloadOrigin origin;
    int64_t size = 0;
  };
  std::map<std::string, Partial> partials_;
};

// SweepTemporaryFiles for the update run: a partial download noted with its
// origin (NoteDownloadOf) that holds some bytes and fewer than its listed
// size stays, noted, and is added to `kept`; everything else goes.
std::vector<std::string> SweepTemporaryFiles(const std::string& exe_dir, KeptDownloads& kept);

// Whether a temporary file the journal notes may still be created by work
// going on beside the caller (a fetch ahead), given its name relative to
// the game folder.
using StillToCome = std::function<bool(const std::string& name)>;

// Flushes to disk every file installed since the journal was started (each
// partial file that was renamed over its destination), then every folder
// that holds one, from the game folder down, then drops from the journal
// what is gone, except the notes of files that `still_to_come` says may
// yet be created (empty: none may). Call it before saving a record.
// Throws EInOutError when a file or folder cannot be flushed. Returns
// sentences about journal entries that could not be cleaned up (harmless:
// the next sweep removes them).
std::vector<std::string> FlushInstalledFiles(const std::string& exe_dir, const StillToCome& still_to_come = {});

// Replaces the flush of FlushInstalledFiles, which receives the paths of
// the installed files, then of their folders (ending in '/'); empty
// restores platform::FlushFiles. For the
// benchmark that measures what the flush costs and for tests that watch
// it; the programs never replace it.
void SetInstalledFileFlusher(std::function<void(const std::vector<std::string>& paths)> flusher);
