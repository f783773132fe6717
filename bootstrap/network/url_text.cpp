#include "bootstrap/network/url_text.h"

#include <algorithm>
#include <cstddef>

namespace setup {
namespace {

wchar_t Lower(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool IsAlpha(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// The length of the scheme in front of ":", or 0 when the text has none.
std::size_t SchemeLength(std::wstring_view url) {
  if (url.empty() || !IsAlpha(url[0])) {
    return 0;
  }
  for (std::size_t i = 1; i < url.size(); ++i) {
    const wchar_t c = url[i];
    if (c == L':') {
      return i;
    }
    if (!IsAlpha(c) && !(c >= L'0' && c <= L'9') && c != L'+' && c != L'-' && c != L'.') {
      return 0;
    }
  }
  return 0;
}

struct UrlParts {
  std::wstring_view scheme;     // without ":"
  std::wstring_view authority;  // without "//"
  bool has_authority = false;
  std::wstring_view path;
  std::wstring_view query;  // with "?"
  bool has_query = false;
};

UrlParts Split(std::wstring_view url) {
  UrlParts parts;
  url = url.substr(0, url.find(L'#'));
  if (const std::size_t scheme = SchemeLength(url); scheme > 0) {
    parts.scheme = url.substr(0, scheme);
    url.remove_prefix(scheme + 1);
  }
  if (url.substr(0, 2) == L"//") {
    url.remove_prefix(2);
    const std::size_t end = url.find_first_of(L"/?");
    parts.authority = url.substr(0, end);
    parts.has_authority = true;
    url.remove_prefix(end == std::wstring_view::npos ? url.size() : end);
  }
  const std::size_t query = url.find(L'?');
  parts.path = url.substr(0, query);
  if (query != std::wstring_view::npos) {
    parts.query = url.substr(query);
    parts.has_query = true;
  }
  return parts;
}

// The standard's own loop over the input: "." and ".." segments go, each ".." with the segment
// before it.
std::wstring RemoveDotSegments(std::wstring_view in) {
  std::wstring out;
  const auto drop_last_segment = [&out] { out.erase(std::min(out.rfind(L'/'), out.size())); };
  while (!in.empty()) {
    if (in.starts_with(L"../")) {
      in.remove_prefix(3);
    } else if (in.starts_with(L"./") || in.starts_with(L"/./")) {
      in.remove_prefix(2);
    } else if (in == L"/.") {
      in = L"/";
    } else if (in.starts_with(L"/../")) {
      in.remove_prefix(3);
      drop_last_segment();
    } else if (in == L"/..") {
      in = L"/";
      drop_last_segment();
    } else if (in == L"." || in == L"..") {
      in = {};
    } else {
      const std::size_t end = std::min(in.find(L'/', 1), in.size());
      out.append(in.substr(0, end));
      in.remove_prefix(end);
    }
  }
  return out;
}

std::wstring Join(const UrlParts& parts, const std::wstring& path) {
  std::wstring out(parts.scheme);
  out += L':';
  if (parts.has_authority) {
    out += L"//";
    out.append(parts.authority);
  }
  out += path;
  out.append(parts.query);
  return out;
}

bool IsHostCharacter(wchar_t c) {
  return IsAlpha(c) || (c >= L'0' && c <= L'9') || c == L'-' || c == L'.' || c == L'_' || c >= 0x80;
}

bool IsIpv6Character(wchar_t c) {
  return (c >= L'0' && c <= L'9') || IsAlpha(c) || c == L':' || c == L'.' || c == L'%';
}

// The port after the host's ":"; empty is the default. Nothing for anything but 1 to 65535.
std::optional<unsigned> ParsePort(std::wstring_view digits) {
  if (digits.empty()) {
    return 443;
  }
  unsigned port = 0;
  for (const wchar_t c : digits) {
    if (c < L'0' || c > L'9' || port > 6553) {
      return std::nullopt;
    }
    port = port * 10 + static_cast<unsigned>(c - L'0');
  }
  if (port == 0 || port > 65535) {
    return std::nullopt;
  }
  return port;
}

}  // namespace

bool IsHttpsUrl(std::wstring_view url) {
  constexpr std::wstring_view kScheme = L"https://";
  if (url.size() < kScheme.size()) {
    return false;
  }
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    if (Lower(url[i]) != kScheme[i]) {
      return false;
    }
  }
  return true;
}

UrlKind ClassifyUrl(std::wstring_view url) {
  if (IsHttpsUrl(url)) {
    return UrlKind::kHttps;
  }
  return SchemeLength(url) > 0 ? UrlKind::kOtherScheme : UrlKind::kNotAUrl;
}

std::wstring ResolveUrl(std::wstring_view base, std::wstring_view reference) {
  // Blanks around a header value are not part of it.
  while (!reference.empty() && reference.front() <= L' ') {
    reference.remove_prefix(1);
  }
  while (!reference.empty() && reference.back() <= L' ') {
    reference.remove_suffix(1);
  }
  const UrlParts ref = Split(reference);
  UrlParts target = Split(base);
  std::wstring path;
  if (!ref.scheme.empty()) {
    target = ref;
    path = RemoveDotSegments(ref.path);
  } else if (ref.has_authority) {
    target.authority = ref.authority;
    target.has_authority = true;
    target.query = ref.query;
    path = RemoveDotSegments(ref.path);
  } else if (ref.path.empty()) {
    path = std::wstring(target.path);
    if (ref.has_query) {
      target.query = ref.query;
    }
  } else {
    if (ref.path.front() == L'/') {
      path = RemoveDotSegments(ref.path);
    } else {
      std::wstring merged;
      if (target.has_authority && target.path.empty()) {
        merged = L"/";
      } else {
        const std::size_t slash = target.path.rfind(L'/');
        merged =
            slash == std::wstring_view::npos ? L"" : std::wstring(target.path.substr(0, slash + 1));
      }
      merged.append(ref.path);
      path = RemoveDotSegments(merged);
    }
    target.query = ref.query;
  }
  if (target.has_authority && path.empty()) {
    path = L"/";
  }
  return Join(target, path);
}

std::optional<HttpsTarget> SplitHttpsUrl(std::wstring_view url) {
  if (!IsHttpsUrl(url)) {
    return std::nullopt;
  }
  const UrlParts parts = Split(url);
  std::wstring_view authority = parts.authority;
  // A browser ends the authority at a "\\" as at a "/": what stands before a later "@" is the host.
  if (authority.find(L'\\') != std::wstring_view::npos) {
    return std::nullopt;
  }
  if (const std::size_t at = authority.rfind(L'@'); at != std::wstring_view::npos) {
    authority.remove_prefix(at + 1);
  }
  HttpsTarget target;
  std::wstring_view port;
  if (authority.starts_with(L'[')) {
    const std::size_t close = authority.find(L']');
    if (close == std::wstring_view::npos || close == 1) {
      return std::nullopt;
    }
    const std::wstring_view address = authority.substr(1, close - 1);
    if (!std::all_of(address.begin(), address.end(), IsIpv6Character)) {
      return std::nullopt;
    }
    target.host = address;
    authority.remove_prefix(close + 1);
    if (!authority.empty() && !authority.starts_with(L':')) {
      return std::nullopt;
    }
    port = authority.substr(std::min<std::size_t>(1, authority.size()));
  } else {
    const std::size_t colon = authority.find(L':');
    const std::wstring_view host = authority.substr(0, colon);
    if (host.empty() || !std::all_of(host.begin(), host.end(), IsHostCharacter)) {
      return std::nullopt;
    }
    target.host = host;
    port = colon == std::wstring_view::npos ? std::wstring_view{} : authority.substr(colon + 1);
  }
  const std::optional<unsigned> number = ParsePort(port);
  if (!number) {
    return std::nullopt;
  }
  target.port = *number;
  target.object = parts.path.empty() ? L"/" : std::wstring(parts.path);
  target.object.append(parts.query);
  return target;
}

}  // namespace setup
