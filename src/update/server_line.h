// What a line of the server list says about reaching its server. Field 2
// is either a host name, with the port in field 3 (a plain line, served
// over kPlainServerScheme), or a URL "scheme://host[:port]/path/" that
// names the protocol, the server and the folder the files are in.
// Fields 4 and 5 are the login's time-out and user either way.
#pragma once

#include <string>
#include <string_view>

#include "transport/transport.h"

// The protocol of a plain server line.
inline constexpr std::string_view kPlainServerScheme = "ftp";

// The scheme of the line's field 2 in lower case: the part before "://"
// of a URL, else kPlainServerScheme.
std::string ServerLineScheme(const std::string& line);

// The login for `line` with `password`. A URL line gives the host, the
// port (0, the protocol's own, when the URL names none; field 3 is not
// read) and the folder, "/" at both ends. Throws EConvertError when a
// port or the time-out is not a decimal number.
ServerLogin ServerLineLogin(const std::string& line, const std::string& password);

// How the line names its server in the sentences about servers tried:
// "host:port" for a plain line, the URL for a URL line.
std::string ServerLineName(const std::string& line);
