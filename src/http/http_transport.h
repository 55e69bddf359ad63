// The HTTP(S) implementation of the engine's transport, on the calling
// thread's message loop over this system's HTTP library (HttpClient,
// http_fetch.h: libcurl's multi interface on Linux, WinHTTP's asynchronous
// mode on Windows): one transport per server line of a URL "http://" or
// "https://", the files named relative to the line's folder. It fetches
// planned downloads ahead itself, many at once on its one client (HTTP/2
// multiplexes them over one connection), so it needs no prefetching
// wrapper.
#pragma once

#include "transport/transport.h"

// A factory of HTTP transports, for the schemes "http" and "https".
TransportFactory HttpTransportFactory();
