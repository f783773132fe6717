#include "bootstrap/run/resume_rule.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "bootstrap/vocabulary/short_text.h"

namespace setup {
namespace {

bool IsDigit(wchar_t c) {
  return c >= L'0' && c <= L'9';
}
bool IsAlpha(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// Leading and trailing blanks (spaces and tabs, as header values carry them) taken off.
std::wstring_view Trimmed(std::wstring_view text) {
  const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// All of text as a decimal number below 10^15 (ample for any offset or date; no overflow).
std::optional<std::int64_t> Decimal(std::wstring_view text) {
  if (text.empty() || text.size() > 15) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  for (const wchar_t c : text) {
    if (!IsDigit(c)) {
      return std::nullopt;
    }
    value = value * 10 + (c - L'0');
  }
  return value;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

unsigned DaysInMonth(std::int64_t year, unsigned month) {
  static constexpr std::array<unsigned, 12> kDays = {31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// 1..12 for a month's three-letter English name in any case; 0 otherwise.
unsigned MonthNumber(std::wstring_view name) {
  static constexpr std::wstring_view kMonths = L"janfebmaraprmayjunjulaugsepoctnovdec";
  if (name.size() != 3) {
    return 0;
  }
  for (unsigned month = 0; month < 12; ++month) {
    bool same = true;
    for (std::size_t i = 0; i < 3; ++i) {
      // ASCII letters only: setting the 0x20 bit lower-cases them and leaves no other letter equal.
      same = same && (name[i] | 0x20) == kMonths[month * 3 + i];
    }
    if (same) {
      return month + 1;
    }
  }
  return 0;
}

// A weak validator says two versions are equivalent, not byte for byte the same, so If-Range may
// not carry one (a server must then always send the whole file).
bool IsWeakEtag(std::wstring_view etag) {
  return etag.size() >= 2 && etag.substr(0, 2) == L"W/";
}

}  // namespace

bool IsRetryableStatus(unsigned long status) {
  return status == 408 || status == 429 || status == 500 || status == 502 || status == 503 ||
         status == 504;
}

std::int64_t BackoffDelayMs(int retry, std::uint32_t jitter,
                            std::optional<std::int64_t> retry_after_ms, std::int64_t unit_ms) {
  const int doublings = std::clamp(retry, 1, kMaxRetries) - 1;
  const std::int64_t base = unit_ms << doublings;
  // 80 % of the base plus up to 40 % more, in proportion to the jitter's share of 2^32.
  const std::int64_t delay =
      base * 4 / 5 +
      static_cast<std::int64_t>((static_cast<std::uint64_t>(base) * 2 / 5 * jitter) >> 32);
  if (!retry_after_ms) {
    return delay;
  }
  return std::max(delay, std::clamp<std::int64_t>(*retry_after_ms, 0, kRetryAfterCapMs));
}

std::optional<std::int64_t> ParseHttpDate(std::wstring_view text) {
  // The three forms share their pieces in one order that matters: the day comes before the year,
  // and the time is the piece with colons; the weekday is ignored, as servers get it wrong.
  //   IMF-fixdate  Sun, 06 Nov 1994 08:49:37 GMT
  //   RFC 850      Sunday, 06-Nov-94 08:49:37 GMT
  //   asctime      Sun Nov  6 08:49:37 1994
  std::optional<std::int64_t> day, year, hour, minute, second;
  unsigned month = 0;
  int words = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const wchar_t c = text[at];
    if (c == L' ' || c == L',' || c == L'-' || c == L'\t') {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < text.size() && (IsDigit(text[end]) || IsAlpha(text[end]) || text[end] == L':')) {
      ++end;
    }
    if (end == at) {
      return std::nullopt;
    }
    const std::wstring_view piece = text.substr(at, end - at);
    at = end;
    if (IsAlpha(piece.front())) {
      if (const unsigned number = MonthNumber(piece); number != 0 && month == 0 && words >= 1) {
        month = number;
      } else if (piece == L"GMT") {
        // The zone of the first two forms; asctime has none and is GMT all the same.
      } else if (++words > 1) {
        return std::nullopt;  // the weekday is the only other word
      }
    } else if (piece.find(L':') != std::wstring_view::npos) {
      if (hour || piece.size() != 8 || piece[2] != L':' || piece[5] != L':') {
        return std::nullopt;
      }
      hour = Decimal(piece.substr(0, 2));
      minute = Decimal(piece.substr(3, 2));
      second = Decimal(piece.substr(6, 2));
      if (!hour || !minute || !second) {
        return std::nullopt;
      }
    } else if (!day && piece.size() <= 2) {
      day = Decimal(piece);
    } else if (day && !year && (piece.size() == 2 || piece.size() == 4)) {
      year = Decimal(piece);
      // RFC 850's two-digit year: the nearer century, as mail and HTTP have always read it.
      if (piece.size() == 2) {
        *year += *year < 70 ? 2000 : 1900;
      }
    } else {
      return std::nullopt;
    }
  }
  if (!day || !year || !hour || month == 0 || words != 1) {
    return std::nullopt;
  }
  if (*day < 1 || *day > DaysInMonth(*year, month) || *hour > 23 || *minute > 59 || *second > 60) {
    return std::nullopt;
  }
  return DaysFromCivil(*year, month, static_cast<unsigned>(*day)) * 86400 + *hour * 3600 +
         *minute * 60 + *second;
}

std::optional<std::int64_t> ParseRetryAfterMs(std::wstring_view text, std::int64_t now_unix_s) {
  text = Trimmed(text);
  if (text.empty()) {
    return std::nullopt;
  }
  if (IsDigit(text.front())) {
    const std::optional<std::int64_t> seconds = Decimal(text);
    if (!seconds) {
      return std::nullopt;
    }
    return std::min<std::int64_t>(*seconds, kRetryAfterCapMs / 1000) * 1000;
  }
  const std::optional<std::int64_t> date = ParseHttpDate(text);
  if (!date) {
    return std::nullopt;
  }
  return std::clamp<std::int64_t>(*date - now_unix_s, 0, kRetryAfterCapMs / 1000) * 1000;
}

std::optional<std::int64_t> ContentRangeStart(std::wstring_view text) {
  text = Trimmed(text);
  constexpr std::wstring_view kUnit = L"bytes ";
  if (text.size() < kUnit.size() || text.substr(0, kUnit.size()) != kUnit) {
    return std::nullopt;
  }
  text = Trimmed(text.substr(kUnit.size()));
  const std::size_t dash = text.find(L'-');
  const std::size_t slash = text.find(L'/');
  if (dash == std::wstring_view::npos || slash == std::wstring_view::npos || slash < dash) {
    return std::nullopt;
  }
  const std::optional<std::int64_t> first = Decimal(text.substr(0, dash));
  const std::optional<std::int64_t> last = Decimal(text.substr(dash + 1, slash - dash - 1));
  const std::wstring_view total = text.substr(slash + 1);
  const std::optional<std::int64_t> length = Decimal(total);
  if (!first || !last || *last < *first || (total != L"*" && (!length || *length <= *last))) {
    return std::nullopt;
  }
  return first;
}

std::int64_t ResumeRule::RequestFrom() const {
  return have_ > 0 && !validator_.empty() ? have_ : 0;
}

std::wstring ResumeRule::RequestHeaders() const {
  if (RequestFrom() == 0) {
    return {};
  }
  return JoinedText(
      {L"Range: bytes=", DecimalPiece(have_), L"-\r\nIf-Range: ", validator_, L"\r\n"});
}

BodyPlacement ResumeRule::Accept(const InstallerAnswerFacts& answer) {
  const std::int64_t from = RequestFrom();
  if (answer.status == 206) {
    const std::optional<std::int64_t> start = ContentRangeStart(answer.content_range);
    // The same version: the validator the answer names, if it names one, is the one sent. A
    // server that gives no validator with its 206 has matched If-Range to send one at all.
    const std::wstring& named = validator_is_etag_ ? answer.etag : answer.last_modified;
    const bool same_version = named.empty() || named == validator_;
    if (from > 0 && start == from && same_version) {
      return BodyPlacement::kAppend;
    }
    if (start != 0) {
      // Part of some version at some offset: nothing in this file to continue with it.
      have_ = 0;
      validator_.clear();
      return BodyPlacement::kDiscard;
    }
  }
  // A whole body, or a part from the first byte: the file starts over with this version.
  have_ = 0;
  const std::wstring_view etag = Trimmed(answer.etag);
  // Weak ETags cannot go into If-Range; Last-Modified can, and the server judges whether it is
  // exact enough. Without either every retry asks for the whole file again.
  validator_is_etag_ = !etag.empty() && !IsWeakEtag(etag);
  validator_ =
      validator_is_etag_ ? std::wstring(etag) : std::wstring(Trimmed(answer.last_modified));
  return BodyPlacement::kStartOver;
}

}  // namespace setup
