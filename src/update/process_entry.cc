#include "update/process_entry.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/decimal_field.h"
#include "texts/texts.h"
#include "gzip/gzip.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "platform/process.h"
#include "platform/temporary_names.h"
#include "transport/download_target.h"
#include "update/bundle.h"
#include "update/chunk_patch.h"
#include "update/folder_path.h"
#include "update/install_journal.h"
#include "update/updater_files.h"
#include "lists/digest_fields.h"
#include "lists/list_file.h"
#include "lists/server_entry.h"
#include "trust/background_sha256.h"
#include "trust/sha256.h"

namespace {

// What ProcessEntry installs from a pending line: its server entry's
// fields as the install reads them.
struct EntryFields {
  std::string type, remote, local, version, size, package;
  int64_t listed_size = -1;  // size as a decimal count, -1 when it is none
  EntryHandling handling;
  std::string digest;  // the served file's SHA-256 as listed; "" when the line has none
  std::string installed_digest;  // the installed file's SHA-256 ("E", "O"); "" when none is listed
  std::string installed_size;    // the installed file's size as listed ("E"); "" when none
  int64_t installed_size_bound = -1;  // installed_size as a decimal count, -1 when none
  platform::ExecuteBits execute = platform::ExecuteBits::kAsReplaced;  // as the mode flag lists it ("E", "O")
  // The game file name whose download file receives a packed download:
  // the remote name, or the file check's own choice for a listing entry.
  std::string download_name{};
  // False for a download no list line describes (a listing entry): it has
  // no size or digest to compare what arrives with.
  bool listed = true;
  std::string chunk_index_digest{};  // the SHA-256 of the served file's chunk index ("E", "O"); "" when none
};

const std::string kNoDigest;

// The installed file's size as listed, -1 when none is: field 8 of "E",
// for "O" the served size.
int64_t InstalledSizeOf(const EntryFields& f) { return f.handling.unpacks ? f.installed_size_bound : f.listed_size; }

// Whether the entry's new version is to be assembled from the installed
// one and the changed chunks of the served file (chunk_patch.h): a listed
// "E" or "O" file with a chunk index, whose new version the list
// describes, and an old version at its local name.
bool PatchesInstalledFile(const UpdateEngine& e, const EntryFields& f) {
  return f.listed && f.handling.downloads && !f.handling.bundle && trust::IsSha256Hex(f.chunk_index_digest) &&
         !f.installed_digest.empty() && f.listed_size > 0 && InstalledSizeOf(f) >= 0 &&
         platform::FileExists(platform::ResolveGameFileName(e.ExeDir, f.local));
}

// Where an entry's download is received: for "O" the partial file of its
// local name, otherwise the download file of its remote name.
std::string DownloadPath(const UpdateEngine& e, const EntryFields& f) {
  if (!f.handling.unpacks) return platform::PartialFileOf(platform::ResolveGameFileName(e.ExeDir, f.local));
  return platform::ResolveGameFileName(e.ExeDir, f.download_name) + std::string(kDownloadFileSuffix);
}

// The steps of installing one entry. Everything is received or written
// under a temporary name (see install_journal.h) and renamed over the
// installed file only once complete and checked, so a failure at any step
// leaves the installed file as it was; the temporary files are removed on
// the way out, also when a step throws.
class EntryInstaller {
 public:
  enum class Fetched { kWhole, kMismatch, kOverrun, kDigestMismatch, kReplaced };

  EntryInstaller(UpdateEngine& e, const EntryFields& f) : e_(e), f_(f) {}
  ~EntryInstaller() {
    for (const std::string& path : temporaries_) {
      try {
        Discard(path);
      } catch (const std::exception&) {
        // A listener that throws while the entry unwinds: the file stays
        // noted in the journal, and the next run removes it.
      }
    }
  }
  EntryInstaller(const EntryInstaller&) = delete;
  EntryInstaller& operator=(const EntryInstaller&) = delete;

