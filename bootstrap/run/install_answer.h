// The install-location service's answer: decoding the body, its first line and the two fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "bootstrap/vocabulary/ansi_code_page.h"

namespace setup {

// Only the first 255 characters of the first line count, so reading the body may stop here. Any
// prefix of at least kMinAnswerPrefix bytes parses like the whole body; the cap is far above that.
inline constexpr std::size_t kMinAnswerPrefix = 1024;
inline constexpr std::size_t kAnswerReadCap = 64 * 1024;
static_assert(kAnswerReadCap >= kMinAnswerPrefix);

struct InstallAnswer {
  std::string url;    // ANSI, upper case; empty means there is nothing to install
  std::int32_t size;  // expected installer size in bytes
  friend bool operator==(const InstallAnswer&, const InstallAnswer&) = default;
};

// Fills at most `size` bytes of `buffer` and tells how many; 0 ends the body.
using ReadBodyPiece = std::function<std::size_t(char* buffer, std::size_t size)>;

// Reads a body in pieces of up to 1024 bytes until a piece is empty or kAnswerReadCap bytes are in,
// so a service that never stops sending cannot exhaust memory.
std::string ReadAnswerBody(const ReadBodyPiece& read);

// UTF-8 to UTF-16; each maximal ill-formed subsequence becomes one U+FFFD.
std::wstring DecodeUtf8(std::string_view bytes);

// The first line of the body, normalised (ANSI, at most 255 characters, trimmed, a-z upper-cased);
// nullopt when the body's text is empty and so has no lines.
std::optional<std::string> FirstAnswerLine(std::string_view body, const AnsiCodePage& code_page);

// Cuts the first "|"-terminated field off the text, trimmed; empty and the text unchanged when
// there is no "|".
std::string NextField(std::string& text);

// The installer URL and expected size the body announces; nullopt when the body has no lines.
std::optional<InstallAnswer> ParseInstallAnswer(std::string_view body,
                                                const AnsiCodePage& code_page);

}  // namespace setup
