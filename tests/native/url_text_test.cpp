#include "bootstrap/network/url_text.h"

#include <gtest/gtest.h>

#include <string>

namespace setup {
namespace {

TEST(UrlTextTest, OnlyHttpsUrlsAreSecure) {
  struct Case {
    const wchar_t* url;
    bool secure;
  };
  const Case cases[] = {
      {L"https://example.com/setup.exe", true},
      {L"HTTPS://EXAMPLE.COM/SETUP.EXE", true},  // the answer's URL comes upper-cased
      {L"HttpS://x", true},
      {L"http://example.com/setup.exe", false},
      {L"HTTP://EXAMPLE.COM/SETUP.EXE", false},
      {L"ftp://example.com/setup.exe", false},
      {L"https:/example.com", false},
      {L"https:", false},
      {L" https://example.com", false},  // never trimmed here: WinInet would not read it alike
      {L"httpsx://example.com", false},
      {L"EXAMPLE.COM/SETUP.EXE", false},
      {L"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::wstring(c.url).size());
    EXPECT_EQ(IsHttpsUrl(c.url), c.secure);
  }
}

TEST(UrlTextTest, ClassifiesWhatAnAnswerNames) {
  const struct {
    const wchar_t* url;
    UrlKind kind;
  } cases[] = {
      {L"https://cdn.example.com/Install.exe", UrlKind::kHttps},
      {L"HTTPS://CDN.EXAMPLE.COM/INSTALL.EXE", UrlKind::kHttps},
      {L"http://cdn.example.com/x.exe", UrlKind::kOtherScheme},
      {L"FTP://HOST/X.EXE", UrlKind::kOtherScheme},
      {L"FILE:///C:/X.EXE", UrlKind::kOtherScheme},
      {L"C:\\X.EXE", UrlKind::kOtherScheme},
      {L"https:/one-slash", UrlKind::kOtherScheme},
      {L"00", UrlKind::kNotAUrl},
      {L"<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">", UrlKind::kNotAUrl},
      {L"<HTML><HEAD><TITLE>SIGN IN TO THE HOTEL WI-FI", UrlKind::kNotAUrl},
      {L"WWW.EXAMPLE.COM/INSTALL.EXE", UrlKind::kNotAUrl},
      {L"1HTTPS://X", UrlKind::kNotAUrl},
      {L"", UrlKind::kNotAUrl},
      {L":", UrlKind::kNotAUrl},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClassifyUrl(c.url), c.kind) << c.url;
  }
}

TEST(UrlTextTest, ResolvesEachLocationAgainstTheUrlThatAnswered) {
  const std::wstring base = L"https://a.example.com:8443/dl/v1/setup.exe?id=7";
  const struct {
    const wchar_t* location;
    const wchar_t* expected;
  } cases[] = {
      {L"https://cdn.example.net/x/Install.exe", L"https://cdn.example.net/x/Install.exe"},
      {L"http://cdn.example.net/x.exe", L"http://cdn.example.net/x.exe"},
      {L"//cdn.example.net/x.exe", L"https://cdn.example.net/x.exe"},
      {L"//cdn.example.net", L"https://cdn.example.net/"},
      {L"/other/x.exe", L"https://a.example.com:8443/other/x.exe"},
      {L"x.exe", L"https://a.example.com:8443/dl/v1/x.exe"},
      {L"../x.exe", L"https://a.example.com:8443/dl/x.exe"},
      {L"../../../../x.exe", L"https://a.example.com:8443/x.exe"},
      {L"./", L"https://a.example.com:8443/dl/v1/"},
      {L"..", L"https://a.example.com:8443/dl/"},
      {L"/a/b/c/./../../g", L"https://a.example.com:8443/a/g"},
      {L"?id=8", L"https://a.example.com:8443/dl/v1/setup.exe?id=8"},
      {L"x.exe?k=1#frag", L"https://a.example.com:8443/dl/v1/x.exe?k=1"},
      {L"#frag", L"https://a.example.com:8443/dl/v1/setup.exe?id=7"},
      {L"", L"https://a.example.com:8443/dl/v1/setup.exe?id=7"},
      {L"  /padded.exe \r", L"https://a.example.com:8443/padded.exe"},
      {L"HTTPS://CDN/X/../Y.EXE", L"HTTPS://CDN/Y.EXE"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveUrl(base, c.location), c.expected) << c.location;
  }
  EXPECT_EQ(ResolveUrl(L"https://h", L"x"), L"https://h/x");
  EXPECT_EQ(ResolveUrl(L"https://h", L"?q"), L"https://h/?q");
}

// Whatever a server sends as Location gives some URL, and only an https:// one is ever requested.
TEST(UrlTextTest, HostileLocationsNeverBecomeHttpsByAccident) {
  const std::wstring base = L"https://a.example.com/x";
  for (const wchar_t* location :
       {L"http:/x", L"http:x", L"javascript:alert(1)", L"file:///etc", L"http://a.example.com/x"}) {
    EXPECT_FALSE(IsHttpsUrl(ResolveUrl(base, location))) << location;
  }
}

}  // namespace
}  // namespace setup
