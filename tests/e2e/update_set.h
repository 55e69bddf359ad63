// Builds update sets for end-to-end tests: the files an update server
// holds (gzip files, bundles, plain files) and its list "update3.dat",
// written into the folder that a real FTP server then serves.
#pragma once

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/bundle_builder.h"
#include "trust/sha256.h"

namespace test_support {

// gzip bytes of `data` (one member).
inline std::string Gzip(const std::string& data) {
  z_stream stream{};
  if (deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
  std::string out(deflateBound(&stream, data.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate failed");
  out.resize(stream.total_out);
  return out;
}

// Bytes that gzip cannot shrink much, so a served file is as large as its content.
inline std::string NoisyBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(seed >> 16);
  }
  return bytes;
}

// The SHA-256 of bytes in lower-case hex.
inline std::string Sha256Of(const std::string& bytes) {
  trust::Sha256Stream stream;
  stream.Update(bytes);
  return stream.Final();
}

class UpdateSet {
 public:
  // Whether WriteList gives the lines their digests: field 6 (the served
  // file's SHA-256, after the package of a package entry) and for "E" and
  // "O" field 7 (the installed file's).
  enum class Digests { kNone, kListed };

  explicit UpdateSet(std::string folder) : folder_(std::move(folder)) {}

  // A server file (real name relative to the served folder).
  void PutFile(const std::string& remote, const std::string& bytes) const {
    const std::filesystem::path path = std::filesystem::path(folder_) / remote;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  // "E": one gzip-compressed file. size_delta lies about the size.
  void AddE(const std::string& remote, const std::string& local, const std::string& version,
            const std::string& content, long size_delta = 0) {
    Add("E", remote, local, version, Gzip(content), "", size_delta);
    installed_digests_.back() = Sha256Of(content);
  }
  // "O": the file as it is.
  void AddO(const std::string& remote, const std::string& local, const std::string& version,
            const std::string& content, long size_delta = 0) {
    Add("O", remote, local, version, content, "", size_delta);
    installed_digests_.back() = Sha256Of(content);
  }
  // "C", "T", "A", "S", "W": a gzip-compressed bundle of the members.
  void AddBundle(const std::string& type, const std::string& remote, const std::string& local,
                 const std::string& version, const std::vector<BundleMember>& members,
                 const std::string& package = "") {
    Add(type, remote, local, version, Gzip(BuildBundle(members)), package, 0);
  }
  // A gzip-compressed bundle given as raw bytes (hostile trailers).
  void AddRawBundle(const std::string& type, const std::string& remote, const std::string& local,
                    const std::string& version, const std::string& bundle, const std::string& package = "") {
    Add(type, remote, local, version, Gzip(bundle), package, 0);
  }
  // Damages the served gzip file `remote` without changing its size: its
  // CRC-32 no longer matches its data.
  void DamageServed(const std::string& remote) const {
    const std::filesystem::path path = std::filesystem::path(folder_) / remote;
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekg(-8, std::ios::end);
    const char crc_byte = static_cast<char>(file.get() ^ 0x55);
    file.seekp(-8, std::ios::end);
    file.put(crc_byte);
    if (!file) throw std::runtime_error("cannot damage " + path.string());
  }
  // A line as given (for names that are never stored on the server).
  void AddLine(const std::string& line) {
    lines_.push_back(line);
    served_digests_.emplace_back();
    installed_digests_.emplace_back();
    tails_.emplace_back();
  }
  // Fields 8 and 9 of the last "E" or "O" line, written after its digests:
  // the installed size and the mode flag ("x" or "-").
  void SetInstalledTail(const std::string& installed_size, const std::string& flag) {
    tails_.back() = " " + installed_size + " " + flag;
  }

  // Writes "update3.dat" (header first, CR LF) into the folder.
  void WriteList(const std::string& header = "UPDATE", Digests digests = Digests::kNone) const {
    std::string text = header + "\r\n";
    for (size_t i = 0; i < lines_.size(); ++i) {
      text += lines_[i];
      if (digests == Digests::kListed && !served_digests_[i].empty()) text += " " + served_digests_[i];
      if (digests == Digests::kListed && !installed_digests_[i].empty()) text += " " + installed_digests_[i] + tails_[i];
      text += "\r\n";
    }
    PutFile("update3.dat", text);
  }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  void Add(const std::string& type, const std::string& remote, const std::string& local,
           const std::string& version, const std::string& bytes, const std::string& package, long size_delta) {
    PutFile(remote, bytes);
    std::string line = type + " " + remote + " " + local + " " + version + " " +
                       std::to_string(static_cast<long>(bytes.size()) + size_delta);
    if (!package.empty()) line += " " + package;
    lines_.push_back(line);
    served_digests_.push_back(Sha256Of(bytes));
    installed_digests_.emplace_back();
    tails_.emplace_back();
  }

  std::string folder_;
  std::vector<std::string> lines_;
  std::vector<std::string> served_digests_;     // per line; "" for lines given as they are
  std::vector<std::string> installed_digests_;  // per line; "E" and "O" only
  std::vector<std::string> tails_;              // per line: fields 8 and 9 after the installed digest
};

}  // namespace test_support
