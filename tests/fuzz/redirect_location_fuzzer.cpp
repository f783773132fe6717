// Feeds arbitrary Location values (and URLs that answered) to the redirect resolution: no crash,
// no undefined behaviour, and what Setup relies on: the result is never https:// unless the
// Location or the URL it is resolved against was, and resolving is stable.
#include <cstdint>
#include <string>

#include "bootstrap/log/support_log_text.h"
#include "bootstrap/network/url_text.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte splits the input into the URL that answered and the Location it sent.
  if (size == 0) {
    return 0;
  }
  std::wstring text;
  for (std::size_t i = 1; i < size; ++i) {
    text += static_cast<wchar_t>(data[i]);
  }
  const std::size_t split = std::min<std::size_t>(data[0], text.size());
  const std::wstring base = L"https://a.example.com" + text.substr(0, split);
  const std::wstring location = text.substr(split);
  const std::wstring target = setup::ResolveUrl(base, location);
  // A Location of another scheme never becomes an https:// target.
  if (setup::ClassifyUrl(location) == setup::UrlKind::kOtherScheme) {
    fuzz::Check(!setup::IsHttpsUrl(target));
  }
  // Resolving the target against itself changes nothing but a fragment.
  if (setup::IsHttpsUrl(target)) {
    fuzz::Check(setup::ResolveUrl(target, L"") == target);
  }
  // What the log keeps of it has no more than the URL had.
  fuzz::Check(setup::RedactedUrl(target).size() <= target.size());
  return 0;
}
