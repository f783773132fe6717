// The platform's rounding multiply-divide, shared by the gradient painter and the meters. Pure: no
// windows.h.
#pragma once

#include <cstdint>

namespace widgets {

// a * b / c rounded to the nearest integer, halves away from zero, with a 64-bit intermediate;
// -1 when c is 0 or the result leaves -(2^31 - 1)..2^31 - 1, exactly as MulDiv answers. a and c
// may be differences of two 32-bit values.
std::int32_t RoundMulDiv(std::int64_t a, std::int32_t b, std::int64_t c);

}  // namespace widgets
