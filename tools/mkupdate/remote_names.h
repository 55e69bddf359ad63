// Names of the files in the flat server folder. The updater downloads most
// of them into its own top folder under that name before unpacking, and its
// file check repairs an installed file from the first listing entry whose
// base name (text before the last dot) equals the installed file's, ignoring
// case, unpacking it when the extension is exactly "GZP". So:
//   "E"  <base>.GZP         (System\Core.u -> Core.GZP)
//   "O"  <file name>        (Help\Readme.txt -> Readme.txt)
//   bundles <file name>.gz  (Trees.bnd -> Trees.bnd.gz: its stem, the text
//        before the first dot, is what the import tool is given)
// When that name is taken, or its base already serves another file, "~2",
// "~3"... goes before the last dot; such a file cannot be repaired from the
// listing, which RepairWarnings reports. All names without a dot share the
// empty base, which one server file at most may claim, so a numbered name
// without a dot also gets the extension ".raw" (Readme -> Readme~2.raw).
// A large E or O file's chunk index lies beside it as <name>.cdx
// (delta::ChunkIndexName), whose base is the server file's whole name: an
// indexed name is chosen so that its index name is free and no repairable
// name shares that base (the file check could take the index for a file).
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace mkupdate {

class RemoteNamer {
 public:
  // reserved: names the updater's top folder uses (top-level files of the
  // release, bundle local names), which a download must not overwrite;
  // listed: names the server folder lists beside the set (the server list,
  // the bulletin, foreign files), whose base names are taken as well.
  // Both compared ignoring ASCII case.
  RemoteNamer(const std::vector<std::string>& reserved, const std::vector<std::string>& listed);

  // Records a name kept from the previous set, so no new name repeats it
  // or its base. With `indexed`, its chunk index's name as well, unless
  // that is not free: false then, and the entry must go without an index.
  bool Keep(const std::string& remote, bool indexed = false);

  // A fresh name for an entry of this type and Windows-style local name;
  // with `indexed`, one whose chunk index's name is free too, and taken.
  std::string Assign(char type, const std::string& local_name, bool indexed = false);

 private:
  bool Free(const std::string& name, bool claims_base, bool lands_in_top_folder) const;
  bool IndexFree(const std::string& name) const;  // the chunk index of `name`
  void Take(const std::string& name);  // the name and its base

  std::set<std::string> reserved_;  // upper-cased names of the top folder
  std::set<std::string> taken_;  // upper-cased names
  std::set<std::string> bases_;  // upper-cased base names of taken names
  // The first "~n" still worth trying, per group of preferred names whose
  // numbered names are free or taken together (see Assign).
  std::map<std::string, int> next_number_;
};

// The file name part of a Windows-style name (after the last backslash).
std::string FileNamePart(const std::string& windows_name);

struct InstalledFile {
  std::string name;          // Windows-style local name
  std::string own_remote;    // the E/O entry that installs it, or "" (bundle member)
};

// One sentence per file that the file check cannot repair correctly from
// this listing: no listing entry has its base name, or the first one it
// would meet belongs to another file, or several entries share the base.
// Bundle members are summed up in one sentence.
std::vector<std::string> RepairWarnings(const std::vector<InstalledFile>& files,
                                        const std::vector<std::string>& listing);

}  // namespace mkupdate