  // Installs the new version of a file the entry patches (see
  // PatchesInstalledFile) from the chunks of the installed one and those of
  // the served file it lacks, continuing an assembly the run's sweep kept.
  // False when the whole file is to be downloaded instead; the reason is
  // reported when the server's index or chunks are not as listed. An
  // assembly cut off by the transfer stays, noted with its origin, for the
  // next run to continue.
  bool Patch() {
    if (!PatchesInstalledFile(e_, f_)) return false;
    const std::string destination = Path(f_.local);
    const std::string assembly = platform::PartialFileOf(destination);
    const DownloadOrigin origin{f_.remote, InstalledSizeOf(f_), f_.version, f_.installed_digest};
    const KeptDownloads::Match kept = e_.KeptPartialDownloads.Take(assembly, origin);
    if (kept == KeptDownloads::Match::kChanged) Discard(assembly);
    Keep(NoteDownloadOf(e_.ExeDir, assembly, origin));
    // A name no entry's download has: ".updtmp.dltmp".
    const std::string index_download =
        Keep(NoteTemporaryFile(e_.ExeDir, assembly + std::string(kDownloadFileSuffix)));
    const ChunkPatchRequest request{f_.remote,         f_.handling.unpacks, f_.listed_size,
                                    InstalledSizeOf(f_), f_.chunk_index_digest, f_.installed_digest,
                                    destination,       index_download,      assembly,
                                    kept == KeptDownloads::Match::kSame};
    ChunkPatchOutcome outcome;
    try {
      outcome = PatchFromChunks(e_, request);
    } catch (const EDownloadError& failure) {
      if (failure.Failure() == DownloadFailure::kCutOff) {
        download_ = assembly;
        KeepCutOffDownload(origin.listed_size);
      }
      throw;
    }
    Discard(index_download);
    if (!outcome.assembled) {
      Discard(assembly);
      if (!outcome.fallback_reason.empty())
        e_.View.ReportRefusedName("entry \"" + f_.local + "\" fetched whole: " + outcome.fallback_reason);
      return false;
    }
    if (const int error = platform::ReplaceFile(assembly, destination, f_.execute); error != 0)
      throw EFOpenError("Cannot create file " + destination + ": " + platform::ErrorText(error));
    ++e_.RunBytes.Patched;
    return true;
  }

  // Downloads remote: for "O" into the partial file of the local name,
  // otherwise into the download file of the remote name, continuing the
  // partial download of the same origin that the run's sweep kept there.
  // kWhole when the byte count received equals the size field (converted
  // only now, after the download); a download that does not fit is
  // removed. A download cut off by an error other than a local file's
  // stays, noted with its origin, for the next run to continue. kReplaced
  // when the path no longer names the file the bytes went into (and were
  // counted and hashed in): what is there is left alone.
  Fetched Download() {
    if (!e_.Connection) throw Exception("Not connected");
    // The file check makes no folders: a listing entry needs the folder of
    // the file it repairs.
    if (!f_.handling.unpacks && f_.listed) RequireFolderPath(e_.ExeDir, f_.local);
    const std::string path = DownloadPath(e_, f_);
    const DownloadOrigin origin{f_.remote, f_.listed_size, f_.version, f_.digest};
    const KeptDownloads::Match kept = e_.KeptPartialDownloads.Take(path, origin);
    // A partial of an entry that changed since holds bytes of another file.
    if (kept == KeptDownloads::Match::kChanged) Discard(path);
    download_ = Keep(NoteDownloadOf(e_.ExeDir, path, origin));
    // A copy: the download pumps messages, and the connection may be replaced meanwhile.
    const std::shared_ptr<Transport> connection = e_.Connection;
    // Hashed beside the transfer, on the other core, as the bytes arrive.
    // An "O" download is the installed file: its digest answers for both.
    const std::string& installed_digest = f_.handling.unpacks ? kNoDigest : f_.installed_digest;
    std::optional<trust::BackgroundSha256> digest;
    ByteSink sink;
    if (!f_.digest.empty() || !installed_digest.empty()) {
      digest.emplace();
      sink = [&digest](std::string_view bytes, const std::shared_ptr<const void>& owner) {
        digest->Update(bytes, owner);
      };
    }
    try {
      connection->Download(f_.remote, download_, origin.listed_size, sink, kept == KeptDownloads::Match::kSame);
    } catch (const EDownloadError& failure) {  // the transport says what kind; see DownloadFailure
      switch (failure.Failure()) {
        case DownloadFailure::kOverrun:
          return Refuse(Fetched::kOverrun, "the server sent more of \"" + f_.remote + "\" than " +
                                               (f_.listed ? "its listed size (" + f_.size + ")"
                                                          : "the " + UnlistedLimitText() + " an unlisted file may hold"));
        case DownloadFailure::kLocal:
          throw;  // a local file that cannot be written (a full disk): what arrived goes
        case DownloadFailure::kCutOff:
        case DownloadFailure::kRefused:
          // What arrived is the file's beginning, for the next run to continue.
          KeepCutOffDownload(origin.listed_size);
          throw;
      }
      throw;
    }
    // Checked here, with nothing run in between up to its rename or its
    // unpacking: the verdicts below hold for the file received, not for
    // whatever another program may have put at its path meanwhile.
    if (const std::optional<platform::FileIdentity> written = connection->ReceivedFile();
        !written || platform::IdentityOfFile(download_) != *written) {
      Forget(download_);
      e_.View.ReportRefusedName("entry \"" + f_.local + "\" passed over: another program replaced the download of \"" +
                                f_.remote + "\" in the game folder");
      e_.View.EntryFailed();
      return Fetched::kReplaced;
    }
    if (!f_.listed) return Fetched::kWhole;
    const int64_t received = connection->BytesTotal();
    // Converted as the run-time library converts text (a sign, hexadecimal), in 64 bits.
    const int64_t listed = platform::StrToInt64(f_.size);
    if (received < listed)
      return Refuse(Fetched::kMismatch, "the server sent " + std::to_string(received) + " of the " + f_.size +
                                            " bytes of \"" + f_.remote + "\" that its list gives");
    if (received != listed)
      return Refuse(Fetched::kMismatch, "the server sent " + std::to_string(received) + " bytes of \"" + f_.remote +
                                            "\", not the " + f_.size + " that its list gives");
    const std::string received_digest = digest ? digest->Final() : "";
    if (!f_.digest.empty() && received_digest != f_.digest)
      return Refuse(Fetched::kDigestMismatch,
                    "the SHA-256 of \"" + f_.remote + "\" as received differs from the one its list gives");
    if (!installed_digest.empty() && received_digest != installed_digest) return RefuseInstalledDigest();
    return Fetched::kWhole;
  }

