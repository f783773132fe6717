#include "bootstrap/vocabulary/setup_outcome.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace setup {
namespace {

// What the user learns of each outcome, and how: the window shows exactly this.
TEST(SetupOutcomeTest, EachOutcomeHasItsNoticeAndName) {
  using Kind = SetupNotice::Kind;
  constexpr auto kQuery = SetupRequest::kQuery;
  constexpr auto kDownload = SetupRequest::kDownload;
  const auto result = [](SetupRequest request, SetupOutcome outcome) {
    SetupResult r = SetupResult::Of(request, outcome, L"https://x/a");
    r.call = L"InternetOpenURL";
    r.code = 12002;
    r.error_text = L"The operation timed out";
    r.received = 5;
    r.expected = 7;
    r.path = L"C:\\T\\Install.exe";
    return r;
  };
  const struct {
    SetupResult result;
    const wchar_t* name;
    Kind kind;
    std::wstring text;
  } cases[] = {
      {result(kDownload, SetupOutcome::kReady), L"ready", Kind::kNone, L""},
      {result(kQuery, SetupOutcome::kNothingToInstall), L"nothing to install", Kind::kNone, L""},
      {result(kQuery, SetupOutcome::kRefusedInsecure), L"refused as insecure", Kind::kMessage,
       L"Error!  The installer's location is only asked for over a secure connection (https)."
       L"\r\rNot asked at: https://x/a"},
      {result(kDownload, SetupOutcome::kRefusedInsecure), L"refused as insecure", Kind::kMessage,
       L"Error!  The installer is only downloaded over a secure connection (https).\r\r"
       L"Not downloaded from: https://x/a"},
      {result(kQuery, SetupOutcome::kTooManyRedirects), L"too many redirects", Kind::kMessage,
       L"Error!  The server redirected the request more than 10 times.\r\rLast address: "
       L"https://x/a"},
      {result(kDownload, SetupOutcome::kProxySignInRefused), L"proxy sign-in refused",
       Kind::kMessage,
       L"Error!  The proxy server requires a sign-in. Setup cannot connect without it."},
      {result(kQuery, SetupOutcome::kNotConnected), L"not connected", Kind::kErrorReport,
       L"Not connected: (InternetOpenURL) The operation timed out EC=12002"},
      // The download fails silently when it cannot connect.
      {result(kDownload, SetupOutcome::kNotConnected), L"not connected", Kind::kNone, L""},
      {result(kQuery, SetupOutcome::kNoAnswer), L"no answer", Kind::kErrorReport,
       L"Error communicating with https://x/a"},
      {result(kDownload, SetupOutcome::kNotDownloaded), L"not downloaded", Kind::kNone, L""},
      {result(kDownload, SetupOutcome::kNoTempFolder), L"no temporary folder", Kind::kMessage,
       L"Error!  The temporary folder cannot be found, so the installer cannot be downloaded."},
      {result(kDownload, SetupOutcome::kFileError), L"file error", Kind::kMessage,
       L"File I/O Error!  Creating File= C:\\T\\Install.exe  EC=12002"},
      {result(kDownload, SetupOutcome::kHoldError), L"installer not held", Kind::kMessage,
       L"File I/O Error!  Opening File= C:\\T\\Install.exe  EC=12002"},
      {result(kDownload, SetupOutcome::kIncomplete), L"incomplete", Kind::kMessage,
       L"Error\rDownload was incomplete.\r\rBytes expected: 7\rBytes received: 5"},
      {result(kDownload, SetupOutcome::kHashRefused), L"not the announced installer",
       Kind::kMessage,
       L"Error!  The installer cannot be compared with the file the service announced, so Setup "
       L"does not start it.\r\rIt was left for inspection: C:\\T\\Install.exe  EC=12002"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.result.outcome));
    EXPECT_STREQ(OutcomeName(c.result.outcome), c.name);
    const SetupNotice notice = NoticeFor(c.result);
    EXPECT_EQ(notice.kind, c.kind);
    EXPECT_EQ(notice.text, c.text);
  }
}

