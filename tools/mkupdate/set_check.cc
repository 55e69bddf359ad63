#include "set_check.h"

#include <cstdint>
#include <map>

#include "bundle_format.h"
#include "delta/chunk_index.h"
#include "gzip_stream.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "progress.h"
#include "release_tree.h"
#include "server_folder.h"
#include "server_list.h"
#include "lists/digest_fields.h"
#include "lists/list_file.h"
#include "lists/server_entry.h"
#include "set_signing.h"
#include "trust/sha256.h"

namespace mkupdate {

namespace {

// Decompresses the whole file (so every check value is verified) and
// returns the decompressed size and its last `tail_size` bytes. The
// digests take the file as stored and as decompressed.
int64_t ReadPayload(const std::string& path, size_t tail_size, std::string& tail, Progress& progress,
                    trust::Sha256Stream& stored, trust::Sha256Stream& unpacked) {
  PayloadReader reader(path, &stored);
  std::vector<char> block(kStreamBlock);
  int64_t total = 0;
  for (size_t got; (got = reader.Read(block.data(), block.size())) > 0;) {
    unpacked.Update(std::string_view(block.data(), got));
    total += static_cast<int64_t>(got);
    tail.append(block.data(), got);
    if (tail.size() > tail_size) tail.erase(0, tail.size() - tail_size);
  }
  progress.AddBytes(platform::FileSize(path));  // counted in server-file bytes
  return total;
}

// Compares a digest of the list (field `field`) with the file's.
void CheckDigest(const std::string& who, const std::string& listed, int field, const std::string& actual,
                 const char* which, bool required, std::vector<std::string>& problems) {
  std::string where = " (field " + std::to_string(field) + ")";
  if (listed.empty()) {
    if (required)
      problems.push_back(who + "no SHA-256 of the " + which + where + ", which players with update.pub need; "
                               "publish the set again with this mkupdate");
  } else if (!trust::IsSha256Hex(listed)) {
    problems.push_back(who + "\"" + listed + "\"" + where + " is not a SHA-256 (64 lower-case hex digits)");
  } else if (listed != actual) {
    problems.push_back(who + "the SHA-256 of the " + which + where + " differs from the list's: the file changed "
                             "after publishing");
  }
}

// The chunk index of field 10, when the line lists one: present beside the
// server file with that digest, and an index of this entry's files.
void CheckChunkIndex(const ListedEntry& entry, const std::string& server_dir, const std::string& who,
                     std::vector<std::string>& problems) {
  if (entry.delta_index_sha256.empty()) return;
  const std::string name = delta::ChunkIndexName(entry.remote);
  const std::string field = " (field " + std::to_string(DeltaIndexField(entry.type)) + ")";
  if (!trust::IsSha256Hex(entry.delta_index_sha256))
    return problems.push_back(who + "\"" + entry.delta_index_sha256 + "\"" + field +
                              " is not a SHA-256 (64 lower-case hex digits)");
  std::string bytes;
  try {
    bytes = platform::ReadWholeFile(InFolder(server_dir, name));
  } catch (const Exception& error) {  // a missing index is one problem of the set
    return problems.push_back(who + "the chunk index " + name + " cannot be read: " + error.what());
  }
  trust::Sha256Stream digest;
  digest.Update(bytes);
  if (digest.Final() != entry.delta_index_sha256)
    return problems.push_back(who + "the SHA-256 of the chunk index " + name + field +
                              " differs from the list's: the file changed after publishing");
  const delta::ChunkIndexParse parse = delta::ParseChunkIndex(bytes);
  if (!parse.Valid()) return problems.push_back(who + "the chunk index " + name + " is refused: " + parse.reason);
  const bool gzip = HandlingOf(entry.type, false).unpacks;
  const int64_t installed = gzip ? entry.InstalledSize() : entry.size;
  if ((parse.index.form == delta::ServedForm::kFlushedGzip) != gzip ||
      static_cast<int64_t>(parse.index.served_size) != entry.size ||
      static_cast<int64_t>(parse.index.installed_size) != installed)
    problems.push_back(who + "the chunk index " + name + " describes another file (" +
                       std::to_string(parse.index.served_size) + " bytes served, " +
                       std::to_string(parse.index.installed_size) + " installed)");
}

void CheckEntryFile(const ListedEntry& entry, const std::string& path, bool digests_required,
                    std::vector<std::string>& problems, Progress& progress) {
  std::string who = "line " + std::to_string(entry.line) + " " + entry.local + " (" + entry.remote + "): ";
  int64_t size = platform::FileSize(path);
  if (entry.size < 0)
    problems.push_back(who + "size \"" + entry.size_text + "\" is not a decimal number the updater can read "
                             "(0..9223372036854775807)");
  else if (size != entry.size)
    problems.push_back(who + "the list says " + entry.size_text + " bytes, the server file has " +
                       std::to_string(size));
  if (!entry.execute_flag.empty() && entry.execute_flag != kExecutableFlag && entry.execute_flag != kNotExecutableFlag)
    problems.push_back(who + "mode flag \"" + entry.execute_flag + "\" (field " +
                       std::to_string(ExecuteFlagField(entry.type)) + ") is neither \"" +
                       std::string(kExecutableFlag) + "\" nor \"" + std::string(kNotExecutableFlag) +
                       "\"; the updater leaves the file's execute bits as they are");
  auto served = [&](const std::string& digest) {
    CheckDigest(who, entry.served_sha256, ServedDigestField(entry.type), digest, "served file", digests_required,
                problems);
  };
  auto installed = [&](const std::string& digest) {
    CheckDigest(who, entry.installed_sha256, InstalledDigestField(entry.type), digest, "installed file",
                digests_required, problems);
  };
  // The served file's digest, read whole; empty (and a problem) when it cannot be read.
  auto stored_digest = [&]() -> std::string {
    progress.AddBytes(size);
    try {
      return trust::Sha256File(path);
    } catch (const Exception& error) {  // an unreadable file is one problem of the set, not the end of the check
      problems.push_back(who + error.what());
      return "";
    }
  };
  const EntryHandling handling = HandlingOf(entry.type, false);
  if (!handling.unpacks) {
    std::string digest = stored_digest();
    if (digest.empty()) return;
    served(digest);
    // Installed as served: the same digest twice is judged once.
    if (entry.installed_sha256 != entry.served_sha256) installed(digest);
    return;
  }
  if (!HasGzipSignature(path)) {
    problems.push_back(who + "not gzip-compressed, but type " + std::string(1, entry.type) + " entries are");
    std::string digest = stored_digest();
    if (!digest.empty()) served(digest);
    return;
  }
  const bool bundle = handling.bundle;
  std::string tail;
  int64_t unpacked_size;
  trust::Sha256Stream stored, unpacked;
  try {
    unpacked_size = ReadPayload(path, bundle ? kBundleTrailerSize : 0, tail, progress, stored, unpacked);
  } catch (const Exception& error) {
    problems.push_back(who + error.what());
    return;
  }
  served(stored.Final());
  if (!bundle) {
    installed(unpacked.Final());
    return;
  }
  BundleTrailer trailer = tail.size() == kBundleTrailerSize ? DecodeBundleTrailer(tail) : BundleTrailer{};
  for (const std::string& problem : BundleProblems(trailer, unpacked_size))
    problems.push_back(who + "bundle " + problem);
}

}  // namespace

std::vector<std::string> CheckServerFolder(const std::string& server_dir) {
  std::vector<std::string> problems;
  std::string list_path = InFolder(server_dir, kServerListName);
  if (!platform::FileExists(list_path)) return {list_path + ": missing"};
  ServerListFile list = ParseServerList(LoadListFile(list_path));
  problems = list.problems;

  std::map<size_t, int> widths;
  std::map<std::string, int> first_line;
  int64_t total = 0;
  for (const ListedEntry& entry : list.entries) {
    ++widths[entry.version.size()];
    total += std::max<int64_t>(0, platform::FileSize(InFolder(server_dir, entry.remote)));
  }
  size_t usual_width = 0;
  int most = 0;
  for (auto [width, count] : widths)
    if (count > most) usual_width = width, most = count;

  std::vector<std::string> listing = ListServerFolder(server_dir);
  bool signed_set = platform::FileExists(list_path + kSignatureSuffix);
  Progress progress("checking", total, static_cast<int64_t>(list.entries.size()));
  for (const ListedEntry& entry : list.entries) {
    std::string who = "line " + std::to_string(entry.line) + " " + entry.local + ": ";
    auto [seen, fresh] = first_line.emplace(AsciiUpper(entry.local), entry.line);
    if (!fresh) problems.push_back(who + "the local name is already listed on line " + std::to_string(seen->second));
    if (!platform::IsSafeRelativeName(entry.local))
      problems.push_back(who + "the local name is not a relative name inside the game folder");
    if (entry.version.empty())
      problems.push_back(who + "no version");
    else if (entry.version.size() != usual_width)
      problems.push_back(who + "version \"" + entry.version + "\" is " + std::to_string(entry.version.size()) +
                         " characters wide, the others " + std::to_string(usual_width) +
                         " (the updater compares versions as text)");
    if (HandlingOf(entry.type, false).imports && entry.package.empty())
      problems.push_back(who + "a type " + std::string(1, entry.type) + " entry needs a package name (field 6)");
    if (entry.remote.find_first_of("/\\") != std::string::npos || entry.remote == "." || entry.remote == "..") {
      problems.push_back(who + "the server name \"" + entry.remote + "\" is not a plain file name");
      progress.FileDone();
      continue;
    }
    std::string path = InFolder(server_dir, entry.remote);
    if (!platform::FileExists(path)) {
      std::string near;
      for (const std::string& name : listing)
        if (SameNameIgnoringCase(name, entry.remote)) near = " (there is " + name + "; server names are exact)";
      problems.push_back(who + "the server file " + entry.remote + " is missing" + near);
    } else {
      CheckEntryFile(entry, path, signed_set, problems, progress);
      CheckChunkIndex(entry, server_dir, "line " + std::to_string(entry.line) + " " + entry.local + " (" +
                                             entry.remote + "): ", problems);
    }
    progress.FileDone();
  }
  return problems;
}

}  // namespace mkupdate
