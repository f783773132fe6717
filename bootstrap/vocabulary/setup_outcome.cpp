#include "bootstrap/vocabulary/setup_outcome.h"

#include <iterator>
#include <string_view>

#include "bootstrap/vocabulary/download_progress.h"
#include "bootstrap/vocabulary/short_text.h"

namespace setup {

SetupResult SetupResult::OfFailure(SetupRequest request, SetupOutcome outcome,
                                   const Failure& failure, std::wstring where, std::wstring text) {
  const bool about_the_file = outcome == SetupOutcome::kFileError ||
                              outcome == SetupOutcome::kHoldError ||
                              outcome == SetupOutcome::kHashRefused;
  SetupResult result = Of(request, outcome, L"");
  (about_the_file ? result.path : result.url) = std::move(where);
  result.call = failure.call;
  result.code = failure.code;
  result.error_text = std::move(text);
  return result;
}

std::wstring InsecureQueryMessage(const std::wstring& url) {
  return JoinedText(
      {L"Error!  The installer's location is only asked for over a secure connection "
       L"(https).\r\rNot asked at: ",
       url});
}

std::wstring TooManyRedirectsMessage(const std::wstring& url) {
  return JoinedText({L"Error!  The server redirected the request more than ",
                     DecimalPiece(kMaxRedirects), L" times.\r\rLast address: ", url});
}

std::wstring ProxySignInMessage() {
  return L"Error!  The proxy server requires a sign-in. Setup cannot connect without it.";
}

std::wstring NotConnectedMessage(const wchar_t* call, const std::wstring& error_text,
                                 std::uint32_t code) {
  return JoinedText({L"Not connected: (", call, L") ", error_text, L" EC=", DecimalPiece(code)});
}

std::wstring SignatureRefusedMessage(SignatureCheck check, const std::wstring& path,
                                     std::uint32_t code) {
  std::wstring_view what;
  switch (check) {
    case SignatureCheck::kNotSigned:
      what = L"The installer is not signed";
      break;
    case SignatureCheck::kNotValid:
      what = L"The installer's signature is not valid: the file is not what was signed";
      break;
    case SignatureCheck::kNotTrusted:
      what = L"The installer's signature is not trusted on this computer";
      break;
    case SignatureCheck::kOtherPublisher:
      what = L"The installer is signed by another publisher than Setup";
      break;
    case SignatureCheck::kCannotCheck:
      what = L"The installer's signature cannot be checked on this computer";
      break;
  }
  std::wstring text = JoinedText({L"Error!  ", what,
                                  L", so Setup does not start it.\r\r"
                                  L"It was left for inspection: ",
                                  path});
  if (check == SignatureCheck::kCannotCheck && code != 0) {
    text += JoinedText({L"  EC=", DecimalPiece(code)});
  }
  return text;
}

std::wstring HashRefusedMessage(const std::wstring& path, std::uint32_t code) {
  if (code != 0) {
    return JoinedText(
        {L"Error!  The installer cannot be compared with the file the service "
         L"announced, so Setup does not start it.\r\r"
         L"It was left for inspection: ",
         path, L"  EC=", DecimalPiece(code)});
  }
  return JoinedText(
      {L"Error!  The installer is not the file the service announced, so Setup does "
       L"not start it.\r\r"
       L"It was left for inspection: ",
       path});
}

SetupNotice NoticeFor(const SetupResult& r) {
  using Kind = SetupNotice::Kind;
  const bool query = r.request == SetupRequest::kQuery;
  switch (r.outcome) {
    case SetupOutcome::kReady:
    case SetupOutcome::kNothingToInstall:
    case SetupOutcome::kNotDownloaded:
      return {};
    case SetupOutcome::kRefusedInsecure:
      return {Kind::kMessage,
              query ? InsecureQueryMessage(r.url) : InsecureInstallerMessage(r.url)};
    case SetupOutcome::kTooManyRedirects:
      return {Kind::kMessage, TooManyRedirectsMessage(r.url)};
    case SetupOutcome::kProxySignInRefused:
      return {Kind::kMessage, ProxySignInMessage()};
    case SetupOutcome::kNotConnected:
      // The download fails silently when it cannot connect; the query's failure is an error.
      if (!query) {
        return {};
      }
      return {Kind::kErrorReport, NotConnectedMessage(r.call, r.error_text, r.code)};
    case SetupOutcome::kNoAnswer:
      return {Kind::kErrorReport, JoinedText({L"Error communicating with ", r.url})};
    case SetupOutcome::kNoTempFolder:
      return {Kind::kMessage, NoTempPathMessage()};
    case SetupOutcome::kFileError:
      return {Kind::kMessage, FileCreateErrorMessage(r.path, r.code)};
    case SetupOutcome::kHoldError:
      return {Kind::kMessage, FileOpenErrorMessage(r.path, r.code)};
    case SetupOutcome::kIncomplete:
      return {Kind::kMessage, IncompleteDownloadMessage(r.expected, r.received)};
    case SetupOutcome::kSignatureRefused:
      return {Kind::kMessage, SignatureRefusedMessage(r.signature, r.path, r.code)};
    case SetupOutcome::kHashRefused:
      return {Kind::kMessage, HashRefusedMessage(r.path, r.code)};
  }
  return {};
}

const wchar_t* OutcomeName(SetupOutcome outcome) {
  // In the order of the enumeration.
  static constexpr const wchar_t* kNames[] = {
      L"ready",
      L"nothing to install",
      L"refused as insecure",
      L"too many redirects",
      L"proxy sign-in refused",
      L"not connected",
      L"no answer",
      L"not downloaded",
      L"no temporary folder",
      L"file error",
      L"installer not held",
      L"incomplete",
      L"signature refused",
      L"not the announced installer",
  };
  static_assert(std::size(kNames) == static_cast<std::size_t>(SetupOutcome::kHashRefused) + 1);
  return kNames[static_cast<std::size_t>(outcome)];
}

const wchar_t* SignatureCheckName(SignatureCheck check) {
  // In the order of the enumeration.
  static constexpr const wchar_t* kNames[] = {
      L"not signed",        L"signature not valid", L"not trusted",
      L"another publisher", L"cannot be checked",
  };
  static_assert(std::size(kNames) == static_cast<std::size_t>(SignatureCheck::kCannotCheck) + 1);
  return kNames[static_cast<std::size_t>(check)];
}

}  // namespace setup
