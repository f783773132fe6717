// trust_ca.exe PATH: adds the test CA (PEM or DER) to the LocalMachine Root store of the Wine
// prefix it runs in, so that WinInet accepts the local service's certificate. Exit code 0 on
// success.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "framework/handle.h"

namespace {

inline void CloseStore(HCERTSTORE store) noexcept {
  ::CertCloseStore(store, 0);
}
inline void FreeCertificate(PCCERT_CONTEXT cert) noexcept {
  ::CertFreeCertificateContext(cert);
}

using CertStore = fw::UniqueHandle<HCERTSTORE, fw::NullHandleTraits<HCERTSTORE, CloseStore>>;
using CertContext =
    fw::UniqueHandle<PCCERT_CONTEXT, fw::NullHandleTraits<PCCERT_CONTEXT, FreeCertificate>>;

int Fail(const char* what, DWORD code) {
  std::fprintf(stderr, "trust_ca: %s failed, error %lu (0x%08lx)\n", what, code, code);
  return 1;
}

bool ReadWholeFile(const wchar_t* path, std::string& contents) {
  fw::FileHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return false;
  }
  char buffer[4096];
  DWORD count = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &count, nullptr) && count > 0) {
    contents.append(buffer, count);
  }
  return true;
}

// Every certificate in a PEM file, or the file itself when it holds DER.
std::vector<std::vector<BYTE>> DecodeCertificates(const std::string& contents) {
  constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
  constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
  std::vector<std::vector<BYTE>> certificates;
  if (contents.find(kBegin) == std::string::npos) {
    certificates.emplace_back(contents.begin(), contents.end());
    return certificates;
  }
  for (size_t begin = contents.find(kBegin); begin != std::string::npos;
       begin = contents.find(kBegin, begin + kBegin.size())) {
    const size_t end = contents.find(kEnd, begin);
    if (end == std::string::npos) {
      break;
    }
    const std::string block = contents.substr(begin, end + kEnd.size() - begin);
    const DWORD block_length = static_cast<DWORD>(block.size());
    DWORD size = 0;
    if (!::CryptStringToBinaryA(block.c_str(), block_length, CRYPT_STRING_BASE64HEADER, nullptr,
                                &size, nullptr, nullptr)) {
      continue;
    }
    std::vector<BYTE> der(size);
    if (::CryptStringToBinaryA(block.c_str(), block_length, CRYPT_STRING_BASE64HEADER, der.data(),
                               &size, nullptr, nullptr)) {
      der.resize(size);
      certificates.push_back(std::move(der));
    }
  }
  return certificates;
}

std::string SubjectOf(PCCERT_CONTEXT cert) {
  wchar_t name[256] = {};
  ::CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256);
  char utf8[768] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trust_ca.exe CA_CERTIFICATE.pem\n");
    return 2;
  }
  std::string contents;
  if (!ReadWholeFile(argv[1], contents)) {
    return Fail("reading the certificate file", ::GetLastError());
  }
  const auto certificates = DecodeCertificates(contents);
  if (certificates.empty()) {
    std::fprintf(stderr, "trust_ca: no certificate found in the file\n");
    return 1;
  }
  CertStore root(
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
  if (!root) {
    return Fail("CertOpenStore(LocalMachine\\Root)", ::GetLastError());
  }
  for (const auto& der : certificates) {
    PCCERT_CONTEXT added = nullptr;
    if (!::CertAddEncodedCertificateToStore(root.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                            der.data(), static_cast<DWORD>(der.size()),
                                            CERT_STORE_ADD_REPLACE_EXISTING, &added)) {
      return Fail("CertAddEncodedCertificateToStore", ::GetLastError());
    }
    CertContext cert(added);
    std::printf("trusted: %s\n", SubjectOf(cert.get()).c_str());
  }
  return 0;
}
