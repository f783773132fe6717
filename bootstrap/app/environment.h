// Which of the maker's services this run talks to: production, or one of the test environments
// named in the machine-wide environment file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

struct Environment {
  std::uint8_t code = 0;  // 0 production, 1 UAT, 2 SIT, 3 DIT
  std::string origin;     // base URL: scheme, "://", host; no path, no trailing slash
  std::string value;      // the normalised Server value (empty for production)
};

// The Server value as the environment file gives it, in the ANSI code page: cut to 255 characters,
// trimmed of characters with codes up to 32, a-z upper-cased and nothing else changed.
std::string NormaliseServerValue(std::string_view ansi_value);

// The environment for a Server value; std::nullopt when there is no file (or no value).
Environment SelectEnvironment(const std::optional<std::string>& ansi_value);

// The blinking banner of a test environment: two rows of bullets around "<VALUE ENVIRONMENT>".
std::wstring EnvironmentBanner(std::string_view normalised_value);

}  // namespace setup
