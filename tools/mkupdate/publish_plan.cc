#include "publish_plan.h"

#include <map>

#include "platform/errors.h"
#include "platform/temporary_names.h"

namespace mkupdate {

std::vector<PublishUnit> PlanUnits(const std::vector<ReleaseFile>& release, const Rules& rules) {
  std::string problems;
  // The game folder ignores case, and so does the updater's comparison.
  std::map<std::string, const ReleaseFile*> by_upper_name;
  for (const ReleaseFile& file : release) {
    auto [seen, fresh] = by_upper_name.emplace(AsciiUpper(file.name), &file);
    if (!fresh)
      problems += "\n" + seen->second->name + " and " + file.name + " differ only in case; players' game "
                  "folders cannot hold both";
  }
  std::vector<PublishUnit> bundles;
  std::vector<int> owner(release.size(), -1);
  for (const BundleRule& rule : rules.bundles) {
    PublishUnit unit;
    unit.is_bundle = true;
    unit.type = rule.type;
    unit.local = rule.local_name;
    unit.package = rule.package;
    int index = static_cast<int>(bundles.size());
    for (size_t i = 0; i < release.size(); ++i) {
      bool match = false;
      for (const std::string& pattern : rule.patterns) match = match || MatchesPattern(pattern, release[i].name);
      if (!match) continue;
      if (owner[i] >= 0) {
        problems += "\n" + release[i].name + " is in two bundles: " + bundles[owner[i]].local + " and " + unit.local;
        continue;
      }
      owner[i] = index;
      unit.files.push_back(release[i]);
      unit.source_size += release[i].size;
    }
    if (unit.files.empty()) problems += "\nbundle " + unit.local + " (rules line " + std::to_string(rule.line) +
                                        "): its patterns match no file of the release";
    if (platform::IsTemporaryFileName(unit.local))
      problems += "\nbundle " + unit.local + " ends in a suffix the updater gives its temporary files, which "
                  "players' updaters would delete; choose another name";
    for (const ReleaseFile& file : release)
      if (SameNameIgnoringCase(file.name, unit.local))
        problems += "\nbundle " + unit.local + " has the local name of a release file; the updater deletes "
                    "the bundle after unpacking it, so choose another name";
    bundles.push_back(unit);
  }
  if (!problems.empty()) throw Exception("The rules do not fit the release:" + problems);

  std::vector<PublishUnit> units;
  for (size_t i = 0; i < release.size(); ++i) {
    if (owner[i] >= 0) continue;
    PublishUnit unit;
    unit.local = release[i].name;
    unit.files.push_back(release[i]);
    unit.source_size = release[i].size;
    for (const std::string& pattern : rules.raw_patterns)
      if (MatchesPattern(pattern, release[i].name)) unit.type = 'O';
    units.push_back(unit);
  }
  units.insert(units.end(), bundles.begin(), bundles.end());
  return units;
}

}  // namespace mkupdate