// A refused installer: which check refused it, in the program's words, and where the file was left.
TEST(SetupOutcomeTest, RefusedSignatureSaysWhichCheckFailed) {
  const struct {
    SignatureCheck check;
    const wchar_t* name;
    std::wstring text;
  } cases[] = {
      {SignatureCheck::kNotSigned, L"not signed", L"Error!  The installer is not signed"},
      {SignatureCheck::kNotValid, L"signature not valid",
       L"Error!  The installer's signature is not valid: the file is not what was signed"},
      {SignatureCheck::kNotTrusted, L"not trusted",
       L"Error!  The installer's signature is not trusted on this computer"},
      {SignatureCheck::kOtherPublisher, L"another publisher",
       L"Error!  The installer is signed by another publisher than Setup"},
      {SignatureCheck::kCannotCheck, L"cannot be checked",
       L"Error!  The installer's signature cannot be checked on this computer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.check));
    SetupResult r =
        SetupResult::Of(SetupRequest::kDownload, SetupOutcome::kSignatureRefused, L"https://x/a");
    r.signature = c.check;
    r.path = L"C:\\T\\Install.exe";
    r.code = 0x80096010;
    const std::wstring tail = c.check == SignatureCheck::kCannotCheck ? L"  EC=2148098064" : L"";
    EXPECT_STREQ(OutcomeName(r.outcome), L"signature refused");
    EXPECT_STREQ(SignatureCheckName(c.check), c.name);
    const SetupNotice notice = NoticeFor(r);
    EXPECT_EQ(notice.kind, SetupNotice::Kind::kMessage);
    EXPECT_EQ(notice.text, c.text +
                               L", so Setup does not start it.\r\rIt was left for inspection: "
                               L"C:\\T\\Install.exe" +
                               tail);
  }
}

// An installer that is not the file the answer announced, and where it was left.
TEST(SetupOutcomeTest, RefusedHashNamesTheFileLeftForInspection) {
  SetupResult r =
      SetupResult::Of(SetupRequest::kDownload, SetupOutcome::kHashRefused, L"https://x/a");
  r.path = L"C:\\T\\Setup-0A\\Install.exe";
  const SetupNotice notice = NoticeFor(r);
  EXPECT_EQ(notice.kind, SetupNotice::Kind::kMessage);
  EXPECT_EQ(notice.text,
            L"Error!  The installer is not the file the service announced, so Setup does not "
            L"start it.\r\rIt was left for inspection: C:\\T\\Setup-0A\\Install.exe");
  EXPECT_STREQ(OutcomeName(r.outcome), L"not the announced installer");
}

// A failed call as the window shows it: which field says where, which call and code the user
// reads, and which failures stay silent.
TEST(SetupOutcomeTest, FailedCallsBecomeTheirResult) {
  using Kind = SetupNotice::Kind;
  const std::wstring kUrl = L"https://x/a";
  const std::wstring kPath = L"C:\\T\\Install.exe";
  const struct {
    SetupRequest request;
    SetupOutcome outcome;
    Failure failure;
    std::wstring where;
    std::wstring text;
    bool about_the_file;
    Kind kind;
    std::wstring notice;
  } cases[] = {
      {SetupRequest::kQuery,
       SetupOutcome::kNotConnected,
       {L"InternetOpenURL", 12029},
       kUrl,
       L"A connection with the server could not be established",
       false,
       Kind::kErrorReport,
       L"Not connected: (InternetOpenURL) A connection with the server could not be established "
       L"EC=12029"},
      {SetupRequest::kQuery,
       SetupOutcome::kNotConnected,
       {L"InternetReadFile", 12002},
       kUrl,
       L"The operation timed out",
       false,
       Kind::kErrorReport,
       L"Not connected: (InternetReadFile) The operation timed out EC=12002"},
      // The download cannot connect silently; after a stall it reads like an early end.
      {SetupRequest::kDownload,
       SetupOutcome::kNotDownloaded,
       {L"InternetOpenURL", 12029},
       kUrl,
       L"",
       false,
       Kind::kNone,
       L""},
      {SetupRequest::kDownload,
       SetupOutcome::kIncomplete,
       {L"InternetOpenURL", 12002},
       kUrl,
       L"",
       false,
       Kind::kMessage,
       L"Error\rDownload was incomplete.\r\rBytes expected: 0\rBytes received: 0"},
      {SetupRequest::kDownload,
       SetupOutcome::kFileError,
       {L"CreateFile", 5},
       kPath,
       L"Access is denied",
       true,
       Kind::kMessage,
       L"File I/O Error!  Creating File= C:\\T\\Install.exe  EC=5"},
      {SetupRequest::kDownload,
       SetupOutcome::kHoldError,
       {L"CreateFile", 1006},
       kPath,
       L"",
       true,
       Kind::kMessage,
       L"File I/O Error!  Opening File= C:\\T\\Install.exe  EC=1006"},
      // The installer's own folder could not be created: the message names the folder.
      {SetupRequest::kDownload,
       SetupOutcome::kFileError,
       {L"NtCreateFile", 3},
       L"C:\\Gone\\Setup-00019ABCDEF07FFF",
       L"The system cannot find the path specified",
       true,
       Kind::kMessage,
       L"File I/O Error!  Creating File= C:\\Gone\\Setup-00019ABCDEF07FFF  EC=3"},
      // The hash of the held installer could not be computed: refused with the reason's code.
      {SetupRequest::kDownload,
       SetupOutcome::kHashRefused,
       {L"ReadFile", 23},
       kPath,
       L"Data error (cyclic redundancy check)",
       true,
       Kind::kMessage,
       L"Error!  The installer cannot be compared with the file the service announced, so Setup "
       L"does not start it.\r\rIt was left for inspection: C:\\T\\Install.exe  EC=23"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << OutcomeName(c.outcome) << " " << c.failure.code);
    const SetupResult r = SetupResult::OfFailure(c.request, c.outcome, c.failure, c.where, c.text);
    EXPECT_EQ(r.request, c.request);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_STREQ(r.call, c.failure.call);
    EXPECT_EQ(r.code, c.failure.code);
    EXPECT_EQ(r.path, c.about_the_file ? c.where : L"");
    EXPECT_EQ(r.url, c.about_the_file ? L"" : c.where);
    const SetupNotice notice = NoticeFor(r);
    EXPECT_EQ(notice.kind, c.kind);
    EXPECT_EQ(notice.text, c.notice);
  }
}

// A call's value passes through whole, a move-only handle too; a failure keeps its call and code.
TEST(SetupOutcomeTest, ResultHoldsTheValueOrTheFailure) {
  const auto open = [](bool fails) -> Result<std::unique_ptr<int>> {
    if (fails) {
      return Failure{L"CreateFile", 32};
    }
    return std::make_unique<int>(7);
  };
  Result<std::unique_ptr<int>> opened = open(false);
  ASSERT_TRUE(opened);
  EXPECT_EQ(**opened, 7);
  const Result<std::unique_ptr<int>> refused = open(true);
  ASSERT_FALSE(refused);
  EXPECT_STREQ(refused.Why().call, L"CreateFile");
  EXPECT_EQ(refused.Why().code, 32u);
  EXPECT_TRUE(Result<>());
}

}  // namespace
}  // namespace setup