  // An "O" entry: puts the whole download in place of the local name.
  // Throws EFOpenError when the local name cannot be replaced.
  void PlaceDownload() {
    const std::string destination = Path(f_.local);
    if (const int error = platform::ReplaceFile(download_, destination, f_.execute); error != 0)
      throw EFOpenError("Cannot create file " + destination + ": " + platform::ErrorText(error));
  }

  // Unpacks the download into the local name, which it replaces only when
  // the data is whole and, for "E", within the listed installed size and of
  // the listed installed digest; the Unpack result. An unpack that runs into
  // a bound or differs from the digest has named the entry as passed over
  // (see PassedOverByUnpack). Throws EFOpenError when a folder on the way
  // cannot be created.
  int Unpack() {
    RequireFolderPath(e_.ExeDir, f_.local);
    const std::string destination = Path(f_.local);
    const std::string partial = Keep(BeginPartialFile(e_.ExeDir, destination));
    // An unpacked bundle lives only until it has been taken apart.
    if (f_.handling.bundle) Keep(NoteTemporaryFile(e_.ExeDir, destination));
    TGzip::Expectation expected;
    expected.execute = f_.execute;
    // Hashed on the other core as the unpacked bytes are written.
    std::optional<trust::BackgroundSha256> digest;
    if (!f_.handling.bundle) {
      expected.size = f_.installed_size_bound;
      if (!f_.installed_digest.empty()) {
        digest.emplace();
        expected.on_bytes = [&digest](std::string_view bytes) { digest->Update(bytes); };
        expected.accept = [this, &digest] { return digest->Final() == f_.installed_digest; };
      }
    }
    e_.Gzip.FileSource = download_;
    e_.Gzip.FileDestination = destination;
    const int status = e_.Gzip.Unpack(expected);
    Discard(download_);  // the unpacker deletes it, except when the destination could not be replaced
    Discard(partial);
    if (status == TGzip::kPastListedSize)
      ReportPassedOver("\"" + f_.remote + "\" unpacks to more than the " + f_.installed_size +
                       " bytes that its list gives");
    else if (status == TGzip::kNoRoom)
      ReportPassedOver("unpacking \"" + f_.remote + "\" would leave less than " +
                       std::to_string(TGzip::kKeptFree >> 20) + " MiB free on the disk");
    else if (status == TGzip::kRefused)
      RefuseInstalledDigest();
    return status;
  }

