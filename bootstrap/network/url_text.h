// URLs as Setup meets them: the installer URL an answer announces, and the Location of each
// redirect, resolved against the URL that answered it. Setup starts what it downloads, as
// administrator, so only https:// is ever requested.
#pragma once

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

}  // namespace setup
