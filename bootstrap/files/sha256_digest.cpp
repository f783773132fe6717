#include "bootstrap/files/sha256_digest.h"

#include "bootstrap/vocabulary/short_text.h"
#include "framework/text.h"

namespace setup {

std::optional<Sha256Digest> ParseSha256Hex(std::string_view text) {
  if (text.size() != 2 * kSha256Size) {
    return std::nullopt;
  }
  Sha256Digest digest{};
  for (std::size_t i = 0; i < kSha256Size; ++i) {
    const int high = HexDigit(text[2 * i]);
    const int low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) {
      return std::nullopt;
    }
    digest[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return digest;
}

std::wstring Sha256Hex(const Sha256Digest& digest) {
  std::wstring text;
  text.reserve(2 * kSha256Size);
  for (const std::uint8_t byte : digest) {
    text += std::wstring_view(fw::HexPiece(byte, 2));
  }
  return text;
}

}  // namespace setup
