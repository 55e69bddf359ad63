// The URLs the HTTP transport asks for: the server folder of a login and
// the files in it, named by the server list's remote names.
#pragma once

#include <string>

#include "transport/transport.h"

// "https://host[:port]/base/path/": the folder a URL server line names,
// an IPv6 address in brackets, no port when the login has none (0).
std::string ServerFolderUrl(const ServerLogin& login);

// The remote name as a URL path below the folder: each '/'-separated
// part escaped on its own ("%XX" for every byte but letters, digits and
// "-._~"), so spaces, '#', '%', '?' and bytes past ASCII reach the server
// as part of the name. Leading '/' are dropped: names are relative to the
// folder.
std::string EscapeRemotePath(const std::string& remote);
