#include "bootstrap/files/system_crypto.h"

#include "framework/system_library.h"

namespace setup {
namespace {

struct BCryptFunctions : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"bcrypt.dll";
  FW_SYSTEM_FUNCTION(BCryptGenRandom);
  FW_SYSTEM_FUNCTION(BCryptOpenAlgorithmProvider);
  FW_SYSTEM_FUNCTION(BCryptCloseAlgorithmProvider);
  FW_SYSTEM_FUNCTION(BCryptGetProperty);
  FW_SYSTEM_FUNCTION(BCryptCreateHash);
  FW_SYSTEM_FUNCTION(BCryptHashData);
  FW_SYSTEM_FUNCTION(BCryptFinishHash);
  FW_SYSTEM_FUNCTION(BCryptDestroyHash);
};

using CryptoLibrary = fw::Library<BCryptFunctions>;

Failure Missing() {
  const fw::LibraryOutcome& outcome = CryptoLibrary::Outcome();
  return {*outcome.missing == '\0' ? L"LoadLibrary" : L"GetProcAddress", outcome.error};
}

// The functions' NTSTATUS as the failure's code: the log shows it as it is.
Failure Failed(const wchar_t* call, NTSTATUS status) {
  return {call, static_cast<std::uint32_t>(status)};
}

}  // namespace

Result<> LoadSystemCrypto() {
  if (CryptoLibrary::Get() == nullptr) {
    return Missing();
  }
  return {};
}

void FreeCertificate(PCCERT_CONTEXT certificate) noexcept {
  Crypt32Library::Get()->CertFreeCertificateContext(certificate);
}

void FreeChain(PCCERT_CHAIN_CONTEXT chain) noexcept {
  Crypt32Library::Get()->CertFreeCertificateChain(chain);
}

void CloseHashAlgorithm(BCRYPT_ALG_HANDLE algorithm) noexcept {
  CryptoLibrary::Get()->BCryptCloseAlgorithmProvider(algorithm, 0);
}

void DestroyHashObject(BCRYPT_HASH_HANDLE hash) noexcept {
  CryptoLibrary::Get()->BCryptDestroyHash(hash);
}

Result<> SystemRandom(std::uint8_t* buffer, std::size_t size) {
  const CryptoLibrary* crypto = CryptoLibrary::Get();
  if (crypto == nullptr) {
    return Missing();
  }
  if (const NTSTATUS status = crypto->BCryptGenRandom(nullptr, buffer, static_cast<ULONG>(size),
                                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG);
      status != 0) {
    return Failed(L"BCryptGenRandom", status);
  }
  return {};
}

SystemHash::SystemHash(const wchar_t* algorithm) {
  const CryptoLibrary* crypto = CryptoLibrary::Get();
  if (crypto == nullptr) {
    failed_ = Missing();
    return;
  }
  BCRYPT_ALG_HANDLE raw_algorithm = nullptr;
  if (const NTSTATUS status =
          crypto->BCryptOpenAlgorithmProvider(&raw_algorithm, algorithm, nullptr, 0);
      status != 0) {
    failed_ = Failed(L"BCryptOpenAlgorithmProvider", status);
    return;
  }
  algorithm_.reset(raw_algorithm);
  DWORD object_size = 0;
  ULONG got = 0;
  // Windows 7 wants the hash object's memory from the caller.
  if (const NTSTATUS status = crypto->BCryptGetProperty(raw_algorithm, BCRYPT_OBJECT_LENGTH,
                                                        reinterpret_cast<PUCHAR>(&object_size),
                                                        sizeof(object_size), &got, 0);
      status != 0) {
    failed_ = Failed(L"BCryptGetProperty", status);
    return;
  }
  object_.resize(object_size);
  BCRYPT_HASH_HANDLE raw_hash = nullptr;
  if (const NTSTATUS status =
          crypto->BCryptCreateHash(raw_algorithm, &raw_hash, object_.data(),
                                   static_cast<ULONG>(object_.size()), nullptr, 0, 0);
      status != 0) {
    failed_ = Failed(L"BCryptCreateHash", status);
    return;
  }
  hash_.reset(raw_hash);
}

Result<> SystemHash::Add(const std::uint8_t* data, std::size_t size) {
  if (!hash_) {
    return failed_;
  }
  if (const NTSTATUS status = CryptoLibrary::Get()->BCryptHashData(
          hash_.get(), const_cast<PUCHAR>(data), static_cast<ULONG>(size), 0);
      status != 0) {
    return Failed(L"BCryptHashData", status);
  }
  return {};
}

Result<> SystemHash::Finish(std::span<std::uint8_t> digest) {
  if (!hash_) {
    return failed_;
  }
  if (const NTSTATUS status = CryptoLibrary::Get()->BCryptFinishHash(
          hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0);
      status != 0) {
    return Failed(L"BCryptFinishHash", status);
  }
  return {};
}

Result<Sha256Digest> SystemHash::FinishSha256() {
  Sha256Digest digest{};
  if (const Result<> finished = Finish(digest); !finished) {
    return finished.Why();
  }
  return digest;
}

}  // namespace setup
