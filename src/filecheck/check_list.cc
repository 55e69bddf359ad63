#include "filecheck/check_list.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/errors.h"
#include "platform/file_probe.h"

namespace {

constexpr size_t kNameOffset = 0;
constexpr size_t kNameWidth = 30;
constexpr size_t kFolderOffset = 31;
constexpr size_t kFolderWidth = 40;
constexpr size_t kTimeOffset = 72;
constexpr size_t kSizeOffset = 80;

uint8_t ByteAt(const std::string& bytes, size_t at) {
  return at < bytes.size() ? static_cast<uint8_t>(bytes[at]) : 0;
}

uint64_t LittleEndian(const std::string& bytes, size_t at, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | ByteAt(bytes, at + i);
  return value;
}

std::string ShortString(const std::string& bytes, size_t at, size_t width) {
  const size_t length = std::min<size_t>(ByteAt(bytes, at), width);
  std::string text(length, '\0');
  for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>(ByteAt(bytes, at + 1 + i));
  return text;
}

int32_t SizeField(const std::string& bytes, size_t record_offset) {
  return static_cast<int32_t>(static_cast<uint32_t>(LittleEndian(bytes, record_offset + kSizeOffset, 4)));
}

}  // namespace

CheckRecord DecodeCheckRecord(const std::string& bytes, size_t offset) {
  CheckRecord record;
  record.name = ShortString(bytes, offset + kNameOffset, kNameWidth);
  record.folder = ShortString(bytes, offset + kFolderOffset, kFolderWidth);
  const uint64_t time_bits = LittleEndian(bytes, offset + kTimeOffset, 8);
  std::memcpy(&record.time, &time_bits, sizeof record.time);
  record.size = SizeField(bytes, offset);
  return record;
}

std::vector<CheckRecord> ReadCheckList(const std::string& path) {
  const platform::ReadOnlyFile file(path);
  const int64_t file_size = file.Size();
  if (file_size < kCheckRecordSize) throw EInOutError("I/O error " + std::to_string(ENODATA));
  const std::string trailer = file.ReadAt(file_size - kCheckRecordSize, kCheckRecordSize);
  if (trailer.size() < static_cast<size_t>(kCheckRecordSize))
    throw EInOutError("I/O error " + std::to_string(ENODATA));
  const int32_t count = SizeField(trailer, 0);
  if (count < 1 || count > kMaxCheckRecordCount) throw ERangeError("Range check error");

  // Only the bytes the records need are read, however long the file is.
  const size_t record_count = static_cast<size_t>(count) - 1;
  const std::string bytes = file.ReadAt(0, record_count * kCheckRecordSize);
  std::vector<CheckRecord> records;
  records.reserve(record_count);
  for (size_t i = 0; i < record_count; ++i) records.push_back(DecodeCheckRecord(bytes, i * kCheckRecordSize));
  return records;
}
