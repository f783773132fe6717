#include "bootstrap/run/install_query.h"

#include "bootstrap/log/support_log.h"
#include "bootstrap/log/support_log_text.h"
#include "bootstrap/network/https_client.h"
#include "bootstrap/network/network_worker.h"
#include "bootstrap/run/run_failure.h"
#include "bootstrap/vocabulary/ansi_code_page_win.h"
#include "bootstrap/vocabulary/short_text.h"

namespace setup {
SetupResult FetchUrl(const std::wstring& url, HWND owner, std::string& body) {
  body.clear();
  HttpsAnswer answer = GetHttps(url, kQueryUserAgent, owner);
  if (answer.outcome == SetupOutcome::kNotConnected) {
    return FailedRun(SetupRequest::kQuery, answer.outcome, answer.failure, answer.url);
  }
  SetupResult result = SetupResult::Of(SetupRequest::kQuery, answer.outcome, answer.url);
  if (answer.outcome != SetupOutcome::kReady) {
    return result;
  }
  // Shared with the worker, which the query leaves behind when the server stalls.
  struct Body {
    std::string bytes;
    Result<> read;  // a failed read, which ended the body
  };
  const fw::SharedState<Body> read;
  const fw::SharedState<HttpsConnection> connection = answer.connection;
  const bool ended = RunRequestOffWindow([read, connection](fw::WorkActivity& activity) {
    read->bytes = ReadAnswerBody([&](char* buffer, std::size_t size) -> std::size_t {
      const Result<std::size_t> count = ReadArrivedBody(*connection, activity, buffer, size);
      if (!count) {
        read->read = count.Why();
        return 0;
      }
      return *count;
    });
  });
  if (!ended) {
    // The system's own code for a request that timed out, named after the call that waited.
    support_log::Write(L"stalled in the answer's body");
    return FailedRun(SetupRequest::kQuery, SetupOutcome::kNotConnected,
                     Failure{L"InternetReadFile", ERROR_INTERNET_TIMEOUT}, answer.url);
  }
  if (!read->read) {
    // Part of an answer is no answer.
    return FailedRun(SetupRequest::kQuery, SetupOutcome::kNotConnected, read->read.Why(),
                     answer.url);
  }
  body = std::move(read->bytes);
  support_log::Write(
      {L"answer: ", DecimalPiece(static_cast<std::int64_t>(body.size())), L" bytes"});
  return result;
}

SetupResult QueryInstallLocation(const std::string& base_url, HWND owner, InstallAnswer& answer) {
  const SystemAnsiCodePage code_page;
  const std::wstring request_url = code_page.ToUtf16(base_url + kInstallLocationPath);
  answer = {};
  std::string body;
  SetupResult result = FetchUrl(request_url, owner, body);
  if (result.outcome != SetupOutcome::kReady) {
    return result;
  }
  const std::optional<InstallAnswer> parsed = ParseInstallAnswer(body, code_page);
  if (!parsed) {
    return SetupResult::Of(SetupRequest::kQuery, SetupOutcome::kNoAnswer, request_url);
  }
  answer = *parsed;
  support_log::Write({L"announced: ", RedactedUrl(code_page.ToUtf16(answer.url)), L" | ",
                      DecimalPiece(answer.size), L" bytes",
                      answer.hash == AnnouncedHash::kGiven ? L" | SHA-256 " : L"",
                      answer.hash == AnnouncedHash::kGiven ? Sha256Hex(answer.sha256) : L""});
  if (answer.url.empty()) {
    result.outcome = SetupOutcome::kNothingToInstall;
  } else if (answer.hash == AnnouncedHash::kMalformed) {
    // The service meant to bind the installer to its hash and did not say which: an answer Setup
    // cannot use, as if it had none. Downloading without the check would undo what the field is
    // for, and refusing a file not yet downloaded would name no file.
    support_log::Write(L"the answer's third field is no SHA-256 (64 hex digits): not used");
    return SetupResult::Of(SetupRequest::kQuery, SetupOutcome::kNoAnswer, request_url);
  }
  return result;
}

}  // namespace setup
