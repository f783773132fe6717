// What the tests tell a build with test seams, through the environment: one reader for every seam.
// Release builds never read it (each caller asks kTestSeams first).
#pragma once

#include <cstdint>
#include <optional>

namespace setup {

// The variable's value as a decimal number (at most nine digits); nullopt when it is not set or
// is anything else.
std::optional<std::uint32_t> TestSeamNumber(const wchar_t* name);

}  // namespace setup
