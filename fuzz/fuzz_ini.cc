// INI files ("FtpConfig.ini"): any bytes read with the profile rules give
// a value or the default, and never fail.
#include <cstdint>
#include <cstdlib>

#include "platform/ini_file.h"
#include "scratch_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::ScratchFolder scratch;
  const std::string path = scratch.Write("FtpConfig.ini", data, size);
  static const char* const kLookups[][2] = {
      {"HOMEPAGE", "HOME"}, {"HOMEPAGE", "ACCOUNT"}, {"EXECUTE", "EXEFILE"}, {"", ""}, {"a b", " c "}};
  for (const auto& lookup : kLookups) {
    const std::string value = platform::ReadProfileString(path, lookup[0], lookup[1], "\x01" "default");
    if (value.find('\n') != std::string::npos) abort();  // one line's value at most
  }
  return 0;
}
