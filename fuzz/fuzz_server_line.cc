// Lines of the server list ("isp0.dat"): any bytes give a scheme, a login
// and a name, or the conversion error of a field that is no number.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/errors.h"
#include "update/server_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::string scheme = ServerLineScheme(line);
  for (const char c : scheme)
    if (c >= 'A' && c <= 'Z') abort();  // schemes are compared in lower case
  ServerLineName(line);
  try {
    const ServerLogin login = ServerLineLogin(line, "password");
    if (login.scheme != scheme) abort();
    // A URL line names a folder, "/" at both ends; a plain line none.
    const std::string& path = login.base_path;
    if (!path.empty() && (path.front() != '/' || path.back() != '/')) abort();
    if (!path.empty() && login.host.find('/') != std::string::npos) abort();  // the folder starts at the first '/'
  } catch (const EConvertError&) {
    // a port or time-out that is no decimal number
  }
  return 0;
}
