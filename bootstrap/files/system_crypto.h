// SHA-256 and random bytes from the system's cryptography (bcrypt.dll, from the system directory
// only, loaded at run time like every library beyond the static imports).
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bootstrap/files/sha256_digest.h"
#include "bootstrap/vocabulary/failure.h"
#include "framework/handle.h"

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

// A SHA-256 in the making: Add the bytes in order, then Finish once. After LoadSystemCrypto. A
// hash the system could not make fails every call with the reason.
class Sha256Hash {
 public:
  Sha256Hash();

  Result<> Add(const std::uint8_t* data, std::size_t size);
  Result<Sha256Digest> Finish();

 private:
  HashAlgorithmHandle algorithm_;  // outlives the hash: members go in reverse order
  std::vector<std::uint8_t> object_;
  HashObjectHandle hash_;
  Failure failed_;
};

// The SHA-256 of everything the file holds, read through the handle from its start at explicit
// offsets (its position does not matter and does not change). Any thread, after LoadSystemCrypto.
Result<Sha256Digest> Sha256OfFile(HANDLE file);

}  // namespace setup