  // Extracts the unpacked bundle at the local name, then deletes it.
  BundleExtraction ExtractAndDelete() {
    const std::string bundle = Path(f_.local);
    const BundleExtraction result = ExtractBundle(e_.ExeDir, bundle);
    for (const std::string& sentence : result.skipped)
      e_.View.ReportRefusedName(f_.local + ": " + sentence);
    Discard(bundle);
    return result;
  }

  std::string RecordLine() const { return ::RecordLine(f_.local, f_.version); }

 private:
  std::string Path(const std::string& name) const {
    return platform::ResolveGameFileName(e_.ExeDir, name);
  }
  const std::string& Keep(const std::string& temporary) { return temporaries_.emplace_back(temporary); }
  // Leaves the download in place when it holds some bytes and fewer than
  // listed_size: one the next run may continue.
  void KeepCutOffDownload(int64_t listed_size) {
    const int64_t size = platform::FileSize(download_);
    if (size <= 0 || size >= listed_size) return;
    Forget(download_);
  }
  // Leaves the temporary file `path` where it is on the way out.
  void Forget(const std::string& path) {
    temporaries_.erase(std::remove(temporaries_.begin(), temporaries_.end(), path), temporaries_.end());
  }
  // Removes the download and names the entry as passed over for `reason`.
  Fetched Refuse(Fetched outcome, const std::string& reason) {
    Discard(download_);
    ReportPassedOver(reason);
    return outcome;
  }
  Fetched RefuseInstalledDigest() {
    return Refuse(Fetched::kDigestMismatch, "the SHA-256 of \"" + f_.local +
                                                "\" as it would be installed differs from the one its list gives");
  }
  void ReportPassedOver(const std::string& reason) {
    e_.View.ReportRefusedName("entry \"" + f_.local + "\" passed over: " + reason);
    e_.View.EntryFailed();
  }
  // Removes a temporary file if it is there; one that stays is reported.
  void Discard(const std::string& path) {
    if (std::string sentence = DiscardTemporaryFile(path); !sentence.empty()) e_.View.ReportRefusedName(sentence);
  }

