#include "http/winhttp_trust.h"


#include <vector>

#include "platform/errors.h"

namespace {

constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
constexpr std::string_view kEnd = "-----END CERTIFICATE-----";

}  // namespace

ExtraTrust::ExtraTrust(const std::string& pem) {
  for (size_t begin = pem.find(kBegin); begin != std::string::npos; begin = pem.find(kBegin, begin + 1)) {
    const size_t end = pem.find(kEnd, begin);
    if (end == std::string::npos) throw Exception("CAFILE: a certificate has no end");
    const std::string block = pem.substr(begin, end + kEnd.size() - begin);
    DWORD length = 0;
    if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &length, nullptr, nullptr))
      throw Exception("CAFILE: a certificate cannot be read");
    std::vector<BYTE> der(length);
    if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                              &length, nullptr, nullptr))
      throw Exception("CAFILE: a certificate cannot be read");
    if (store_ == nullptr) {
      store_ = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
      if (store_ == nullptr) throw Exception("CAFILE: no certificate store");
    }
    if (!CertAddEncodedCertificateToStore(store_, X509_ASN_ENCODING, der.data(), length, CERT_STORE_ADD_ALWAYS,
                                          nullptr))
      throw Exception("CAFILE: a certificate is not one");
  }
}

ExtraTrust::~ExtraTrust() {
  if (store_ != nullptr) CertCloseStore(store_, 0);
}

void ExtraTrust::Relax(HINTERNET request) const {
  if (Empty()) return;
  DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
  (void)WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
}

std::optional<std::string> ExtraTrust::Refusal(HINTERNET request) const {
  if (Empty()) return std::nullopt;
  PCCERT_CONTEXT server = nullptr;
  DWORD size = sizeof server;
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) || server == nullptr)
    return std::nullopt;  // plain http: no certificate to judge
  // The chain as the system builds it, the server's intermediates and
  // these CAs offered beside its own store.
  HCERTSTORE offered = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  if (offered != nullptr) {
    (void)CertAddStoreToCollection(offered, store_, 0, 0);
    if (server->hCertStore != nullptr) (void)CertAddStoreToCollection(offered, server->hCertStore, 0, 0);
  }
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  std::optional<std::string> refusal = "no trusted authority signed it";
  if (CertGetCertificateChain(nullptr, server, nullptr, offered, &para, 0, nullptr, &chain) && chain != nullptr &&
      chain->cChain > 0) {
    const DWORD errors = chain->TrustStatus.dwErrorStatus;
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
    PCCERT_CONTEXT found = CertFindCertificateInStore(store_, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, root, nullptr);
    const bool ours = found != nullptr;
    if (found != nullptr) CertFreeCertificateContext(found);
    if (errors == CERT_TRUST_NO_ERROR || (errors == CERT_TRUST_IS_UNTRUSTED_ROOT && ours)) refusal.reset();
    if (errors & CERT_TRUST_IS_NOT_TIME_VALID) refusal = "it has expired or is not valid yet";
    if (errors & CERT_TRUST_IS_REVOKED) refusal = "it was revoked";
  }
  if (chain != nullptr) CertFreeCertificateChain(chain);
  if (offered != nullptr) CertCloseStore(offered, 0);
  CertFreeCertificateContext(server);
  return refusal;
}
