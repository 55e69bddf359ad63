#include "http/winhttp_failure.h"

#include "platform/windows_api.h"

#include <winhttp.h>

namespace {

// The system's words for `error`, from winhttp.dll's messages for its own.
std::string ErrorText(uint32_t error) {
  wchar_t* text = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                      (error >= WINHTTP_ERROR_BASE && error <= WINHTTP_ERROR_LAST ? FORMAT_MESSAGE_FROM_HMODULE
                                                                                  : FORMAT_MESSAGE_FROM_SYSTEM);
  const DWORD length = FormatMessageW(flags, GetModuleHandleW(L"winhttp.dll"), error, 0,
                                      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string words = length > 0 ? platform::Utf8FromWide(std::wstring_view(text, length)) : "";
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ' ||
                            words.back() == '.'))
    words.pop_back();
  return words.empty() ? "WinHTTP error " + std::to_string(error) : words;
}

std::string CertificateProblem(uint32_t flags) {
  std::string text;
  const auto add = [&text](const char* words) { text += (text.empty() ? "" : ", ") + std::string(words); };
  if (flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA) add("no trusted authority signed it");
  if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID) add("it names another host");
  if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) add("it has expired or is not valid yet");
  if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED) add("it was revoked");
  if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED) add("its revocation could not be checked");
  if (flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT) add("it is not valid");
  if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE) add("it is not for servers");
  return text;
}

}  // namespace

FetchFailure WinHttpFailure(uint32_t error, uint32_t secure_flags, const std::string& host, const std::string& what) {
  FetchFailure failure;
  std::string text;
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      failure.cause = FetchCause::kNoSuchHost;
      text = "Could not resolve host: " + host;
      break;
    case ERROR_WINHTTP_CANNOT_CONNECT:
      failure.cause = FetchCause::kConnectFailed;
      text = "Failed to connect to " + host + ": " + ErrorText(error);
      break;
    case ERROR_WINHTTP_TIMEOUT:
      failure.cause = FetchCause::kTimedOut;
      text = ErrorText(error);
      break;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
      if (secure_flags & WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR) {
        text = "TLS handshake failed: " + ErrorText(error);
      } else {
        const std::string problem = CertificateProblem(secure_flags);
        text = "certificate not trusted: " + (problem.empty() ? ErrorText(error) : problem);
      }
      break;
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
      text = "TLS handshake failed: " + ErrorText(error);
      break;
    case ERROR_WINHTTP_REDIRECT_FAILED:
      failure.kind = DownloadFailure::kRefused;
      text = "redirect not followed: " + ErrorText(error);
      break;
    default:
      text = ErrorText(error);
  }
  failure.text = text + " (" + what + ")";
  return failure;
}

FetchFailure RedirectFailure(long status, const std::string& what) {
  return FetchFailure{DownloadFailure::kRefused, "redirect not followed: the server's " + std::to_string(status) +
                                                     " leads where the request may not go (" + what + ")"};
}
