#include "update/process_entry.h"

#include <cctype>
#include <cstdint>

#include "gzip/gzip.h"
#include "lists/list_file.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "platform/process.h"
#include "texts/texts.h"
#include "update/bundle.h"

namespace {

struct EntryFields {
  std::string type, remote, local, version, size, package;
};

bool IsPackageType(const std::string& type) {
  return type == "T" || type == "A" || type == "S" || type == "W";
}

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class EntryInstaller {
 public:
  EntryInstaller(UpdateEngine& e, const EntryFields& f) : e_(e), f_(f) {}

  // Downloads remote to `local_name`; true when the byte count received
  // equals the size field (converted only now, after the download).
  bool Download(const std::string& local_name) {
    if (!e_.Connection) throw Exception("Not connected");
    e_.Connection->Download(f_.remote, Path(local_name), -1);
    const int64_t received = e_.Connection->BytesTotal();
    return received == platform::StrToInt(f_.size);
  }

  // An "O" entry: the download itself, at the local name, is the file.
  bool DownloadInPlace() {
    MakeFolderPath(e_.ExeDir, f_.local);
    return Download(f_.local);
  }

  // Unpacks the downloaded remote file into the local name; the Unpack result.
  int Unpack() {
    MakeFolderPath(e_.ExeDir, f_.local);
    e_.Gzip.FileSource = Path(f_.remote);
    e_.Gzip.FileDestination = Path(f_.local);
    return e_.Gzip.Unpack();
  }

  // Extracts the unpacked bundle at the local name, then deletes it.
  BundleExtraction ExtractAndDelete() {
    const BundleExtraction result = ExtractBundle(e_.ExeDir, Path(f_.local));
    for (const std::string& sentence : result.skipped)
      e_.View.ReportRefusedName(f_.local + ": " + sentence);
    platform::DeleteFile(Path(f_.local));
    return result;
  }

  std::string RecordLine() const { return f_.local + " " + f_.version; }
  std::string Path(const std::string& name) const {
    return platform::ResolveGameFileName(e_.ExeDir, name);
  }

 private:
  UpdateEngine& e_;
  const EntryFields& f_;
};

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

bool RefuseUnsafeNames(UpdateEngine& e, const EntryFields& f) {
  for (const std::string* name : {&f.remote, &f.local}) {
    if (!platform::IsSafeRelativeName(*name)) {
      e.View.ReportRefusedName("entry \"" + f.local + "\" refused: the name \"" + *name +
                               "\" leaves the game folder");
      return true;
    }
  }
  return false;
}

EntryOutcome ProcessChanged(UpdateEngine& e, const std::string& index, const EntryFields& f) {
  if (f.type != "E" && f.type != "O" && f.type != "C") return EntryOutcome::kPassedOver;
  if (RefuseUnsafeNames(e, f)) return EntryOutcome::kPassedOver;
  EntryInstaller installer(e, f);
  if (f.type == "O") {
    if (!installer.DownloadInPlace()) return EntryOutcome::kPassedOver;
  } else {
    if (!installer.Download(f.remote)) return EntryOutcome::kPassedOver;
    // A file cut off by a full disk keeps the old record line, so the next
    // run offers the entry again; other outcomes of unpacking and
    // extraction (refused members) do not keep the line from being replaced.
    if (installer.Unpack() != 0) return EntryOutcome::kPassedOver;
    if (f.type == "C" && installer.ExtractAndDelete().unwritable > 0) return EntryOutcome::kPassedOver;
  }
  ReplaceRecordLine(e, index, installer.RecordLine());
  return EntryOutcome::kInstalled;
}

EntryOutcome ProcessNew(UpdateEngine& e, const EntryFields& f, bool FromCheck) {
  const bool handled = f.type == "E" || f.type == "O" || f.type == "C" || IsPackageType(f.type);
  if (!handled) return EntryOutcome::kPassedOver;
  if (RefuseUnsafeNames(e, f)) return EntryOutcome::kPassedOver;
  EntryInstaller installer(e, f);
  if (f.type == "O") {
    if (!installer.DownloadInPlace()) return EntryOutcome::kPassedOver;
  } else {
    if (!installer.Download(f.remote)) return EntryOutcome::kPassedOver;
    const int unpacked = installer.Unpack();
    if (f.type == "E") {
      if (unpacked != 0) return InUseStop(e);
    } else if (f.type == "C") {
      // A bundle that could not be unpacked is not taken apart: whatever
      // file stands at its local name is not this bundle.
      if (unpacked != 0 || !installer.ExtractAndDelete().Succeeded()) return InUseStop(e);
    } else {
      // Package types: refused members do not stop the import, but an
      // unpack or a member cut off by a full disk leaves the entry
      // unrecorded for the next run.
      if (unpacked != 0 || installer.ExtractAndDelete().unwritable > 0) return EntryOutcome::kPassedOver;
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

EntryOutcome ProcessEntry(UpdateEngine& e, const std::string& line, bool FromCheck) {
  const std::string kind = UpperCase(LineField(line, 1));
  if (kind == "U") {
    const EntryFields f{LineField(line, 3), LineField(line, 4), LineField(line, 5),
                        LineField(line, 6), LineField(line, 7), ""};
    return ProcessChanged(e, LineField(line, 2), f);
  }
  const EntryFields f{kind,           LineField(line, 2), LineField(line, 3),
                      LineField(line, 4), LineField(line, 5), LineField(line, 6)};
  return ProcessNew(e, f, FromCheck);
}
