// What a setup run ends in, and what the user then reads. The run (bootstrap/setup_run.h) returns
// an outcome; the window maps it to its labels, its meter and one notice.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "bootstrap/vocabulary/failure.h"

namespace setup {

enum class SetupOutcome {
  kReady,               // the installer is complete and held for its start
  kNothingToInstall,    // the service announced no installer, or no URL at all
  kRefusedInsecure,     // a URL or a redirect hop that is not https://, never requested
  kTooManyRedirects,    // more hops than kMaxRedirects
  kProxySignInRefused,  // the proxy asked for a sign-in and none was given
  kNotConnected,        // a request could not be made or was not answered in time
  kNoAnswer,            // the service's answer has no lines
  kNotDownloaded,       // the installer request was answered with a status other than 200 or 302
  kNoTempFolder,        // no temporary folder to download into
  kFileError,           // the installer file cannot be created
  kHoldError,           // the complete installer cannot be held for its start
  kIncomplete,          // the transfer ended short of, or past, the expected size
  kSignatureRefused,    // the complete installer failed a check of its signature: never started
  kHashRefused,         // the complete installer is not the file the answer announced (its
                        // SHA-256 differs, or cannot be computed): never started
};

// Which check of the installer's signature refused it. Each can only refuse; the first that does
// is the one the user reads.
enum class SignatureCheck {
  kNotSigned,       // no Authenticode signature at all
  kNotValid,        // a signature that does not match the file, or is not for a program
  kNotTrusted,      // a signing certificate without a valid code-signing chain to a trusted root
  kOtherPublisher,  // signed by someone else than Setup's own publisher
  kCannotCheck,     // the system cannot check it (a library or function missing, Setup's own
                    // signature unreadable): never a pass
};

// Which of the two requests an outcome belongs to: their texts and their silences differ.
enum class SetupRequest { kQuery, kDownload };

inline constexpr int kMaxRedirects = 10;

struct SetupResult {
  static SetupResult Of(SetupRequest request, SetupOutcome outcome, std::wstring url) {
    SetupResult result;
    result.request = request;
    result.outcome = outcome;
    result.url = std::move(url);
    return result;
  }
  // The result of a run that a failed call ended: what the window shows of it. where is what the
  // call was about: the installer file's path (its folder's when that cannot be created) for
  // kFileError, kHoldError and kHashRefused, the request's URL otherwise; text is the system's
  // words for the code (the query's kNotConnected shows them).
  static SetupResult OfFailure(SetupRequest request, SetupOutcome outcome, const Failure& failure,
                               std::wstring where, std::wstring text);

  SetupOutcome outcome = SetupOutcome::kReady;
  SetupRequest request = SetupRequest::kQuery;
  std::wstring url;           // the refused hop, the last URL, or the request URL
  const wchar_t* call = L"";  // kNotConnected: the call that failed ("InternetOpenURL")
  std::uint32_t code = 0;     // kNotConnected, kFileError, kHoldError: the system's error code;
                              // kSignatureRefused: the check's own code (an HRESULT), 0 for none;
                              // kHashRefused: why the hash could not be computed, 0 for a mismatch
  std::wstring error_text;    // kNotConnected: the system's text for the code
  std::int64_t received = 0;
  std::int32_t expected = 0;
  std::wstring path;  // kFileError, kHoldError, kSignatureRefused, kHashRefused: the installer
                      // file (kFileError: or the folder that could not be created)
  SignatureCheck signature = SignatureCheck::kNotSigned;  // kSignatureRefused: which check
};

// How the user learns of an outcome: not at all, a message box of the program's own, or the
// application's default error report (error icon, "." rule), as for every raised error.
struct SetupNotice {
  enum class Kind { kNone, kMessage, kErrorReport };
  Kind kind = Kind::kNone;
  std::wstring text;
};

SetupNotice NoticeFor(const SetupResult& result);

// The texts of the outcomes that the download and the query share with other callers.
std::wstring InsecureQueryMessage(const std::wstring& url);
std::wstring TooManyRedirectsMessage(const std::wstring& url);
std::wstring ProxySignInMessage();
std::wstring SignatureRefusedMessage(SignatureCheck check, const std::wstring& path,
                                     std::uint32_t code);
std::wstring HashRefusedMessage(const std::wstring& path, std::uint32_t code);
std::wstring NotConnectedMessage(const wchar_t* call, const std::wstring& error_text,
                                 std::uint32_t code);

// A short name of the outcome for the support log: "ready", "refused as insecure", ...
const wchar_t* OutcomeName(SetupOutcome outcome);

// What the support log says of a refused signature: "not signed", "another publisher", ...
const wchar_t* SignatureCheckName(SignatureCheck check);

}  // namespace setup
