// When and how the installer download tries again by itself: which answers and endings are worth
// another attempt, how long to wait before it, and whether an answer's body continues the file on
// disk or starts it over. Pure, so every cut point of a stream is tested natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

// Attempts after the first; the schedule doubles from one second, so the last waits about 16 s.
inline constexpr int kMaxRetries = 5;
inline constexpr std::int64_t kBackoffUnitMs = 1000;
// A Retry-After further away than this is waited for only this long: the user is watching.
inline constexpr std::int64_t kRetryAfterCapMs = 60 * 1000;

// Answers that say "not now" rather than "no": the server or a gateway in front of it is busy,
// restarting or timed out.
bool IsRetryableStatus(unsigned long status);

// The wait before retry number `retry` (1 for the first retry): unit, 2 units, 4, 8, 16, each
// between 80 % and 120 % of that so that many clients cut off together do not come back together.
// jitter is any 32-bit value from a random source (0 gives 80 %). A server's Retry-After, when
// given, is honoured up to kRetryAfterCapMs when it asks for longer than the schedule.
std::int64_t BackoffDelayMs(int retry, std::uint32_t jitter,
                            std::optional<std::int64_t> retry_after_ms,
                            std::int64_t unit_ms = kBackoffUnitMs);

// Retry-After as delay-seconds ("120") or as an HTTP date (IMF-fixdate, RFC 850 or asctime form,
// all GMT), in milliseconds from now_unix_s; a date in the past is 0. Nothing for an empty or
// malformed value.
std::optional<std::int64_t> ParseRetryAfterMs(std::wstring_view text, std::int64_t now_unix_s);

// Seconds since 1970 of an HTTP date in any of its three forms; nothing when it is not one.
std::optional<std::int64_t> ParseHttpDate(std::wstring_view text);

// "bytes first-last/total" (total may be "*"): the first byte's offset; nothing otherwise.
std::optional<std::int64_t> ContentRangeStart(std::wstring_view text);

// What an answer of the installer's URL says about its body, as the headers gave it.
struct InstallerAnswerFacts {
  unsigned long status = 0;
  std::wstring etag;
  std::wstring last_modified;
  std::wstring content_range;
};

// Where an answer's body goes in the file.
enum class BodyPlacement {
  kAppend,     // after the bytes the file holds: the rest of the same version
  kStartOver,  // the file is emptied first and the body is the file from its first byte
  kDiscard,    // the body belongs to no place in this file: emptied, the next attempt from 0
};

// The resume state of one download across its attempts. The file on disk always holds the first
// Have() bytes of one version of the installer, never two versions spliced: a body is appended
// only when the server confirmed, by a 206 at exactly that offset answering If-Range with the
// validator of the answer that started the file, that it continues the same version.
class ResumeRule {
 public:
  // The extra request headers of the next attempt: a Range for the rest with If-Range, or none
  // (the whole file) when the file is empty or the version has no usable validator.
  std::wstring RequestHeaders() const;
  // The offset the next attempt asks for: Have() when it sends a Range, 0 otherwise.
  std::int64_t RequestFrom() const;

  // Decides where the answer's body goes (status 200, 206 or a 302 served as a body) and takes the
  // answer's validator when it starts the file over.
  BodyPlacement Accept(const InstallerAnswerFacts& answer);

  // After an attempt's transfer or a discard: the count the file now holds.
  void Hold(std::int64_t bytes) { have_ = bytes; }
  std::int64_t Have() const { return have_; }
  const std::wstring& Validator() const { return validator_; }

 private:
  std::int64_t have_ = 0;
  // If-Range's value for the version the file holds: a strong ETag, or a Last-Modified date when
  // there is none; empty when neither can be used.
  std::wstring validator_;
  bool validator_is_etag_ = false;
};

}  // namespace setup
