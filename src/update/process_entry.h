// Installing one pending entry of the update: download over the current FTP
// connection, size check, unpacking, bundle extraction, package import, and
// the record line that says which version is installed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "update/update_engine.h"

// How ProcessEntry left the entry.
enum class EntryOutcome {
  kInstalled,   // installed (and recorded unless FromCheck)
  kPassedOver,  // nothing installed: size mismatch, a download past its listed size, a digest
                // mismatch, an unpack past its bound, damaged data, refused name, type not
                // handled here, import tool not started
  kStopped,     // in-use stop: the box was shown and the main window closed
};

// Installs the pending entry `line`: a server line (a new file) or
// "U <record index> <server line>" (a changed file; only the types "E",
// "O" and "C" are handled, the type compared exactly). Names from the
// server (remote and local name) that would leave the game folder, also
// through a link among the folders of a file the entry writes, or that end
// in a temporary suffix (platform::IsTemporaryFileName) refuse the entry
// before anything is fetched (the view hears of it).
// With FromCheck a new entry adds no record line.
//
// Every file is received, unpacked or extracted under a temporary name
// beside its destination and renamed over it only once complete and
// checked, so an entry that fails leaves the installed files as they were
// (a bundle's members are replaced one by one) and gets no record line;
// its temporary files are removed, except a download cut off by an error
// other than a local file's, which stays noted with its origin
// (NoteDownloadOf) for the next run to continue. A partial download that
// the run's sweep kept for the same origin (e.KeptPartialDownloads) is
// continued; one kept for another origin is removed first. A download that runs past the listed
// size (field 5), or ends short of it, is passed over, named through the view's
// ReportRefusedName and counted through its EntryFailed; so is one whose
// bytes, hashed as they arrive, differ from the SHA-256 the line lists for
// its served file (lists/digest_fields.h), or for an "O" entry from the one
// it lists for the installed file, before anything is unpacked or placed.
// A line without the served file's digest is passed over the same way when
// the engine's SignedSet is set; otherwise a field that holds no digest is
// ignored. An unpack is passed over the same way, nothing replaced, when
// its bytes (hashed as they are written) differ from the installed file's
// listed digest ("E"), when it runs past the installed size the line gives
// ("E"), or when it would leave the disk with less than TGzip::kKeptFree
// bytes (every type).
// Damaged gzip data passes the entry over after the unpacker's box. A new "E" or "C" entry whose file cannot be
// replaced ends in the in-use stop.
//
// Pumps messages while downloading. Throws the download's error, EConvertError
// for a size or record index that is not a decimal integer, EListError for a
// record index outside RecordList, EFOpenError for a folder that cannot be
// created or an "O" file that cannot be replaced, the bundle's file errors
// (see ExtractBundle), and Exception "Cannot install <local name>: <reason>"
// when a package ("T", "A", "S", "W") cannot be unpacked or taken apart
// whole; the caller's run stops at this entry then.
EntryOutcome ProcessEntry(UpdateEngine& e, const std::string& line, bool FromCheck);

// A download no list line describes: a name of the server folder's
// listing that the file check repairs a file from.
struct UnlistedDownload {
  std::string remote;           // the name the server is asked for
  std::string local;            // the game file it installs, Windows-style
  bool unpacks = false;         // gzip data unpacked into local; else the file itself
  std::string received_beside;  // the game file name a packed download is received beside
  platform::ExecuteBits execute = platform::ExecuteBits::kAsReplaced;
};

// Fetches and installs `download` as ProcessEntry installs an entry, under
// temporary names that are removed on every way out, bounded by
// kUnlistedTransferLimit since nothing lists its size. The caller has
// judged the names. True when it is installed; false when its data was
// damaged or could not replace the file (the unpacker has shown why) or it
// was passed over (named through the view). Throws as ProcessEntry does.
bool InstallUnlistedDownload(UpdateEngine& e, const UnlistedDownload& download);

// The download ProcessEntry(e, line, false) will ask the connection for,
// to be planned ahead (Transport::PlanDownload), its ahead file
// "<download file>.ahead<index>" noted in the journal. No download for an
// entry that is refused or fails before it downloads (ProcessEntry reports
// it in its turn) and for one that continues a partial kept from an
// earlier run. `index` is the line's place in the pending list, which
// keeps ahead files of one run apart.
struct AheadPlan {
  std::optional<PlannedDownload> download;
  // The download's folder does not exist yet: an earlier entry or its own
  // turn makes it. Plan the line again later.
  bool folder_missing = false;
};
AheadPlan PlanEntryDownload(UpdateEngine& e, const std::string& line, int index);

// The bound handed to the FTP client for the download of an entry whose
// size field is `size_field`: its value when it is a non-negative decimal
// integer (digits only), else -1 (the field's error comes after the
// download).
int64_t ListedSize(const std::string& size_field);

// The package-import command line of a "T", "A", "S" or "W" entry, relative
// to the game folder: "System\PKG pkg import <kind> ..\<folder>\<package> ..\<stem>".
// Empty for any other type.
std::string ImportCommandLine(const std::string& type, const std::string& package,
                              const std::string& stem);

// Show mode of the import tool: 1 (shown) for textures, 0 (hidden) otherwise.
int ImportShowMode(const std::string& type);
