#include "bootstrap/files/system_crypto.h"

#include <algorithm>

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

constexpr DWORD kReadChunk = 64 * 1024;

}  // namespace

Result<> LoadSystemCrypto() {
  if (CryptoLibrary::Get() == nullptr) {
    return Missing();
  }
  return {};
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

Sha256Hash::Sha256Hash() {
  const CryptoLibrary* crypto = CryptoLibrary::Get();
  if (crypto == nullptr) {
    failed_ = Missing();
    return;
  }
  BCRYPT_ALG_HANDLE raw_algorithm = nullptr;
  if (const NTSTATUS status =
          crypto->BCryptOpenAlgorithmProvider(&raw_algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
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

Result<> Sha256Hash::Add(const std::uint8_t* data, std::size_t size) {
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

Result<Sha256Digest> Sha256Hash::Finish() {
  if (!hash_) {
    return failed_;
  }
  Sha256Digest digest{};
  if (const NTSTATUS status = CryptoLibrary::Get()->BCryptFinishHash(
          hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0);
      status != 0) {
    return Failed(L"BCryptFinishHash", status);
  }
  return digest;
}

Result<Sha256Digest> Sha256OfFile(HANDLE file) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size)) {
    return Failure{L"GetFileSizeEx", ::GetLastError()};
  }
  Sha256Hash hash;
  std::vector<std::uint8_t> chunk(kReadChunk);
  for (std::uint64_t done = 0; done < static_cast<std::uint64_t>(size.QuadPart);) {
    const DWORD piece = static_cast<DWORD>(
        std::min<std::uint64_t>(kReadChunk, static_cast<std::uint64_t>(size.QuadPart) - done));
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(done);
    at.OffsetHigh = static_cast<DWORD>(done >> 32);
    DWORD count = 0;
    if (!::ReadFile(file, chunk.data(), piece, &count, &at)) {
      return Failure{L"ReadFile", ::GetLastError()};
    }
    if (count != piece) {
      return Failure{L"ReadFile", ERROR_HANDLE_EOF};
    }
    if (const Result<> added = hash.Add(chunk.data(), piece); !added) {
      return added.Why();
    }
    done += piece;
  }
  return hash.Finish();
}

}  // namespace setup
