// The install-location service's answer: decoding the body, its first line and its fields:
// URL|SIZE, or URL|SIZE|SHA256 when the service binds the installer to its hash.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bootstrap/files/sha256_digest.h"
#include "bootstrap/vocabulary/ansi_code_page.h"

namespace setup {

// Only the first 255 characters of the first line count, so reading the body may stop here. Any
// prefix of at least kMinAnswerPrefix bytes parses like the whole body; the cap is far above that.
inline constexpr std::size_t kMinAnswerPrefix = 1024;
inline constexpr std::size_t kAnswerReadCap = 64 * 1024;
static_assert(kAnswerReadCap >= kMinAnswerPrefix);

// What the third field says of the installer's SHA-256.
enum class AnnouncedHash {
  kNone,       // no third field, or an empty one: the answer binds no hash
  kGiven,      // exactly 64 hex digits: the installer must have that hash
  kMalformed,  // anything else: the service meant to bind the file and failed to say how
};

struct InstallAnswer {
  std::string url;    // ANSI, upper case; empty means there is nothing to install
  std::int32_t size;  // expected installer size in bytes
  AnnouncedHash hash = AnnouncedHash::kNone;
  Sha256Digest sha256 = {};  // kGiven: the hash
  friend bool operator==(const InstallAnswer&, const InstallAnswer&) = default;
};

// Reads a body in pieces of up to 1024 bytes until a piece is empty or kAnswerReadCap bytes are in,
// so a service that never stops sending cannot exhaust memory. read(buffer, size) fills at most
// size bytes of buffer and tells how many; 0 ends the body. (A callable rather than std::function:
// Setup.exe stays small.)
template <typename Read>
std::string ReadAnswerBody(Read&& read) {
  std::string body;
  std::array<char, 1024> buffer{};
  while (body.size() < kAnswerReadCap) {
    buffer.fill(0);
    const std::size_t want = std::min(buffer.size(), kAnswerReadCap - body.size());
    const std::size_t count = std::min<std::size_t>(read(buffer.data(), want), want);
    if (count == 0) {
      break;
    }
    body.append(buffer.data(), count);
  }
  return body;
}

// UTF-8 to UTF-16; each maximal ill-formed subsequence becomes one U+FFFD.
std::wstring DecodeUtf8(std::string_view bytes);

// The first line of the body, normalised (ANSI, at most 255 characters, trimmed, a-z upper-cased);
// nullopt when the body's text is empty and so has no lines.
std::optional<std::string> FirstAnswerLine(std::string_view body, const AnsiCodePage& code_page);

// Cuts the first "|"-terminated field off the text, trimmed; empty and the text unchanged when
// there is no "|".
std::string NextField(std::string& text);

// The installer URL, expected size and hash the body announces; nullopt when the body has no
// lines. Fields after the third are left for later use and ignored.
std::optional<InstallAnswer> ParseInstallAnswer(std::string_view body,
                                                const AnsiCodePage& code_page);

}  // namespace setup
