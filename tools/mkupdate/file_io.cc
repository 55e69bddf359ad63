#include "file_io.h"

#include "platform/errors.h"
#include "platform/file_system.h"
#include "trust/sha256.h"

namespace mkupdate {

InputFile::InputFile(const std::string& path, trust::Sha256Stream* digest)
    : path_(path), file_(path), digest_(digest) {
  if (!file_.IsOpen())
    throw EFOpenError("Cannot open file " + path + ": " + platform::ErrorText(file_.OpenError()));
}

size_t InputFile::Read(char* buffer, size_t n) {
  const size_t got = file_.Read(buffer, n);
  if (file_.Failed()) throw EInOutError("Cannot read " + path_);
  if (digest_) digest_->Update(std::string_view(buffer, got));
  return got;
}

void InputFile::ReadAt(int64_t offset, char* buffer, size_t n) {
  const size_t got = file_.ReadAt(static_cast<uint64_t>(offset), buffer, n);
  if (file_.Failed()) throw EInOutError("Cannot read " + path_);
  if (got < n) throw EInOutError("Cannot read " + path_ + ": the file is shorter than expected");
}

int64_t InputFile::Size() const {
  const int64_t size = platform::FileSize(path_);
  if (size < 0) throw EInOutError("Cannot examine " + path_);
  return size;
}

OutputFile::OutputFile(const std::string& path, trust::Sha256Stream* digest)
    : path_(path), file_(path, 0644), digest_(digest) {
  if (!file_.IsOpen())
    throw EFOpenError("Cannot create file " + path + ": " + platform::ErrorText(file_.OpenError()));
}

void OutputFile::Write(std::string_view data) {
  if (digest_) digest_->Update(data);
  if (const int error = file_.Write(data); error != 0)
    throw EInOutError("Cannot write " + path_ + ": " + platform::ErrorText(error));
  written_ += static_cast<int64_t>(data.size());
}

void OutputFile::Close() {
  if (const int error = file_.Close(); error != 0)
    throw EInOutError("Cannot close " + path_ + ": " + platform::ErrorText(error));
}

void WriteNewFile(const std::string& path, std::string_view bytes, unsigned mode) {
  // Only this tool writes the key files, one run at a time: looking first
  // is enough to never replace one.
  if (platform::FileExists(path) || platform::DirectoryExists(path))
    throw EFOpenError(path + " exists already; it is never overwritten");
  std::string failure;
  {
    platform::OutputFile file(path, mode);
    if (!file.IsOpen())
      throw EFOpenError("Cannot create file " + path + ": " + platform::ErrorText(file.OpenError()));
    if (const int error = file.Write(bytes); error != 0)
      failure = "Cannot write " + path + ": " + platform::ErrorText(error);
    if (const int error = file.Close(); error != 0 && failure.empty())
      failure = "Cannot close " + path + ": " + platform::ErrorText(error);
  }
  if (failure.empty()) {
    try {
      platform::FlushFiles({path});
    } catch (const Exception& error) {
      failure = error.what();
    }
  }
  if (!failure.empty()) {
    platform::DeleteFile(path);  // no half-written file stays behind
    throw EInOutError(failure);
  }
}

void RenameFile(const std::string& from, const std::string& to) {
  if (const int error = platform::ReplaceFile(from, to); error != 0)
    throw EInOutError("Cannot rename " + from + " to " + to + ": " + platform::ErrorText(error));
}

void SyncFiles(const std::vector<std::string>& paths) { platform::FlushFiles(paths); }

void SyncFolder(const std::string& folder) {
  try {
    platform::FlushFiles({folder});
  } catch (const Exception&) {
  }
}

}  // namespace mkupdate
