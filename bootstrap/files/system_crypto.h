// Hashes and random bytes from the system's cryptography (bcrypt.dll), and the certificate
// functions that both the server's chain check and the installer's signature check use
// (crypt32.dll): from the system directory only, loaded at run time like every library beyond the
// static imports.
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "bootstrap/files/sha256_digest.h"
#include "bootstrap/vocabulary/failure.h"
#include "framework/handle.h"
#include "framework/system_library.h"

namespace setup {

// Loads bcrypt.dll's functions. First on the main thread, before a worker uses anything here.
// The failure names LoadLibrary or the function missing, with the system's code.
Result<> LoadSystemCrypto();

// Fills buffer with size bytes from the system's preferred random number generator.
Result<> SystemRandom(std::uint8_t* buffer, std::size_t size);

// Closed through the loaded functions: only once LoadSystemCrypto succeeded.
void CloseHashAlgorithm(BCRYPT_ALG_HANDLE algorithm) noexcept;
void DestroyHashObject(BCRYPT_HASH_HANDLE hash) noexcept;
using HashAlgorithmHandle =
    fw::UniqueHandle<BCRYPT_ALG_HANDLE,
                     fw::NullHandleTraits<BCRYPT_ALG_HANDLE, CloseHashAlgorithm>>;
using HashObjectHandle =
    fw::UniqueHandle<BCRYPT_HASH_HANDLE,
                     fw::NullHandleTraits<BCRYPT_HASH_HANDLE, DestroyHashObject>>;

// crypt32.dll's certificate functions: one table for every user. What a missing one means is
// decided where it is used (Crypt32Library::Get() is null).
struct Crypt32Functions : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"crypt32.dll";
  FW_SYSTEM_FUNCTION(CertDuplicateCertificateContext);
  FW_SYSTEM_FUNCTION(CertFreeCertificateContext);
  FW_SYSTEM_FUNCTION(CertGetCertificateChain);
  FW_SYSTEM_FUNCTION(CertFreeCertificateChain);
  FW_SYSTEM_FUNCTION(CertVerifyCertificateChainPolicy);
};
using Crypt32Library = fw::Library<Crypt32Functions>;

// Freed through the loaded functions: a certificate or chain exists only once the table is.
void FreeCertificate(PCCERT_CONTEXT certificate) noexcept;
void FreeChain(PCCERT_CHAIN_CONTEXT chain) noexcept;
using CertificateHandle =
    fw::UniqueHandle<PCCERT_CONTEXT, fw::NullHandleTraits<PCCERT_CONTEXT, FreeCertificate>>;
using ChainHandle =
    fw::UniqueHandle<PCCERT_CHAIN_CONTEXT, fw::NullHandleTraits<PCCERT_CHAIN_CONTEXT, FreeChain>>;

// A hash in the making, of the system's algorithm named (BCRYPT_SHA256_ALGORITHM, ...): Add the
// bytes in order, then Finish once. After LoadSystemCrypto; one hash class for every digest Setup
// makes. A hash the system could not make fails every call with the reason.
class SystemHash {
 public:
  explicit SystemHash(const wchar_t* algorithm = BCRYPT_SHA256_ALGORITHM);

  Result<> Add(const std::uint8_t* data, std::size_t size);
  // Into digest, which has the algorithm's size.
  Result<> Finish(std::span<std::uint8_t> digest);
  Result<Sha256Digest> FinishSha256();

 private:
  HashAlgorithmHandle algorithm_;  // outlives the hash: members go in reverse order
  std::vector<std::uint8_t> object_;
  HashObjectHandle hash_;
  Failure failed_;
};

}  // namespace setup
