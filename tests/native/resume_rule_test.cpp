#include "bootstrap/run/resume_rule.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bootstrap/run/installer_transfer.h"
#include "tests/native/split_stream.h"

namespace setup {
namespace {

// -- the file across attempts --------------------------------------------------------------------

// What one attempt's answer is: its headers, its body, and how much of the body arrives before
// the connection is cut (all of it when nothing is cut).
struct Served {
  InstallerAnswerFacts facts;
  std::string body;
  std::optional<std::size_t> cut;
};

struct Download {
  std::string file;
  std::vector<std::wstring> requests;  // the extra headers of each attempt
  int start_overs = 0;                 // times the file was emptied
  std::int64_t fetched = 0;            // body bytes taken off the network
  std::int64_t received = 0;
  bool progress_off_file = false;  // a count shown differs from what the file holds
};

// The download's loop as the program runs it: each attempt sends the rule's headers, places the
// answer's body where the rule says, and continues the count on the whole file's read grid.
Download RunDownload(std::int32_t expected,
                     const std::function<Served(int attempt, const std::wstring& headers)>& serve) {
  Download run;
  ResumeRule rule;
  for (int attempt = 0; attempt <= kMaxRetries; ++attempt) {
    const std::wstring headers = rule.RequestHeaders();
    run.requests.push_back(headers);
    const Served served = serve(attempt, headers);
    const BodyPlacement placement = rule.Accept(served.facts);
    if (placement != BodyPlacement::kAppend) {
      run.file.clear();
      ++run.start_overs;
    }
    if (placement == BodyPlacement::kDiscard) {
      rule.Hold(0);
      continue;
    }
    const std::string arrived = served.body.substr(0, served.cut.value_or(served.body.size()));
    SplitStream source(arrived, {arrived.size()});
    run.received = ContinueInstaller(
        static_cast<std::int64_t>(run.file.size()), expected,
        [&](char* buffer, std::size_t size) {
          const std::size_t count = source(buffer, size);
          run.fetched += static_cast<std::int64_t>(count);
          return count;
        },
        [&](const char* data, std::size_t size) {
          run.file.append(data, size);
          return true;
        },
        [&](std::int64_t received) {
          run.progress_off_file |= received != static_cast<std::int64_t>(run.file.size());
        });
    rule.Hold(run.received);
    if (run.received >= expected) {
      break;
    }
  }
  return run;
}

// The range a request asks for: the offset of "Range: bytes=N-", or -1 without one.
std::int64_t RangeFrom(const std::wstring& headers) {
  const std::wstring prefix = L"Range: bytes=";
  if (headers.rfind(prefix, 0) != 0) {
    return -1;
  }
  return std::stoll(headers.substr(prefix.size()));
}

std::wstring IfRange(const std::wstring& headers) {
  const std::size_t at = headers.find(L"If-Range: ");
  if (at == std::wstring::npos) {
    return {};
  }
  const std::size_t end = headers.find(L"\r\n", at);
  return headers.substr(at + 10, end - at - 10);
}

std::wstring RangeText(std::int64_t first, std::size_t length) {
  return L"bytes " + std::to_wstring(first) + L"-" + std::to_wstring(length - 1) + L"/" +
         std::to_wstring(length);
}

// A server with the file in two versions: the first attempt gets version a cut at `cut`; what the
// later ones get is each case's behaviour. Every cut point of the stream, across the read grid.
TEST(ResumeRuleTest, EveryCutPointEndsInOneWholeVersionOfTheFile) {
  const std::size_t length = kInstallerReadSize + 300;
  const std::string a = StreamBytes(length);
  std::string b = a;
  for (char& c : b) {
    c = static_cast<char>(c ^ 0x5A);
  }
  const std::wstring etag_a = L"\"a\"";
  const std::wstring etag_b = L"\"b\"";
  const std::wstring date = L"Sun, 06 Nov 1994 08:49:37 GMT";
  struct Case {
    const char* name;
    InstallerAnswerFacts first;  // the first answer's validators (status 200)
    // The later answers, given the request's headers and the cut.
    std::function<Served(const std::wstring& headers, std::size_t cut)> later;
    const std::string* version;  // what the file must hold
    std::wstring if_range;       // the first retry's If-Range ("" for no Range at all)
    int attempts;
    int start_overs;
  };
  const auto rest_of = [&](const std::string& data, const std::wstring& validator) {
    return [&data, validator](const std::wstring& headers, std::size_t) {
      const std::int64_t from = RangeFrom(headers);
      if (from > 0 && IfRange(headers) == validator) {
        return Served{{206, L"\"a\"", L"", RangeText(from, length)},
                      data.substr(static_cast<std::size_t>(from)),
                      {}};
      }
      return Served{{200, L"\"b\"", L"", L""}, data, {}};
    };
  };
  const Case cases[] = {
      {"206 appended", {200, etag_a, date, L""}, rest_of(a, etag_a), &a, etag_a, 2, 1},
      {"weak ETag: Last-Modified instead",
       {200, L"W/\"a\"", date, L""},
       [&](const std::wstring& headers, std::size_t) {
         const std::int64_t from = RangeFrom(headers);
         EXPECT_EQ(IfRange(headers), date);
         return Served{{206, L"W/\"a\"", date, RangeText(from, length)},
                       a.substr(static_cast<std::size_t>(from)),
                       {}};
       },
       &a,
       date,
       2,
       1},
      {"200 started over",
       {200, etag_a, L"", L""},
       [&](const std::wstring&, std::size_t) {
         return Served{{200, etag_a, L"", L""}, a, {}};
       },
       &a,
       etag_a,
       2,
       2},
      {"changed version: If-Range fails, 200 of the new one",
       {200, etag_a, L"", L""},
       rest_of(b, etag_b),
       &b,
       etag_a,
       2,
       2},
      {"206 at another offset: discarded, then the whole file",
       {200, etag_a, L"", L""},
       [&](const std::wstring& headers, std::size_t cut) {
         if (RangeFrom(headers) > 0) {
           const std::size_t wrong = cut > 1 ? cut - 1 : cut + 1;
           return Served{{206, etag_a, L"", RangeText(static_cast<std::int64_t>(wrong), length)},
                         a.substr(wrong),
                         {}};
         }
         return Served{{200, etag_a, L"", L""}, a, {}};
       },
       &a,
       etag_a,
       3,
       3},
      {"206 of another version at the offset: discarded, then the whole new one",
       {200, etag_a, L"", L""},
       [&](const std::wstring& headers, std::size_t cut) {
         if (RangeFrom(headers) > 0) {
           return Served{{206, etag_b, L"", RangeText(static_cast<std::int64_t>(cut), length)},
                         b.substr(cut),
                         {}};
         }
         return Served{{200, etag_b, L"", L""}, b, {}};
       },
       &b,
       etag_a,
       3,
       3},
      {"no validator: no Range, the whole file again",
       {200, L"", L"", L""},
       [&](const std::wstring& headers, std::size_t) {
         EXPECT_EQ(headers, L"");
         return Served{{200, L"", L"", L""}, a, {}};
       },
       &a,
       L"",
       2,
       2},
  };
  for (const Case& c : cases) {
    for (std::size_t cut = 1; cut < length; ++cut) {
      SCOPED_TRACE(testing::Message() << c.name << ", cut at " << cut);
      const Download run =
          RunDownload(static_cast<std::int32_t>(length), [&](int attempt, const std::wstring& h) {
            return attempt == 0 ? Served{c.first, a, cut} : c.later(h, cut);
          });
      ASSERT_TRUE(run.file == *c.version);
      ASSERT_EQ(run.received, static_cast<std::int64_t>(length));
      ASSERT_EQ(static_cast<int>(run.requests.size()), c.attempts);
      ASSERT_EQ(run.start_overs, c.start_overs);
      ASSERT_FALSE(run.progress_off_file);
      ASSERT_EQ(run.requests[0], L"");
      ASSERT_EQ(IfRange(run.requests[1]), c.if_range);
      ASSERT_EQ(RangeFrom(run.requests[1]),
                c.if_range.empty() ? -1 : static_cast<std::int64_t>(cut));
      if (c.start_overs == 1) {
        // Resumed: not a byte fetched twice.
        ASSERT_EQ(run.fetched, static_cast<std::int64_t>(length));
      }
    }
  }
}

TEST(ResumeRuleTest, StopRuleCountsTheWholeFileWhereverItWasCut) {
  // An announced size inside a read: the stop comes after that read of the whole file, so the
  // received count is the same with or without a cut, and the rest is never read.
  const std::size_t length = 3 * kInstallerReadSize;
  const std::string a = StreamBytes(length);
  const std::int32_t expected = 15000;
  for (std::size_t cut = 1; cut < 2 * kInstallerReadSize; cut += 37) {
    SCOPED_TRACE(testing::Message() << "cut at " << cut);
    const Download run = RunDownload(expected, [&](int attempt, const std::wstring& headers) {
      if (attempt == 0) {
        return Served{{200, L"\"a\"", L"", L""}, a, cut};
      }
      const std::int64_t from = RangeFrom(headers);
      return Served{{206, L"\"a\"", L"", RangeText(from, length)},
                    a.substr(static_cast<std::size_t>(from)),
                    {}};
    });
    // A cut past the announced size ended the data after it: no retry, that count stands.
    const auto at_cut = static_cast<std::int64_t>(cut);
    ASSERT_EQ(run.received,
              at_cut >= expected ? at_cut : static_cast<std::int64_t>(2 * kInstallerReadSize));
    ASSERT_TRUE(run.file == a.substr(0, run.file.size()));
  }
}

TEST(ResumeRuleTest, EveryAttemptCutStopsAfterTheLastRetryWithTheFileSoFar) {
  const std::size_t length = 50000;
  const std::string a = StreamBytes(length);
  const Download run =
      RunDownload(static_cast<std::int32_t>(length), [&](int attempt, const std::wstring& h) {
        const std::int64_t from = RangeFrom(h);
        if (attempt == 0) {
          return Served{{200, L"\"a\"", L"", L""}, a, 1000};
        }
        return Served{{206, L"\"a\"", L"", RangeText(from, length)},
                      a.substr(static_cast<std::size_t>(from)),
                      std::size_t{1000}};
      });
  EXPECT_EQ(run.requests.size(), static_cast<std::size_t>(kMaxRetries + 1));
  EXPECT_EQ(run.received, 6000);
  EXPECT_TRUE(run.file == a.substr(0, 6000));
  EXPECT_EQ(RangeFrom(run.requests.back()), 5000);
}

// -- the answers ---------------------------------------------------------------------------------

TEST(ResumeRuleTest, RetryableStatuses) {
  for (unsigned long status = 100; status < 600; ++status) {
    const bool busy = status == 408 || status == 429 || status == 500 || status == 502 ||
                      status == 503 || status == 504;
    EXPECT_EQ(IsRetryableStatus(status), busy) << status;
  }
}

TEST(ResumeRuleTest, ContentRangeStart) {
  const struct {
    const wchar_t* text;
    std::optional<std::int64_t> start;
  } cases[] = {
      {L"bytes 0-99/100", 0},
      {L"bytes 5000-9999/10000", 5000},
      {L"bytes 5000-9999/*", 5000},
      {L"  bytes 7-7/8 ", 7},
      {L"bytes 5000-9999/9999", std::nullopt},  // the last byte past the length
      {L"bytes 9-8/100", std::nullopt},
      {L"bytes */100", std::nullopt},  // an unsatisfied range
      {L"bytes -5/100", std::nullopt},
      {L"items 0-1/2", std::nullopt},
      {L"bytes 0-99", std::nullopt},
      {L"bytes 0x10-20/30", std::nullopt},
      {L"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContentRangeStart(c.text), c.start) << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(ResumeRuleTest, ValidatorOfTheAnswerThatStartsTheFile) {
  const struct {
    const wchar_t* etag;
    const wchar_t* last_modified;
    const wchar_t* headers;  // after 300 bytes
  } cases[] = {
      {L"\"v1\"", L"Sun, 06 Nov 1994 08:49:37 GMT", L"Range: bytes=300-\r\nIf-Range: \"v1\"\r\n"},
      {L"W/\"v1\"", L"Sun, 06 Nov 1994 08:49:37 GMT",
       L"Range: bytes=300-\r\nIf-Range: Sun, 06 Nov 1994 08:49:37 GMT\r\n"},
      {L"W/\"v1\"", L"", L""},
      {L"", L"", L""},
      {L" \"v2\" ", L"", L"Range: bytes=300-\r\nIf-Range: \"v2\"\r\n"},
  };
  for (const auto& c : cases) {
    ResumeRule rule;
    EXPECT_EQ(rule.RequestHeaders(), L"");
    EXPECT_EQ(rule.Accept({200, c.etag, c.last_modified, L""}), BodyPlacement::kStartOver);
    EXPECT_EQ(rule.RequestHeaders(), L"") << "nothing held yet";
    rule.Hold(300);
    EXPECT_EQ(rule.RequestHeaders(), c.headers) << testing::PrintToString(std::wstring(c.etag));
    EXPECT_EQ(rule.RequestFrom(), c.headers[0] ? 300 : 0);
  }
}

// -- waiting -------------------------------------------------------------------------------------

TEST(ResumeRuleTest, BackoffDoublesWithJitterAndHonoursRetryAfterUpToAMinute) {
  const std::uint32_t kLeast = 0;
  const std::uint32_t kMost = 0xFFFFFFFFu;
  const std::uint32_t kMiddle = 0x80000000u;
  const struct {
    int retry;
    std::uint32_t jitter;
    std::optional<std::int64_t> retry_after_ms;
    std::int64_t delay_ms;
  } cases[] = {
      {1, kMiddle, std::nullopt, 1000},
      {2, kMiddle, std::nullopt, 2000},
      {3, kMiddle, std::nullopt, 4000},
      {4, kMiddle, std::nullopt, 8000},
      {5, kMiddle, std::nullopt, 16000},
      {1, kLeast, std::nullopt, 800},
      {1, kMost, std::nullopt, 1199},
      {5, kLeast, std::nullopt, 12800},
      {5, kMost, std::nullopt, 19199},
      {9, kMiddle, std::nullopt, 16000},  // no further doubling
      {1, kMiddle, 5000, 5000},
      {4, kMiddle, 5000, 8000},  // the schedule when longer
      {1, kMiddle, 0, 1000},
      {1, kMiddle, 3600000, 60000},  // capped at a minute
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BackoffDelayMs(c.retry, c.jitter, c.retry_after_ms), c.delay_ms)
        << c.retry << " " << c.jitter;
  }
  // The whole schedule at the jitter's extremes stays about 1, 2, 4, 8, 16 s.
  std::int64_t least = 0;
  std::int64_t most = 0;
  for (int retry = 1; retry <= kMaxRetries; ++retry) {
    least += BackoffDelayMs(retry, kLeast, std::nullopt);
    most += BackoffDelayMs(retry, kMost, std::nullopt);
  }
  EXPECT_EQ(least, 24800);
  EXPECT_EQ(most, 37195);
  // A shorter unit (the test builds' seam) scales the same schedule.
  EXPECT_EQ(BackoffDelayMs(3, kMiddle, std::nullopt, 50), 200);
}

TEST(ResumeRuleTest, RetryAfterInSecondsOrAsAnHttpDate) {
  const std::int64_t now = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  const struct {
    const wchar_t* text;
    std::optional<std::int64_t> ms;
  } cases[] = {
      {L"0", 0},
      {L"3", 3000},
      {L" 120 ", 60000},
      {L"99999999999999", 60000},
      {L"999999999999999999999", std::nullopt},
      {L"-1", std::nullopt},
      {L"1.5", std::nullopt},
      {L"", std::nullopt},
      {L"soon", std::nullopt},
      {L"Sun, 06 Nov 1994 08:50:07 GMT", 30000},
      {L"Sunday, 06-Nov-94 08:50:07 GMT", 30000},
      {L"Sun Nov  6 08:50:07 1994", 30000},
      {L"Sun, 06 Nov 1994 08:49:30 GMT", 0},  // already past
      {L"Mon, 07 Nov 1994 08:49:37 GMT", 60000},
      {L"Sun, 31 Nov 1994 08:50:07 GMT", std::nullopt},
      {L"Sun, 06 Foo 1994 08:50:07 GMT", std::nullopt},
      {L"Sun, 06 Nov 1994 25:50:07 GMT", std::nullopt},
      {L"Sun, 06 Nov 1994 08:50 GMT", std::nullopt},
      {L"Sun, 06 Nov 1994 GMT", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseRetryAfterMs(c.text, now), c.ms) << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(ResumeRuleTest, HttpDatesInTheirThreeForms) {
  const struct {
    const wchar_t* text;
    std::optional<std::int64_t> seconds;
  } cases[] = {
      {L"Thu, 01 Jan 1970 00:00:00 GMT", 0},
      {L"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
      {L"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
      {L"Sun Nov  6 08:49:37 1994", 784111777},
      {L"SUN, 06 NOV 1994 08:49:37 GMT", 784111777},
      {L"Tue, 29 Feb 2000 12:00:00 GMT", 951825600},
      {L"Wed, 01-Jan-25 00:00:00 GMT", 1735689600},  // a two-digit year below 70 is this century
      {L"Fri, 29 Feb 2001 12:00:00 GMT", std::nullopt},
      {L"06 Nov 1994 08:49:37 GMT", std::nullopt},  // no weekday
      {L"Sun, 06 Nov 1994 08:49:37 GMT extra", std::nullopt},
      {L"Sun, 06 Nov 19945 08:49:37 GMT", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseHttpDate(c.text), c.seconds) << testing::PrintToString(std::wstring(c.text));
  }
}

}  // namespace
}  // namespace setup
