// What a WinHTTP error means for the transport (Windows): the kind of
// failure and the text a person reads, worded as the libcurl twin's
// (curl_failure.h) where the engine shows them.
#pragma once

#include <cstdint>
#include <string>

#include "http/fetch_rules.h"

// The failure of a request that WinHTTP ended with `error` (an
// ERROR_WINHTTP_* number or a system error); `secure_flags` are the
// WINHTTP_CALLBACK_STATUS_FLAG_* of a secure failure reported before it
// (0: none), `host` the server's name, `what` names the request ("GET
// x.gz"). A certificate it would not trust reads "certificate not trusted:
// ...", a failed TLS handshake "TLS handshake failed: ...", and a redirect
// it would not follow refuses the file.
FetchFailure WinHttpFailure(uint32_t error, uint32_t secure_flags, const std::string& host, const std::string& what);

// The failure of an answer that is a redirect WinHTTP did not follow
// itself (one from https to http, or past the fifth): a refusal of the file.
FetchFailure RedirectFailure(long status, const std::string& what);
