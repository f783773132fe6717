#include "bootstrap/network/server_chain.h"

#include <wincrypt.h>

#include "bootstrap/files/system_crypto.h"
#include "bootstrap/log/support_log.h"
#include "bootstrap/network/wininet_library.h"
#include "bootstrap/vocabulary/short_text.h"
#include "framework/handle.h"
#include "framework/system_library.h"

namespace setup {
namespace {

// WinInet's word for what the policy found.
DWORD WinInetCode(DWORD policy_error) {
  switch (policy_error) {
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING):
      return ERROR_INTERNET_INVALID_CA;
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case static_cast<DWORD>(CERT_E_EXPIRED):
      return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case static_cast<DWORD>(CRYPT_E_REVOKED):
      return ERROR_INTERNET_SEC_CERT_REVOKED;
    default:
      return ERROR_INTERNET_SEC_INVALID_CERT;
  }
}

}  // namespace

Result<> CheckServerChain(HINTERNET request, const std::wstring& host) {
  const Failure unchecked{L"InternetOpenURL", ERROR_INTERNET_SEC_CERT_REV_FAILED};
  const auto* crypt32 = Crypt32Library::Get();
  if (crypt32 == nullptr) {
    support_log::Write(
        {L"server chain: crypt32 missing (", DecimalPiece(Crypt32Library::Outcome().error), L")"});
    return unchecked;
  }
  PCCERT_CHAIN_CONTEXT raw = nullptr;
  DWORD size = sizeof(raw);
  if (!WinInetLibrary::Get().InternetQueryOptionW(
          request, INTERNET_OPTION_SERVER_CERT_CHAIN_CONTEXT, &raw, &size) ||
      raw == nullptr) {
    support_log::Write({L"server chain: not given (", DecimalPiece(::GetLastError()), L")"});
    return unchecked;
  }
  const ChainHandle chain(raw);
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof(ssl);
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof(policy);
  // Only a revocation status nobody could learn is let pass; a revoked certificate is not.
  policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof(status);
  if (!crypt32->CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy,
                                                 &status)) {
    support_log::Write(
        {L"server chain: policy not applied (", DecimalPiece(::GetLastError()), L")"});
    return unchecked;
  }
  if (status.dwError != 0) {
    support_log::Write({L"server chain: refused (0x", fw::HexPiece(status.dwError, 8), L")"});
    return Failure{L"InternetOpenURL", WinInetCode(status.dwError)};
  }
  support_log::Write(L"server chain: trusted for the host");
  return {};
}

}  // namespace setup
