#include "datec_format.h"

#include <cstring>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/little_endian.h"

namespace mkupdate {

namespace {
constexpr size_t kFolderOffset = 31;
constexpr size_t kTimeOffset = 72;
constexpr size_t kSizeOffset = 80;

void PutShortString(std::string& out, size_t offset, const std::string& text) {
  out[offset] = static_cast<char>(text.size());
  std::memcpy(&out[offset + 1], text.data(), text.size());
}

std::string GetShortString(std::string_view record, size_t offset, size_t max) {
  size_t length = std::min<size_t>(static_cast<unsigned char>(record[offset]), max);
  return std::string(record.substr(offset + 1, length));
}
}  // namespace

double UnixTimeToDayCount(int64_t unix_seconds) { return platform::UnixTimeToDays(unix_seconds); }

std::vector<CheckRecord> MakeCheckRecords(const std::vector<ReleaseFile>& files) {
  std::vector<CheckRecord> records;
  std::string refused;
  for (const ReleaseFile& file : files) {
    size_t slash = file.name.rfind('\\');
    CheckRecord record;
    record.folder = slash == std::string::npos ? "" : file.name.substr(0, slash + 1);
    record.name = slash == std::string::npos ? file.name : file.name.substr(slash + 1);
    if (record.name.size() > kDatecMaxName)
      refused += file.name + ": the file name is " + std::to_string(record.name.size()) +
                 " bytes; the reference list holds at most 30\n";
    if (record.folder.size() > kDatecMaxFolder)
      refused += file.name + ": the folder \"" + record.folder + "\" is " + std::to_string(record.folder.size()) +
                 " bytes; the reference list holds at most 40\n";
    if (file.size > INT32_MAX)
      refused += file.name + ": " + std::to_string(file.size) + " bytes do not fit the 32-bit size field\n";
    record.time = UnixTimeToDayCount(file.mtime);
    record.size = static_cast<int32_t>(file.size);
    records.push_back(record);
  }
  if (records.size() > kDatecMaxFiles)
    refused += std::to_string(records.size()) + " files; the reference list holds at most 65535\n";
  if (!refused.empty()) throw Exception(refused.substr(0, refused.size() - 1));
  return records;
}

std::string EncodeDatec(const std::vector<CheckRecord>& records) {
  std::string bytes((records.size() + 1) * kDatecRecordSize, '\0');
  for (size_t i = 0; i < records.size(); ++i) {
    size_t base = i * kDatecRecordSize;
    PutShortString(bytes, base, records[i].name);
    PutShortString(bytes, base + kFolderOffset, records[i].folder);
    std::memcpy(&bytes[base + kTimeOffset], &records[i].time, sizeof(double));  // little-endian host
    platform::WriteLe32(&bytes[base + kSizeOffset], records[i].size);
  }
  platform::WriteLe32(&bytes[records.size() * kDatecRecordSize + kSizeOffset],
                      static_cast<int32_t>(records.size() + 1));
  return bytes;
}

std::vector<CheckRecord> DecodeDatec(std::string_view bytes, int32_t* count_out) {
  if (bytes.size() < kDatecRecordSize)
    throw Exception("shorter (" + std::to_string(bytes.size()) + " bytes) than one 84-byte record");
  int32_t count = platform::ReadLe32(bytes.data() + bytes.size() - kDatecRecordSize + kSizeOffset);
  if (count_out) *count_out = count;
  if (count < 1 || count > kDatecMaxFiles + 1)
    throw Exception("trailer count " + std::to_string(count) + " is outside 1..65536");
  std::vector<CheckRecord> records;
  std::string empty(kDatecRecordSize, '\0');
  for (int32_t i = 0; i + 1 < count; ++i) {
    size_t base = static_cast<size_t>(i) * kDatecRecordSize;
    std::string_view record = base + kDatecRecordSize <= bytes.size() ? bytes.substr(base, kDatecRecordSize)
                                                                        : std::string_view(empty);
    CheckRecord r;
    r.name = GetShortString(record, 0, kDatecMaxName);
    r.folder = GetShortString(record, kFolderOffset, kDatecMaxFolder);
    std::memcpy(&r.time, record.data() + kTimeOffset, sizeof(double));
    r.size = platform::ReadLe32(record.data() + kSizeOffset);
    records.push_back(r);
  }
  return records;
}

}  // namespace mkupdate
