#include "update/login_failure.h"

namespace {

// 2000 -> "2 s", 2500 -> "2.5 s".
std::string Seconds(int ms) {
  std::string text = std::to_string(ms / 1000);
  if (const int fraction = ms % 1000; fraction != 0) {
    std::string digits = std::to_string(1000 + fraction).substr(1);
    while (digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return text + " s";
}

// The text without the line end a server's reply carries.
std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

std::string DescribeFailedLogin(const LoginEvents& events, const std::string& error, int timeout_ms) {
  const std::string text = Trimmed(error);
  if (events.InvalidHost || text == "Null Remote Address" || text == "Host Lookup Failed") return "host not found";
  // The login's own bound.
  if (text == "Connection Timed out" || text == "Host Lookup Timed Out") {
    const std::string what = text == "Connection Timed out" ? "timed out" : "host lookup timed out";
    return timeout_ms > 0 ? what + " after " + Seconds(timeout_ms) : what;
  }
  // The socket layer keeps no reason for a connect that failed.
  if (!events.Reached && text == "Connection Failed") return "connection refused or unreachable";
  // A stall error names the stall time itself.
  if (text.find(" timed out: ") != std::string::npos) return text;
  if (events.Refused) return "login refused (" + text + ")";
  return text;
}