  UpdateEngine& e_;
  const EntryFields& f_;
  std::string download_;                 // where the remote file is received
  std::vector<std::string> temporaries_;  // removed (if still there) at the end
};

// An unpack the entry installer has already named as passed over: the
// data ran into a bound or differs from its listed digest.
bool PassedOverByUnpack(int status) {
  return status == TGzip::kPastListedSize || status == TGzip::kNoRoom || status == TGzip::kRefused;
}

LineList& Record(UpdateEngine& e) {
  if (!e.RecordList) throw EListError("List index out of bounds (0)");
  return *e.RecordList;
}

void ReplaceRecordLine(UpdateEngine& e, const std::string& index_text, const std::string& line) {
  LineList& record = Record(e);
  const int index = platform::StrToInt(index_text);
  if (index < 0 || index >= static_cast<int>(record.size()))
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  record[index] = line;
}

EntryOutcome InUseStop(UpdateEngine& e) {
  const std::string text = SelectText(kFileInUse, e.LangLetter);
  if (!text.empty()) e.View.ShowBox(text, BoxIcon::kNone);
  e.View.CloseMainWindow();
  return EntryOutcome::kStopped;
}

// A signed set vouches for each file through its digest: an entry without
// a valid one is not fetched.
bool RefuseUndigested(UpdateEngine& e, const EntryFields& f) {
  if (!e.SignedSet || trust::IsSha256Hex(f.digest)) return false;
  e.View.ReportRefusedName("entry \"" + f.local + "\" passed over: the signed list gives no SHA-256 of \"" +
                           f.remote + "\" (field " + std::to_string(ServedDigestField(f.type.empty() ? ' ' : f.type[0])) +
                           ")");
  e.View.EntryFailed();
  return true;
}

// Why the entry's names must not be used, or "" when they may: a name that
// leaves the game folder, or leads out of it through a link among the
// folders of a file the entry writes (the local name; the remote name's
// download file unless the type is "O"), or that could be taken for one of
// the updater's temporary files, which the next run's sweep would delete.
std::string UnsafeNameReason(const UpdateEngine& e, const EntryFields& f) {
  for (const std::string* name : {&f.remote, &f.local}) {
    if (!platform::IsSafeRelativeName(*name)) return "the name \"" + *name + "\" leaves the game folder";
    if (platform::IsTemporaryFileName(*name))
      return "the name \"" + *name + "\" ends in a suffix of the updater's temporary files";
  }
  // Every type writes its local name, if only for the moment a bundle is taken apart.
  if (IsUpdaterStateFile(f.local)) return "the name \"" + f.local + "\" is a file the updater keeps its state in";
  for (const std::string* name : {&f.remote, &f.local}) {
    if (name == &f.remote && !f.handling.unpacks) continue;
    if (!platform::FoldersStayInside(e.ExeDir, platform::ResolveGameFileName(e.ExeDir, *name)))
      return "the name \"" + *name + "\" leads out of the game folder through a link";
  }
  return "";
}

bool RefuseUnsafeNames(UpdateEngine& e, const EntryFields& f) {
  const std::string reason = UnsafeNameReason(e, f);
  if (reason.empty()) return false;
  e.View.ReportRefusedName("entry \"" + f.local + "\" refused: " + reason);
  return true;
}

EntryOutcome ProcessChanged(UpdateEngine& e, const std::string& index, const EntryFields& f) {
  if (!f.handling.downloads) return EntryOutcome::kPassedOver;
  if (RefuseUnsafeNames(e, f) || RefuseUndigested(e, f)) return EntryOutcome::kPassedOver;
  EntryInstaller installer(e, f);
  if (installer.Patch()) {
    ReplaceRecordLine(e, index, installer.RecordLine());
    return EntryOutcome::kInstalled;
  }
  if (installer.Download() != EntryInstaller::Fetched::kWhole) return EntryOutcome::kPassedOver;
  if (!f.handling.unpacks) {
    installer.PlaceDownload();
  } else {
    // Damaged data or a file cut off by a full disk keeps the old record
    // line, so the next run offers the entry again; refused members of a
    // bundle do not keep the line from being replaced.
    if (installer.Unpack() != TGzip::kUnpacked) return EntryOutcome::kPassedOver;
    if (f.handling.bundle && installer.ExtractAndDelete().unwritable > 0) return EntryOutcome::kPassedOver;
  }
  ReplaceRecordLine(e, index, installer.RecordLine());
  return EntryOutcome::kInstalled;
}

// A package whose bundle cannot be installed whole stops the run: its
// import would work on missing sources.
[[noreturn]] void PackageNotInstalled(const EntryFields& f, const std::string& reason) {
  throw Exception("Cannot install " + f.local + ": " + reason);
}

EntryOutcome ProcessNew(UpdateEngine& e, const EntryFields& f, bool FromCheck) {
  if (!f.handling.downloads) return EntryOutcome::kPassedOver;
  if (RefuseUnsafeNames(e, f) || RefuseUndigested(e, f)) return EntryOutcome::kPassedOver;
  EntryInstaller installer(e, f);
  if (installer.Patch()) {
    if (!FromCheck) Record(e).push_back(installer.RecordLine());
    return EntryOutcome::kInstalled;
  }
  if (installer.Download() != EntryInstaller::Fetched::kWhole) return EntryOutcome::kPassedOver;
  if (!f.handling.unpacks) {
    installer.PlaceDownload();
  } else {
    const int unpacked = installer.Unpack();
    if (!f.handling.imports) {
      // Damaged data has had its box; the entry is offered again next run.
      // A bundle that could not be unpacked is never taken apart.
      if (unpacked == TGzip::kDamaged || PassedOverByUnpack(unpacked)) return EntryOutcome::kPassedOver;
      if (unpacked != TGzip::kUnpacked) return InUseStop(e);
      if (f.handling.bundle && !installer.ExtractAndDelete().Succeeded()) return InUseStop(e);
    } else {
      if (PassedOverByUnpack(unpacked)) return EntryOutcome::kPassedOver;
      if (unpacked != TGzip::kUnpacked) PackageNotInstalled(f, "its download could not be unpacked");
      const BundleExtraction extraction = installer.ExtractAndDelete();
      if (!extraction.Succeeded()) PackageNotInstalled(f, extraction.skipped.front());
      const std::string command = ImportCommandLine(f.type, f.package, NameStem(f.remote));
      if (platform::WinExec(e.ExeDir, command, ImportShowMode(f.type)) <= 31)
        return EntryOutcome::kPassedOver;
    }
  }
  if (!FromCheck) Record(e).push_back(installer.RecordLine());
  return EntryOutcome::kInstalled;
}

}  // namespace

