// What a libcurl result means for the transport: the kind of failure and
// the text a person reads.
#pragma once

#include <curl/curl.h>

#include <string>

#include "http/http_fetch.h"

// The failure of a request that libcurl ended with `code` (not CURLE_OK);
// `os_errno` is CURLINFO_OS_ERRNO, `curl_text` libcurl's error buffer,
// `what` names the request ("GET x.gz"). A certificate libcurl would not
// trust reads "certificate not trusted: <libcurl's text>"; a redirect it
// would not follow is a refusal of the file.
FetchFailure CurlFailure(CURLcode code, long os_errno, const std::string& curl_text, const std::string& what);

// The failure of an answer with a status other than 2xx, read as the
// server's refusal starting with the status as an FTP reply starts with
// its code ("404 Not Found (GET x.gz)"; `reason` may be empty): 4xx
// refuses the file (it is absent or forbidden); any other leaves it to a
// later try.
FetchFailure StatusFailure(long status, const std::string& reason, const std::string& what);

// 30000 -> "30 s", 1250 -> "1.25 s".
std::string SecondsText(int64_t ms);
