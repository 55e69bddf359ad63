#include "http/curl_failure.h"

#include "platform/socket_errors.h"

namespace {

bool IsCertificateProblem(CURLcode code) {
  return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE ||
         code == CURLE_SSL_ISSUER_ERROR || code == CURLE_SSL_PINNEDPUBKEYNOTMATCH;
}

bool IsSocketProblem(CURLcode code) {
  return code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_COULDNT_CONNECT;
}

}  // namespace

FetchFailure CurlFailure(CURLcode code, long os_errno, const std::string& curl_text, const std::string& what) {
  FetchFailure failure;
  if (code == CURLE_COULDNT_RESOLVE_HOST) failure.cause = FetchCause::kNoSuchHost;
  if (code == CURLE_COULDNT_CONNECT) failure.cause = FetchCause::kConnectFailed;
  if (code == CURLE_OPERATION_TIMEDOUT) failure.cause = FetchCause::kTimedOut;
  const std::string reason = curl_text.empty() ? curl_easy_strerror(code) : curl_text;
  if (IsSocketProblem(code) && os_errno != 0) failure.socket_error = platform::WinSockErrorFromErrno(static_cast<int>(os_errno));
  if (IsCertificateProblem(code)) {
    failure.text = "certificate not trusted: " + reason;
  } else if (code == CURLE_SSL_CONNECT_ERROR) {
    failure.text = "TLS handshake failed: " + reason;
  } else if (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_TOO_MANY_REDIRECTS) {
    // Only a redirect leads to a protocol the request may not use:
    // https never goes on over http.
    failure.kind = DownloadFailure::kRefused;
    failure.text = "redirect not followed: " + reason;
  } else {
    failure.text = reason;
  }
  failure.text += " (" + what + ")";
  return failure;
}
