#include "bootstrap/app/environment.h"

#include "bootstrap/vocabulary/short_text.h"
#include "framework/text.h"
#include "origins.h"

namespace setup {

std::string NormaliseServerValue(std::string_view ansi_value) {
  return fw::ToUpperAscii(TrimShortStr(std::string(ansi_value)));
}

Environment SelectEnvironment(const std::optional<std::string>& ansi_value) {
  Environment env{0, kOriginProd, {}};
  if (!ansi_value) {
    return env;
  }
  const std::string value = NormaliseServerValue(*ansi_value);
  struct Choice {
    std::string_view name;
    std::uint8_t code;
    const char* origin;
  };
  static constexpr Choice kChoices[] = {
      {"UAT", 1, kOriginUat}, {"SIT", 2, kOriginSit}, {"DIT", 3, kOriginDit}};
  for (const Choice& choice : kChoices) {
    if (value == choice.name) {
      return Environment{choice.code, choice.origin, value};
    }
  }
  return env;
}

std::wstring EnvironmentBanner(std::string_view normalised_value) {
  constexpr wchar_t kBullet = L'\u2022';
  std::wstring banner(20, kBullet);
  banner += L'<';
  // Only "UAT", "SIT" and "DIT" ever get a banner, so widening byte by byte is exact.
  for (char c : normalised_value) {
    banner += static_cast<wchar_t>(static_cast<unsigned char>(c));
  }
  banner += L" ENVIRONMENT>";
  banner.append(19, kBullet);
  return banner;
}

}  // namespace setup
