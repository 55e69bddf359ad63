#include "update/process_entry.h"

#include <cctype>
#include <cstdint>

#include "app/texts/texts.h"
#include "ftp/ftp_client.h"
#include "gzip/gzip.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "platform/process.h"
#include "update/bundle.h"
#include "update/list_file.h"
#include "update/status_display.h"
#include "vcl/application.h"

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
  EntryInstaller(UpdateWindow& w, const EntryFields& f) : w_(w), f_(f) {}

  // Downloads remote to `local_name`; true when the byte count received
  // equals the size field (converted only now, after the download).
  bool Download(const std::string& local_name) {
    if (!w_.FtpClient) throw Exception("Not connected");
    w_.FtpClient->Download(f_.remote, Path(local_name));
    const int64_t received = w_.FtpClient->BytesTotal;
    return received == platform::StrToInt(f_.size);
  }

  // An "O" entry: the download itself, at the local name, is the file.
  bool DownloadInPlace() {
    MakeFolderPath(w_.ExeDir, f_.local);
    return Download(f_.local);
  }

  // Unpacks the downloaded remote file into the local name; the Unpack result.
  int Unpack() {
    MakeFolderPath(w_.ExeDir, f_.local);
    w_.Gzip->FileSource = Path(f_.remote);
    w_.Gzip->FileDestination = Path(f_.local);
    return w_.Gzip->Unpack();
  }

  // Extracts the unpacked bundle at the local name, then deletes it.
  BundleExtraction ExtractAndDelete() {
    const BundleExtraction result = ExtractBundle(w_.ExeDir, Path(f_.local));
    for (const std::string& sentence : result.skipped)
      ReportRefusedName(w_, f_.local + ": " + sentence);
    platform::DeleteFile(Path(f_.local));
    return result;
  }

  std::string RecordLine() const { return f_.local + " " + f_.version; }
  std::string Path(const std::string& name) const {
    return platform::ResolveGameFileName(w_.ExeDir, name);
  }

 private:
  UpdateWindow& w_;
  const EntryFields& f_;
};

LineList& Record(UpdateWindow& w) {
  if (!w.RecordList) throw EListError("List index out of bounds (0)");
  return *w.RecordList;
}

void ReplaceRecordLine(UpdateWindow& w, const std::string& index_text, const std::string& line) {
  LineList& record = Record(w);
  const int index = platform::StrToInt(index_text);
  if (index < 0 || index >= static_cast<int>(record.size()))
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  record[index] = line;
}

EntryOutcome InUseStop(UpdateWindow& w) {
  const std::string text = SelectText(kFileInUse, w.LangLetter);
  if (!text.empty()) Application.MessageBox(text, Application.Title, MB_OK);
  w.CloseMainWindow();
  return EntryOutcome::kStopped;
}

bool RefuseUnsafeNames(UpdateWindow& w, const EntryFields& f) {
  for (const std::string* name : {&f.remote, &f.local}) {
    if (!platform::IsSafeRelativeName(*name)) {
      ReportRefusedName(w, "entry \"" + f.local + "\" refused: the name \"" + *name +
                               "\" leaves the game folder");
      return true;
    }
  }
  return false;
}

EntryOutcome ProcessChanged(UpdateWindow& w, const std::string& index, const EntryFields& f) {
  if (f.type != "E" && f.type != "O" && f.type != "C") return EntryOutcome::kPassedOver;
  if (RefuseUnsafeNames(w, f)) return EntryOutcome::kPassedOver;
  EntryInstaller installer(w, f);
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
  ReplaceRecordLine(w, index, installer.RecordLine());
  return EntryOutcome::kInstalled;
}

EntryOutcome ProcessNew(UpdateWindow& w, const EntryFields& f, bool FromCheck) {
  const bool handled = f.type == "E" || f.type == "O" || f.type == "C" || IsPackageType(f.type);
  if (!handled) return EntryOutcome::kPassedOver;
  if (RefuseUnsafeNames(w, f)) return EntryOutcome::kPassedOver;
  EntryInstaller installer(w, f);
  if (f.type == "O") {
    if (!installer.DownloadInPlace()) return EntryOutcome::kPassedOver;
  } else {
    if (!installer.Download(f.remote)) return EntryOutcome::kPassedOver;
    const int unpacked = installer.Unpack();
    if (f.type == "E") {
      if (unpacked != 0) return InUseStop(w);
    } else if (f.type == "C") {
      // A bundle that could not be unpacked is not taken apart: whatever
      // file stands at its local name is not this bundle.
      if (unpacked != 0 || !installer.ExtractAndDelete().Succeeded()) return InUseStop(w);
    } else {
      // Package types: refused members do not stop the import, but an
      // unpack or a member cut off by a full disk leaves the entry
      // unrecorded for the next run.
      if (unpacked != 0 || installer.ExtractAndDelete().unwritable > 0) return EntryOutcome::kPassedOver;
      const std::string command = ImportCommandLine(f.type, f.package, NameStem(f.remote));
      if (platform::WinExec(w.ExeDir, command, ImportShowMode(f.type)) <= 31)
        return EntryOutcome::kPassedOver;
    }
  }
  if (!FromCheck) Record(w).push_back(installer.RecordLine());
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

EntryOutcome ProcessEntry(UpdateWindow& w, const std::string& line, bool FromCheck) {
  const std::string kind = UpperCase(LineField(line, 1));
  if (kind == "U") {
    const EntryFields f{LineField(line, 3), LineField(line, 4), LineField(line, 5),
                        LineField(line, 6), LineField(line, 7), ""};
    return ProcessChanged(w, LineField(line, 2), f);
  }
  const EntryFields f{kind,           LineField(line, 2), LineField(line, 3),
                      LineField(line, 4), LineField(line, 5), LineField(line, 6)};
  return ProcessNew(w, f, FromCheck);
}
