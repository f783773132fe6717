// URLs as Setup meets them: the installer URL an answer announces, and the Location of each
// redirect, resolved against the URL that answered it. Setup starts what it downloads, as
// administrator, so only https:// is ever requested.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace setup {

// True for an https:// URL (the scheme in any case).
bool IsHttpsUrl(std::wstring_view url);

// What the first field of an answer is. An answer that is not a URL at all (an HTML page, a
// captive portal's text, "00") is no request; a URL of another scheme is refused with a message.
enum class UrlKind {
  kHttps,        // https://...
  kOtherScheme,  // http:, ftp:, file:, C:\... : a scheme, but not a secure one
  kNotAUrl,      // no scheme in front
};
UrlKind ClassifyUrl(std::wstring_view url);

// The redirect target: a Location (absolute, scheme-relative "//host/x", absolute-path "/x",
// relative "x", "?q") resolved against the URL that answered, with "." and ".." segments removed.
// A fragment is dropped: it is never sent.
std::wstring ResolveUrl(std::wstring_view base, std::wstring_view reference);

// Where an https:// URL is sent: the server (a name, an IPv4 address, or an IPv6 address without
// its brackets), its port (443 unless given) and the object asked for (the path, "/" when empty,
// with the query). A user name and password in front of the host are never sent. Nothing when
// the URL is not https:// or its host is empty or holds anything but letters, digits, "-", "."
// and "_" (or, in brackets, an IPv6 address): a "\" or a blank would make the host that is
// connected to differ from the one a browser reads, or the one the log shows.
struct HttpsTarget {
  std::wstring host;
  unsigned port = 443;
  std::wstring object;

  bool operator==(const HttpsTarget&) const = default;
};
std::optional<HttpsTarget> SplitHttpsUrl(std::wstring_view url);

}  // namespace setup
