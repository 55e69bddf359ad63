#include "support/test_certificates.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/shell_tool.h"

namespace test_support {

namespace {

// P-256 keys: made in milliseconds, unlike RSA ones.
constexpr const char* kNewKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
constexpr const char* kLoopbackNames = "subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost";

// A file name for each kind, in the order of CertificateKind.
constexpr const char* kFileNames[] = {"trusted", "self-signed", "other-host", "expired"};

class MadeCertificates {
 public:
  MadeCertificates() {
    std::string pattern = (std::filesystem::temp_directory_path() / "test_certificates.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern + "/";
    ca_file_ = dir_ + "ca.pem";
    Openssl("req -x509 " + std::string(kNewKey) + " -keyout " + Quoted("ca.key") + " -out " + Quoted("ca.pem") +
            " -days 3650 -subj '/CN=Updater test CA' -addext basicConstraints=critical,CA:TRUE"
            " -addext keyUsage=critical,keyCertSign,cRLSign");
    Openssl("req -x509 " + std::string(kNewKey) + " -keyout " + Quoted("self-signed.key") + " -out " +
            Quoted("self-signed.pem") + " -days 3650 -subj /CN=127.0.0.1 -addext " + kLoopbackNames);
    WriteCaConfig();
    SignedByCa(CertificateKind::kTrusted, kLoopbackNames, "-days 3650");
    SignedByCa(CertificateKind::kOtherHost, std::string("subjectAltName=DNS:") + kOtherCertificateHost,
               "-days 3650");
    // "x509 -days" cannot date a certificate in the past; "ca" takes both ends.
    SignedByCa(CertificateKind::kExpired, kLoopbackNames, "-startdate 20200101000000Z -enddate 20200201000000Z");
  }
  ~MadeCertificates() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  MadeCertificates(const MadeCertificates&) = delete;
  MadeCertificates& operator=(const MadeCertificates&) = delete;

  const std::string& ca_file() const { return ca_file_; }
  CertificateFiles Of(CertificateKind kind) const {
    const std::string base = dir_ + kFileNames[static_cast<int>(kind)];
    return {base + ".pem", base + ".key"};
  }

 private:
  std::string Quoted(const std::string& name) const { return ShellQuoted(dir_ + name); }

  void Openssl(const std::string& arguments) const {
    const ToolRun run = RunTool("openssl " + arguments + " </dev/null");
    if (run.status != 0) throw std::runtime_error("openssl " + arguments + " failed: " + run.output);
  }

  // The signing CA of "openssl ca": its database, and the extensions of a
  // server certificate (the names come from the request).
  void WriteCaConfig() const {
    std::filesystem::create_directories(dir_ + "issued");
    std::ofstream(dir_ + "index.txt");
    std::ofstream(dir_ + "serial") << "01\n";
    std::ofstream(dir_ + "ca.cnf") << "[ca]\ndefault_ca = test_ca\n"
                                   << "[test_ca]\ndatabase = " << dir_ << "index.txt\n"
                                   << "new_certs_dir = " << dir_ << "issued\nserial = " << dir_ << "serial\n"
                                   << "certificate = " << dir_ << "ca.pem\nprivate_key = " << dir_ << "ca.key\n"
                                   << "default_md = sha256\npolicy = any_name\ncopy_extensions = copy\n"
                                   << "unique_subject = no\n"
                                   << "[any_name]\ncommonName = supplied\n"
                                   << "[server]\nbasicConstraints = CA:FALSE\n"
                                   << "keyUsage = critical,digitalSignature\nextendedKeyUsage = serverAuth\n"
                                   << "subjectKeyIdentifier = hash\nauthorityKeyIdentifier = keyid\n";
  }

  void SignedByCa(CertificateKind kind, const std::string& names, const std::string& dates) const {
    const std::string base = kFileNames[static_cast<int>(kind)];
    Openssl("req -new " + std::string(kNewKey) + " -keyout " + Quoted(base + ".key") + " -out " +
            Quoted(base + ".csr") + " -subj /CN=" + base + " -addext " + names);
    Openssl("ca -batch -notext -config " + Quoted("ca.cnf") + " -extensions server " + dates + " -in " +
            Quoted(base + ".csr") + " -out " + Quoted(base + ".pem"));
  }

  std::string dir_;  // ends in '/'
  std::string ca_file_;
};

const MadeCertificates& Made() {
  static const MadeCertificates made;
  return made;
}

}  // namespace

const char* CertificateKindName(CertificateKind kind) {
  switch (kind) {
    case CertificateKind::kTrusted: return "trusted";
    case CertificateKind::kSelfSigned: return "self-signed";
    case CertificateKind::kOtherHost: return "other host";
    case CertificateKind::kExpired: return "expired";
  }
  return "?";
}

const std::string& TestCaFile() { return Made().ca_file(); }

CertificateFiles TestCertificate(CertificateKind kind) { return Made().Of(kind); }

}  // namespace test_support
