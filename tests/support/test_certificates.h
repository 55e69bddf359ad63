// TLS certificates for tests against servers on loopback, made once per
// test process with the openssl command line in a temporary folder that
// goes when the process ends: a test CA, and a server certificate and key
// of each kind below.
//
//   const CertificateFiles trusted = TestCertificate(CertificateKind::kTrusted);
//   nginx: ssl_certificate trusted.certificate; ssl_certificate_key trusted.key;
//   client: trust TestCaFile().
#pragma once

#include <string>

namespace test_support {

// The one name a kOtherHost certificate is made for.
inline constexpr const char* kOtherCertificateHost = "elsewhere.invalid";

enum class CertificateKind {
  kTrusted,     // signed by the test CA for 127.0.0.1, ::1 and localhost
  kSelfSigned,  // for the same names, signed by its own key: no CA vouches for it
  kOtherHost,   // signed by the test CA for kOtherCertificateHost only
  kExpired,     // signed by the test CA for the loopback names; valid only in January 2020
};

// "trusted", "self-signed", "other host", "expired", for test names and messages.
const char* CertificateKindName(CertificateKind kind);

struct CertificateFiles {
  std::string certificate;  // PEM file
  std::string key;          // PEM file of its private key, without a password
};

// The PEM file of the test CA. The first call makes every certificate;
// it throws std::runtime_error with openssl's output when openssl fails.
// Safe to call from any thread.
const std::string& TestCaFile();

// The files of a server certificate of `kind` (made as TestCaFile says).
CertificateFiles TestCertificate(CertificateKind kind);

}  // namespace test_support