std::string ImportCommandLine(const std::string& type, const std::string& package,
                              const std::string& stem) {
  std::string kind, folder;
  if (type == "T") {
    kind = "texture", folder = "Textures";
  } else if (type == "A") {
    kind = "SkelAnim", folder = "Animations";
  } else if (type == "S") {
    kind = "staticmesh", folder = "StaticMeshes";
  } else if (type == "W") {
    kind = "sound", folder = "sounds";
  } else {
    return "";
  }
  return "System\\PKG pkg import " + kind + " ..\\" + folder + "\\" + package + " ..\\" + stem;
}

int ImportShowMode(const std::string& type) { return type == "T" ? 1 : 0; }

int64_t ListedSize(const std::string& size_field) { return platform::DecimalField(size_field).value_or(-1); }

namespace {

// The digest of the served file as `entry` lists it: "" when the field
// holds no digest and the set is unsigned (older lists may carry other
// text there; a signed set is refused without one).
std::string ListedDigest(const UpdateEngine& e, const ServerEntry& entry) {
  if (!e.SignedSet && !trust::IsSha256Hex(entry.served_sha256)) return "";
  return entry.served_sha256;
}

// The installed file's digest, "" when the field holds no digest.
std::string ListedInstalledDigest(const ServerEntry& entry) {
  return trust::IsSha256Hex(entry.installed_sha256) ? entry.installed_sha256 : "";
}

// A pending line taken apart: a changed file ("U <record index> <server
// line>") or a new one.
struct PendingInstall {
  bool changed = false;
  std::string record_index;
  EntryFields f;
};

PendingInstall ParsePendingLine(const UpdateEngine& e, const std::string& line) {
  const PendingEntry pending = ParsePendingEntry(line);
  const ServerEntry& entry = pending.server.entry;
  EntryFields f{entry.type == 0 ? "" : std::string(1, entry.type), entry.remote, entry.local, entry.version,
                entry.size_text, entry.package, entry.size, HandlingOf(entry.type, pending.changed),
                ListedDigest(e, entry), ListedInstalledDigest(entry), "", -1,
                ListedExecuteBits(entry.execute_flag), entry.remote};
  // Only an "E" unpacking is bounded by the installed size; an "O" file is bounded by field 5.
  if (InstalledSizeField(entry.Letter()) != 0) {
    f.installed_size = entry.installed_size_text;
    f.installed_size_bound = entry.InstalledSize();
  }
  f.chunk_index_digest = entry.delta_index_sha256;
  return {pending.changed, pending.record_index, f};
}

}  // namespace

EntryOutcome ProcessEntry(UpdateEngine& e, const std::string& line, bool FromCheck) {
  const PendingInstall entry = ParsePendingLine(e, line);
  if (entry.changed) return ProcessChanged(e, entry.record_index, entry.f);
  return ProcessNew(e, entry.f, FromCheck);
}

AheadPlan PlanEntryDownload(UpdateEngine& e, const std::string& line, int index) {
  const PendingInstall entry = ParsePendingLine(e, line);
  const EntryFields& f = entry.f;
  if (!f.handling.downloads || !UnsafeNameReason(e, f).empty()) return {};
  if (e.SignedSet && !trust::IsSha256Hex(f.digest)) return {};
  // A patch fetches only parts of the served file, in the entry's turn.
  if (PatchesInstalledFile(e, f)) return {};
  const std::string local_path = DownloadPath(e, f);
  // The folder is made in the entry's turn (or an earlier entry's): made
  // now, it could take the spelling of a later entry's name.
  if (!platform::DirectoryExists(local_path.substr(0, local_path.rfind('/') + 1))) return {std::nullopt, true};
  // A partial kept from an earlier run is continued in the entry's turn.
  if (e.KeptPartialDownloads.Holds(local_path)) return {};
  const std::string ahead_path =
      NoteTemporaryFile(e.ExeDir, local_path + std::string(kAheadFileSuffix) + std::to_string(index));
  return {PlannedDownload{f.remote, local_path, ahead_path, f.listed_size}, false};
}

bool InstallUnlistedDownload(UpdateEngine& e, const UnlistedDownload& download) {
  const char type = download.unpacks ? 'E' : 'O';
  EntryFields f{std::string(1, type), download.remote, download.local, "", "", "", -1, HandlingOf(type, false),
                "", "", "", -1, download.execute, download.received_beside, false};
  EntryInstaller installer(e, f);
  if (installer.Download() != EntryInstaller::Fetched::kWhole) return false;
  if (!f.handling.unpacks) {
    installer.PlaceDownload();
    return true;
  }
  return installer.Unpack() == TGzip::kUnpacked;
}
