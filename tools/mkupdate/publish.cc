#include "publish.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "bundle_source.h"
#include "delta/chunk_index.h"
#include "file_io.h"
#include "lists/digest_fields.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "previous_set.h"
#include "publish_plan.h"
#include "remote_names.h"
#include "server_folder.h"
#include "server_list.h"
#include "set_signing.h"
#include "trust/sha256.h"
#include "unit_content.h"
#include "version.h"

namespace mkupdate {

namespace {

namespace fs = std::filesystem;

struct PlannedEntry {
  const PublishUnit* unit = nullptr;
  std::unique_ptr<BundleSource> bundle;
  const ListedEntry* old = nullptr;
  bool unchanged = false;
  UnitDigests kept;  // of an unchanged entry's files, taken while comparing
  bool indexed = false;  // a chunk index is made (new and changed) or kept (unchanged)
  std::string temp_path;
  std::string index_temp_path;
  ProducedFile produced;
  ListedEntry line;  // the entry of the new list
};

std::vector<PlannedEntry> PlanEntries(const std::vector<PublishUnit>& units, const PreviousSet& previous) {
  std::vector<PlannedEntry> plan(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    plan[i].unit = &units[i];
    if (units[i].is_bundle) plan[i].bundle = std::make_unique<BundleSource>(LayOutBundle(units[i].local, units[i].files));
    plan[i].old = previous.Find(units[i]);
  }
  return plan;
}

// The installed size an entry of `type` lists for `unit`: its one file's
// size for "E", which bounds what the updater's unpacking may write, and
// for "O", where it only keeps the mode flag in its field.
std::string InstalledSizeText(char type, const PublishUnit& unit) {
  if (ExecuteFlagField(type) == 0 || unit.is_bundle) return "";
  return std::to_string(unit.files[0].size);
}

// The mode flag an entry of `type` lists for `unit`, "" for bundles.
std::string ExecuteFlagText(char type, const PublishUnit& unit) {
  if (ExecuteFlagField(type) == 0 || unit.is_bundle) return "";
  return std::string(unit.files[0].executable ? kExecutableFlag : kNotExecutableFlag);
}

// True when the server's line already gives players the unit's execute
// bits: the same flag, or none (an older list) for a file that is not
// executable, which players' updaters leave as they are.
bool ServerHoldsMode(const PublishUnit& unit, const ListedEntry& old) {
  const std::string flag = ExecuteFlagText(old.type, unit);
  return old.execute_flag == flag || (old.execute_flag.empty() && flag != kExecutableFlag);
}

// True when the unit is one file large enough for a chunk index.
bool WantsIndex(const PublishUnit& unit, int64_t delta_min) {
  return !unit.is_bundle && delta_min > 0 && unit.files[0].size >= delta_min;
}

// True when the index file beside the server file of `old` still has the
// digest the line lists.
bool ServerHoldsIndex(const ListedEntry& old, const std::string& server_dir) {
  if (old.delta_index_sha256.empty()) return false;
  try {
    return trust::Sha256File(InFolder(server_dir, delta::ChunkIndexName(old.remote))) == old.delta_index_sha256;
  } catch (const Exception&) {  // missing or unreadable: the entry goes without an index
    return false;
  }
}

// The names of the index files of the E and O entries in `entries`.
std::set<std::string> IndexNames(const std::vector<const ListedEntry*>& entries) {
  std::set<std::string> names;
  for (const ListedEntry* entry : entries)
    if (DeltaIndexField(entry->type) != 0) names.insert(delta::ChunkIndexName(entry->remote));
  return names;
}

// Decides which entries the server already holds, comparing contents.
void FindUnchanged(std::vector<PlannedEntry>& plan, const PreviousSet& previous, const std::string& server_dir) {
  int64_t bytes = 0, files = 0;
  for (const PlannedEntry& entry : plan)
    if (entry.old) bytes += entry.unit->source_size, ++files;
  Progress progress("checking   ", bytes, files);
  for (PlannedEntry& entry : plan) {
    if (!entry.old) continue;
    entry.unchanged = !previous.interrupted.count(AsciiUpper(entry.old->local)) &&
                      ServerHoldsMode(*entry.unit, *entry.old) &&
                      ServerHoldsUnit(*entry.unit, entry.bundle.get(), *entry.old,
                                      InFolder(server_dir, entry.old->remote), progress, entry.kept);
    progress.FileDone();
  }
}

// Writes the server file of every new or changed entry under a temporary name.
void ProduceChanged(std::vector<PlannedEntry>& plan, TempFiles& temps, int level, int64_t delta_min) {
  int64_t bytes = 0, files = 0;
  for (const PlannedEntry& entry : plan)
    if (!entry.unchanged) bytes += entry.unit->source_size, ++files;
  Progress progress("compressing", bytes, files);
  for (PlannedEntry& entry : plan) {
    if (entry.unchanged) continue;
    entry.temp_path = temps.NewPath();
    entry.indexed = WantsIndex(*entry.unit, delta_min);
    entry.produced = ProduceUnit(*entry.unit, entry.bundle.get(), entry.temp_path, level, entry.indexed, progress);
    if (entry.indexed) {
      entry.index_temp_path = temps.NewPath();
      OutputFile index(entry.index_temp_path);
      index.Write(entry.produced.chunk_index);
      index.Close();
    }
    progress.FileDone();
  }
}

// Fills each entry's line of the new list: unchanged lines as they were;
// new and changed ones with this version and a server name (kept when the
// entry keeps its type, so the file is replaced in place).
void MakeLines(std::vector<PlannedEntry>& plan, const std::vector<ReleaseFile>& release,
               const std::string& server_dir, const PreviousSet& previous, const std::string& version,
               int64_t delta_min) {
  std::vector<std::string> reserved, listed{kServerListName, kBulletinName,
                                           std::string(kServerListName) + kSignatureSuffix,
                                           std::string(kBulletinName) + kSignatureSuffix};
  for (const ReleaseFile& file : release)
    if (file.name.find('\\') == std::string::npos) reserved.push_back(file.name);
  std::set<std::string> ours;
  std::vector<const ListedEntry*> old_entries;
  for (const ListedEntry& entry : previous.list.entries) ours.insert(entry.remote), old_entries.push_back(&entry);
  ours.merge(IndexNames(old_entries));
  for (const std::string& name : ListServerFolder(server_dir))
    if (!ours.count(name)) listed.push_back(name);  // foreign files are never overwritten
  for (const PlannedEntry& entry : plan)
    if (entry.unit->is_bundle && entry.unit->local.find('\\') == std::string::npos)
      reserved.push_back(entry.unit->local);
  RemoteNamer namer(reserved, listed);

  for (PlannedEntry& entry : plan) {
    if (entry.unchanged) {
      entry.line = *entry.old;
      entry.line.served_sha256 = entry.kept.served;
      entry.line.installed_sha256 = entry.kept.installed;
      entry.line.installed_size_text = InstalledSizeText(entry.line.type, *entry.unit);
      entry.line.execute_flag = ExecuteFlagText(entry.line.type, *entry.unit);
      entry.indexed = WantsIndex(*entry.unit, delta_min) && ServerHoldsIndex(*entry.old, server_dir);
      entry.indexed = namer.Keep(entry.line.remote, entry.indexed) && entry.indexed;
      if (!entry.indexed) entry.line.delta_index_sha256.clear();
    } else if (entry.old && entry.produced.type == entry.old->type) {
      entry.line.remote = entry.old->remote;
      entry.indexed = namer.Keep(entry.line.remote, entry.indexed) && entry.indexed;
    }
  }
  for (PlannedEntry& entry : plan) {
    if (entry.unchanged) continue;
    ListedEntry& line = entry.line;
    line.type = entry.produced.type;
    line.local = entry.unit->local;
    if (entry.old && entry.unit->is_bundle && entry.unit->type != 'C')
      line.local = NextBundleRevisionName(entry.unit->local, entry.old->local);
    if (line.remote.empty()) line.remote = namer.Assign(line.type, line.local, entry.indexed);
    line.version = version;
    line.size_text = std::to_string(entry.produced.size);
    line.package = entry.unit->package;
    line.served_sha256 = entry.produced.digests.served;
    line.installed_sha256 = entry.produced.digests.installed;
    line.installed_size_text = InstalledSizeText(line.type, *entry.unit);
    line.execute_flag = ExecuteFlagText(line.type, *entry.unit);
    line.delta_index_sha256.clear();
    if (entry.indexed) {
      trust::Sha256Stream digest;
      digest.Update(entry.produced.chunk_index);
      line.delta_index_sha256 = digest.Final();
    }
  }
}

bool OneFolderHoldsTheOther(const std::string& a, const std::string& b) {
  std::string real_a = fs::weakly_canonical(a).string() + "/", real_b = fs::weakly_canonical(b).string() + "/";
  return real_a.rfind(real_b, 0) == 0 || real_b.rfind(real_a, 0) == 0;
}

// The file check measures installed files against "datec.dat"; a list
// written before the release last changed would send players' checks
// after files that are fine.
void WarnIfReferenceListIsStale(const std::vector<ReleaseFile>& release, std::ostream& out) {
  const ReleaseFile* datec = nullptr;
  for (const ReleaseFile& file : release)
    if (SameNameIgnoringCase(file.name, "datec.dat")) datec = &file;
  if (!datec) return;
  int newer = 0;
  for (const ReleaseFile& file : release) newer += file.mtime > datec->mtime ? 1 : 0;
  if (newer > 0)
    out << "warning: datec.dat is older than " << newer << " file(s) of the release; run mkupdate datec "
        << "before publishing\n";
}

}  // namespace

void Publish(const PublishOptions& options, std::ostream& out) {
  if (!platform::DirectoryExists(options.game_dir)) throw Exception("No game folder " + options.game_dir);
  if (OneFolderHoldsTheOther(options.game_dir, options.server_dir))
    throw Exception("The game folder and the server folder must be apart: one holds the other");
  std::optional<trust::SecretKey> key;
  if (!options.sign_key_path.empty())
    key = LoadSigningKey(options.sign_key_path, options.server_dir, options.game_dir);
  MakeServerFolder(options.server_dir);
  ServerFolderLock lock(options.server_dir);
  if (key) RefuseClockBehindSignature(options.server_dir, options.now);
  TempFiles temps(options.server_dir);
  temps.RemoveLeftovers();

  std::vector<std::string> scan_problems;
  std::vector<ReleaseFile> release = ScanRelease(options.game_dir, {}, scan_problems);
  if (!scan_problems.empty()) {
    std::string text = "Cannot publish these files:";
    for (const std::string& p : scan_problems) text += "\n" + p;
    throw Exception(text);
  }
  Rules rules;
  if (!options.rules_path.empty())
    rules = ParseRules(platform::ReadWholeFile(options.rules_path), options.rules_path);
  std::vector<PublishUnit> units = PlanUnits(release, rules);
  PreviousSet previous = LoadPreviousSet(options.server_dir, out);

  std::vector<PlannedEntry> plan = PlanEntries(units, previous);
  FindUnchanged(plan, previous, options.server_dir);
  bool any_change = false;
  for (const PlannedEntry& entry : plan) any_change = any_change || !entry.unchanged;
  std::string version = any_change ? ChooseReleaseVersion(previous, options.version, options.now) : "";
  ProduceChanged(plan, temps, options.level, options.delta_min);
  MakeLines(plan, release, options.server_dir, previous, version, options.delta_min);

  // The new list: surviving entries where they stood, new ones after them.
  std::map<int, const ListedEntry*> by_old_line;
  std::vector<const ListedEntry*> added;
  std::vector<std::string> replacing;
  std::set<std::string> new_remotes;
  int counts[3] = {0, 0, 0};  // new, changed, unchanged
  for (const PlannedEntry& entry : plan) {
    const ListedEntry& line = entry.line;
    new_remotes.insert(line.remote);
    if (entry.old) by_old_line[entry.old->line] = &line; else added.push_back(&line);
    if (entry.unchanged) {
      ++counts[2];
      continue;
    }
    ++counts[entry.old ? 1 : 0];
    out << (entry.old ? "changed " : "new     ") << line.type << " " << line.local << " -> " << line.remote << " ("
        << line.size_text << " bytes";
    if (entry.indexed) out << ", chunk index " << entry.produced.chunk_index.size() << " bytes";
    out << ")\n";
    if (entry.old && line.remote == entry.old->remote) replacing.push_back(entry.old->local);
  }
  LineList lines{MakeHeader(GreatestVersion({previous.list.last_issued, version}))};
  for (const auto& [number, line] : by_old_line) lines.push_back(line->Format());
  for (const ListedEntry* line : added) lines.push_back(line->Format());

  // Commit: new files into place, then the list by rename. Files replaced
  // in place are named in a marker first, so that a publish stopped before
  // the list is written does not later take them for unchanged.
  std::vector<std::string> produced;
  for (const PlannedEntry& entry : plan) {
    if (entry.unchanged) continue;
    produced.push_back(entry.temp_path);
    if (entry.indexed) produced.push_back(entry.index_temp_path);
  }
  SyncFiles(produced);
  if (!replacing.empty()) WriteReplacingMarker(options.server_dir, replacing);
  for (const PlannedEntry& entry : plan) {
    if (entry.unchanged) continue;
    RenameFile(entry.temp_path, InFolder(options.server_dir, entry.line.remote));
    temps.Release(entry.temp_path);
    if (!entry.indexed) continue;
    RenameFile(entry.index_temp_path, InFolder(options.server_dir, delta::ChunkIndexName(entry.line.remote)));
    temps.Release(entry.index_temp_path);
  }
  SyncFolder(options.server_dir);
  // The signature is made before the list is in place and follows it at
  // once, so that players meet a list without its signature only briefly.
  const std::string list_text = JoinLines(lines);
  const std::string list_path = InFolder(options.server_dir, kServerListName);
  std::string signature =
      key ? SignatureFileFor(*key, kServerListName, list_text, options.now, options.expiry_days) : "";
  platform::WriteFileAtomically(list_path, list_text);
  if (key) platform::WriteFileAtomically(list_path + kSignatureSuffix, signature);
  SyncFolder(options.server_dir);
  ClearReplacingMarker(options.server_dir);

  std::set<int> matched;
  std::set<std::string> new_indexes;
  for (const PlannedEntry& entry : plan) {
    if (entry.old) matched.insert(entry.old->line);
    if (entry.indexed) new_indexes.insert(delta::ChunkIndexName(entry.line.remote));
  }
  int dropped = 0;
  for (const ListedEntry& entry : previous.list.entries) {
    if (!matched.count(entry.line)) {
      ++dropped;
      out << "dropped " << entry.local << " (players keep their copy: the updater never deletes files)\n";
    }
    if (!new_remotes.count(entry.remote) && platform::DeleteFile(InFolder(options.server_dir, entry.remote)))
      out << "removed " << entry.remote << " from the server folder\n";
    for (const std::string& index : IndexNames({&entry}))
      if (!new_indexes.count(index) && !new_remotes.count(index) &&
          platform::DeleteFile(InFolder(options.server_dir, index)))
        out << "removed " << index << " from the server folder\n";
  }

  std::vector<InstalledFile> installed;
  for (const PlannedEntry& entry : plan)
    for (const ReleaseFile& file : entry.unit->files)
      installed.push_back({file.name, entry.unit->is_bundle ? "" : entry.line.remote});
  for (const std::string& warning : RepairWarnings(installed, ListServerFolder(options.server_dir)))
    out << "warning: " << warning << "\n";
  WarnIfReferenceListIsStale(release, out);
  if (!key && platform::FileExists(list_path + kSignatureSuffix))
    out << "warning: " << kServerListName << kSignatureSuffix << " signs the list as it was before; players with "
        << "update.pub refuse the new one until it is signed (mkupdate sign, or publish with --sign)\n";
  if (key) {
    out << SignedReport(kServerListName, *key, options.now, options.expiry_days) << "\n";
    SignBulletin(options.server_dir, *key, options.now, options.expiry_days, out);
  }
  out << "published " << lines.size() - 1 << " entries to " << options.server_dir << " (" << counts[0] << " new, "
      << counts[1] << " changed, " << counts[2] << " unchanged, " << dropped << " dropped)";
  if (!version.empty()) out << ", version " << version;
  out << "\n";
}

}  // namespace mkupdate
