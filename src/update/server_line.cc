#include "update/server_line.h"

#include "lists/list_file.h"
#include "platform/ascii_case.h"
#include "platform/errors.h"
#include "platform/ip_address.h"

namespace {

constexpr std::string_view kSchemeEnd = "://";

// Where the part after "://" begins in field 2, or npos for a plain line.
size_t UrlRest(const std::string& field) {
  const size_t end = field.find(kSchemeEnd);
  return end == std::string::npos || end == 0 ? std::string::npos : end + kSchemeEnd.size();
}

}  // namespace

std::string ServerLineScheme(const std::string& line) {
  const std::string field = LineField(line, 2);
  const size_t rest = UrlRest(field);
  if (rest == std::string::npos) return std::string(kPlainServerScheme);
  return platform::FoldAsciiCase(field.substr(0, rest - kSchemeEnd.size()));
}

ServerLogin ServerLineLogin(const std::string& line, const std::string& password) {
  ServerLogin login;
  const std::string field = LineField(line, 2);
  login.scheme = ServerLineScheme(line);
  if (const size_t rest = UrlRest(field); rest == std::string::npos) {
    login.host = field;
    login.port = platform::StrToInt(LineField(line, 3));
  } else {
    const size_t slash = field.find('/', rest);
    const std::string authority = field.substr(rest, slash == std::string::npos ? std::string::npos : slash - rest);
    login.base_path = slash == std::string::npos ? "/" : field.substr(slash);
    if (login.base_path.back() != '/') login.base_path += '/';
    size_t colon = authority.rfind(':');
    if (colon != std::string::npos && authority.find(']', colon) != std::string::npos) colon = std::string::npos;
    login.host = authority.substr(0, colon);
    // "[::1]": an IPv6 address, named without the brackets that set it apart from the port.
    if (login.host.size() >= 2 && login.host.front() == '[' && login.host.back() == ']')
      login.host = login.host.substr(1, login.host.size() - 2);
    if (colon != std::string::npos) login.port = platform::StrToInt(authority.substr(colon + 1));
  }
  login.timeout_ms = platform::StrToInt(LineField(line, 4));
  login.user = LineField(line, 5);
  login.password = password;
  return login;
}

std::string ServerLineName(const std::string& line) {
  const std::string field = LineField(line, 2);
  if (UrlRest(field) != std::string::npos) return field;
  return platform::JoinHostPort(field, LineField(line, 3));
}
