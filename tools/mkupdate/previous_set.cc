#include "previous_set.h"

#include <cstdio>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "release_tree.h"
#include "server_folder.h"
#include "lists/list_file.h"
#include "lists/server_entry.h"
#include "version.h"

namespace mkupdate {

namespace {

const std::string kReplacingMarker = std::string(kToolFilePrefix) + "replacing";

// n when local is rule_local + "~" + n (ignoring case), 1 when it is
// rule_local itself, 0 otherwise.
int RevisionOf(const std::string& rule_local, const std::string& local) {
  std::string rule = AsciiUpper(rule_local), name = AsciiUpper(local);
  if (name == rule) return 1;
  if (name.size() < rule.size() + 2 || name.compare(0, rule.size(), rule) != 0 || name[rule.size()] != '~') return 0;
  int n = 0;
  for (size_t i = rule.size() + 1; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || n > 100000000) return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

}  // namespace

const ListedEntry* PreviousSet::Find(const PublishUnit& unit) const {
  auto found = by_local.find(AsciiUpper(unit.local));
  if (found != by_local.end()) return &list.entries[found->second];
  if (!unit.is_bundle || !HandlingOf(unit.type, false).imports) return nullptr;
  for (const auto& [key, index] : by_local)
    if (RevisionOf(unit.local, list.entries[index].local) > 1) return &list.entries[index];
  return nullptr;
}

PreviousSet LoadPreviousSet(const std::string& server_dir, std::ostream& out) {
  PreviousSet previous;
  std::string list_path = InFolder(server_dir, kServerListName);
  if (platform::FileExists(list_path)) previous.list = ParseServerList(LoadListFile(list_path));
  for (const std::string& problem : previous.list.problems) out << "note: dropping " << problem << "\n";
  for (size_t i = 0; i < previous.list.entries.size(); ++i) {
    const ListedEntry& entry = previous.list.entries[i];
    if (!previous.by_local.emplace(AsciiUpper(entry.local), i).second)
      out << "note: dropping update3.dat line " << entry.line << ": " << entry.local << " is listed twice\n";
  }
  std::string marker = InFolder(server_dir, kReplacingMarker);
  if (platform::FileExists(marker))
    for (const std::string& name : LoadListFile(marker)) previous.interrupted.insert(AsciiUpper(name));
  return previous;
}

void WriteReplacingMarker(const std::string& server_dir, const std::vector<std::string>& locals) {
  std::string text;
  for (const std::string& local : locals) text += local + "\r\n";
  platform::WriteFileAtomically(InFolder(server_dir, kReplacingMarker), text);
}

void ClearReplacingMarker(const std::string& server_dir) {
  std::remove(InFolder(server_dir, kReplacingMarker).c_str());
}

std::string ChooseReleaseVersion(const PreviousSet& previous, const std::string& forced, std::time_t now) {
  std::set<size_t> widths;
  std::vector<std::string> versions;
  for (const auto& [key, index] : previous.by_local) {
    versions.push_back(previous.list.entries[index].version);
    widths.insert(previous.list.entries[index].version.size());
  }
  size_t width = widths.empty() ? kDefaultVersionWidth : *widths.begin();
  const std::string& last = previous.list.last_issued;
  if (!last.empty() && (widths.empty() || last.size() == width)) versions.push_back(last), width = last.size();
  std::string high_water = GreatestVersion(versions);
  if (!forced.empty()) {
    if (CompareVersions(forced, high_water) <= 0)
      throw Exception("--version " + forced + " is not greater than " + high_water +
                      ", the greatest version the set has issued");
    return forced;
  }
  if (widths.size() > 1)
    throw Exception("The versions in update3.dat have different widths; the updater compares them as text, "
                    "so give a version of one width with --version");
  return NextReleaseVersion(high_water, width, now);
}

std::string NextBundleRevisionName(const std::string& rule_local, const std::string& previous_local) {
  int revision = RevisionOf(rule_local, previous_local);
  return rule_local + "~" + std::to_string(std::max(revision, 1) + 1);
}

}  // namespace mkupdate
