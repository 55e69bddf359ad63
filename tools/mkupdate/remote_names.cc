#include "remote_names.h"

#include <map>

#include "delta/chunk_index.h"
#include "release_tree.h"
#include "lists/list_file.h"

namespace mkupdate {

namespace {

std::string UpperBase(const std::string& name) { return AsciiUpper(GetNameFirstList(name, 1)); }

// What a numbered name starts with: the text before the last dot, or the
// whole name when it has no dot.
std::string NumberedStem(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// name with "~n" placed before its last dot; a name without a dot gets
// "~n.raw", so that its base is not the empty one every such name shares.
std::string Numbered(const std::string& name, int n) {
  size_t dot = name.rfind('.');
  std::string tag = "~" + std::to_string(n);
  if (dot == std::string::npos) return name + tag + ".raw";
  return name.substr(0, dot) + tag + name.substr(dot);
}

}  // namespace

std::string FileNamePart(const std::string& windows_name) {
  size_t slash = windows_name.rfind('\\');
  return slash == std::string::npos ? windows_name : windows_name.substr(slash + 1);
}

RemoteNamer::RemoteNamer(const std::vector<std::string>& reserved, const std::vector<std::string>& listed) {
  for (const std::string& name : reserved) reserved_.insert(AsciiUpper(name));
  for (const std::string& name : listed) Take(name);
}

bool RemoteNamer::Keep(const std::string& remote, bool indexed) {
  Take(remote);
  if (!indexed || !IndexFree(remote)) return !indexed;
  Take(delta::ChunkIndexName(remote));
  return true;
}

bool RemoteNamer::IndexFree(const std::string& name) const {
  return !taken_.count(AsciiUpper(delta::ChunkIndexName(name))) && !bases_.count(AsciiUpper(name));
}

void RemoteNamer::Take(const std::string& name) {
  taken_.insert(AsciiUpper(name));
  bases_.insert(UpperBase(name));
}

bool RemoteNamer::Free(const std::string& name, bool claims_base, bool lands_in_top_folder) const {
  if (taken_.count(AsciiUpper(name))) return false;
  if (lands_in_top_folder && reserved_.count(AsciiUpper(name))) return false;
  return !claims_base || !bases_.count(UpperBase(name));
}

std::string RemoteNamer::Assign(char type, const std::string& local_name, bool indexed) {
  std::string file = FileNamePart(local_name);
  std::string preferred;
  bool repairable = type == 'E' || type == 'O';
  if (type == 'E') {
    std::string base = GetNameFirstList(file, 1);
    preferred = (base.empty() ? file : base) + ".GZP";
  } else if (type == 'O') {
    preferred = file;
  } else {
    preferred = file + ".gz";
  }
  // The base of an E/O name is a claim: the check repairs the file of that
  // base from it, so no other name may carry the same base.
  // "O" files are downloaded straight to their local name, the others to
  // the updater's top folder under the server name.
  bool lands_in_top_folder = type != 'O';
  auto free = [&](const std::string& name) {
    return Free(name, repairable, lands_in_top_folder) && (!indexed || IndexFree(name));
  };
  auto take = [&](const std::string& name) {
    Take(name);
    if (indexed) Take(delta::ChunkIndexName(name));
    return name;
  };
  if (free(preferred)) return take(preferred);
  // Names are only ever taken, so a "~n" found taken stays taken. Within a
  // group the n-th numbered names are free or taken together: "E" names of
  // one stem are the same name; "O" names of one stem share the base that
  // decides; a bundle name is its own group. So each group remembers where
  // its search ended, and common names cost no more than rare ones.
  char group = repairable ? type : 'B';
  std::string key = group + AsciiUpper(repairable ? NumberedStem(preferred) : preferred);
  int& n = next_number_.try_emplace(key, 2).first->second;
  while (!free(Numbered(preferred, n))) ++n;
  return take(Numbered(preferred, n++));
}

std::vector<std::string> RepairWarnings(const std::vector<InstalledFile>& files,
                                        const std::vector<std::string>& listing) {
  std::map<std::string, std::vector<std::string>> by_base;
  for (const std::string& entry : listing) by_base[UpperBase(entry)].push_back(entry);
  std::vector<std::string> warnings;
  int members = 0;
  for (const InstalledFile& file : files) {
    std::string base = UpperBase(FileNamePart(file.name));
    auto found = by_base.find(base);
    if (file.own_remote.empty()) {
      if (found != by_base.end())
        warnings.push_back("the file check would repair " + file.name + " (a bundle member) from " +
                           found->second.front() + ", which holds other content");
      else
        ++members;
      continue;
    }
    if (found == by_base.end()) {
      warnings.push_back("the file check cannot repair " + file.name + ": no server file has its base name \"" +
                         GetNameFirstList(FileNamePart(file.name), 1) + "\" (it is served as " +
                         file.own_remote + ")");
    } else if (found->second.size() > 1) {
      std::string names;
      for (const std::string& n : found->second) names += (names.empty() ? "" : ", ") + n;
      warnings.push_back("the file check cannot tell apart " + names + " when it repairs " + file.name +
                         " (same base name); it takes whichever the server lists first");
    } else if (!SameNameIgnoringCase(found->second.front(), file.own_remote)) {
      warnings.push_back("the file check would repair " + file.name + " from " + found->second.front() +
                         ", which holds another file (same base name)");
    }
  }
  if (members > 0)
    warnings.push_back(std::to_string(members) +
                       " bundle member(s) cannot be repaired by the file check from the listing "
                       "(package files are reinstalled through their bundle)");
  return warnings;
}

}  // namespace mkupdate
