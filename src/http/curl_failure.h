// What a libcurl result means for the transport: the kind of failure and
// the text a person reads.
#pragma once

#include <curl/curl.h>

#include <string>

#include "http/fetch_rules.h"

// The failure of a request that libcurl ended with `code` (not CURLE_OK);
// `os_errno` is CURLINFO_OS_ERRNO, `curl_text` libcurl's error buffer,
// `what` names the request ("GET x.gz"). A certificate libcurl would not
// trust reads "certificate not trusted: <libcurl's text>"; a redirect it
// would not follow is a refusal of the file.
FetchFailure CurlFailure(CURLcode code, long os_errno, const std::string& curl_text, const std::string& what);
