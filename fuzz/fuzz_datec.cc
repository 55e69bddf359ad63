// "datec.dat", the reference list of the file check: any bytes read as a
// list either give records within their documented limits or raise the
// documented errors.
#include <cstdint>
#include <cstdlib>

#include "filecheck/check_list.h"
#include "platform/errors.h"
#include "scratch_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::ScratchFolder scratch;
  const std::string path = scratch.Write("datec.dat", data, size);
  try {
    const std::vector<CheckRecord> records = ReadCheckList(path);
    if (records.size() >= static_cast<size_t>(kMaxCheckRecordCount)) abort();
    for (const CheckRecord& record : records) {
      if (record.name.size() > 30 || record.folder.size() > 40) abort();
    }
  } catch (const Exception&) {
    // Short files and impossible counts are reported by exceptions.
  }
  // Records decoded straight from the input, at every offset.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (size_t offset = 0; offset < size; offset += 84) {
    const CheckRecord record = DecodeCheckRecord(bytes, offset);
    if (record.name.size() > 30 || record.folder.size() > 40) abort();
  }
  return 0;
}
