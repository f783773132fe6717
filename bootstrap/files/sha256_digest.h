// The installer's SHA-256: as the service's answer may announce it, and as Setup computes it from
// the file it downloaded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

inline constexpr std::size_t kSha256Size = 32;
using Sha256Digest = std::array<std::uint8_t, kSha256Size>;

// Exactly 64 hexadecimal digits, in either case; nullopt for anything else (blanks, a prefix, one
// digit more or less).
std::optional<Sha256Digest> ParseSha256Hex(std::string_view text);

// The 64 digits, upper case, as the answer's upper-cased line has them: for the support log.
std::wstring Sha256Hex(const Sha256Digest& digest);

}  // namespace setup
