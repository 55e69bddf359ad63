// Why a login attempt found no usable server, in words a player or a
// script can act on: what the connection's events and its error told.
#pragma once

#include <string>

// What the connection's events told of one login attempt; a new
// connection starts with none.
struct LoginEvents {
  bool InvalidHost = false;  // the host name did not resolve
  bool Reached = false;      // the server's port took the connection
  bool Refused = false;      // the connection or the login failed (ConnectionFailed)
};

// The reason for a login that ended with `error` (the exception's text):
// "host not found", "timed out after 2 s" (`timeout_ms`, the login's
// bound), "connection refused or unreachable", "login refused (530 ...)",
// or the error's own text.
std::string DescribeFailedLogin(const LoginEvents& events, const std::string& error, int timeout_ms);
