// Feeds arbitrary bodies to the answer parser: no crash, no leak, no undefined behaviour, and the
// properties the query relies on.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "bootstrap/files/sha256_digest.h"
#include "bootstrap/run/install_answer.h"
#include "bootstrap/vocabulary/short_text.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// At most 255 characters, no lower-case a-z, nothing of code 32 or lower at either end.
bool IsNormalised(const std::string& url) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  const auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
  return url.size() <= setup::kShortStrMax && std::none_of(url.begin(), url.end(), lower) &&
         (url.empty() || (!blank(url.front()) && !blank(url.back())));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const setup::Windows1252CodePage code_page;

  const std::optional<setup::InstallAnswer> whole = setup::ParseInstallAnswer(body, code_page);
  if (whole) {
    fuzz::Check(IsNormalised(whole->url));
    // A hash is either announced, and then reads back as the same 64 digits, or none is kept.
    if (whole->hash == setup::AnnouncedHash::kGiven) {
      const std::wstring hex = setup::Sha256Hex(whole->sha256);
      fuzz::Check(setup::ParseSha256Hex(std::string(hex.begin(), hex.end())) == whole->sha256);
    } else {
      fuzz::Check(whole->sha256 == setup::Sha256Digest{});
    }
  }
  // Reading may stop early: any prefix of kMinAnswerPrefix bytes or more gives the same answer.
  for (std::size_t n = setup::kMinAnswerPrefix; n < setup::kMinAnswerPrefix + 4 && n < size; ++n) {
    fuzz::Check(setup::ParseInstallAnswer(body.substr(0, n), code_page) == whole);
  }

  // The body read in uneven pieces arrives whole and in order.
  std::size_t offset = 0;
  const std::string read = setup::ReadAnswerBody([&](char* buffer, std::size_t want) {
    const std::size_t piece = std::min({want, size - offset, 1 + offset % 700});
    body.copy(buffer, piece, offset);
    offset += piece;
    return piece;
  });
  fuzz::Check(read == body.substr(0, setup::kAnswerReadCap));

  const std::string text(body);
  const setup::ShortStrInt number = setup::ShortStrToInt(text);
  if (number.ok) {
    fuzz::Check(setup::ShortStrToInt(setup::IntToShortStr(number.value)).value == number.value);
  } else {
    fuzz::Check(number.value >= 1 &&
                number.value <= static_cast<std::int32_t>(setup::kShortStrMax + 2));
  }
  fuzz::Check(setup::TrimShortStr(text).size() <= setup::kShortStrMax);
  return 0;
}
