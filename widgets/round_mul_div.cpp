#include "widgets/round_mul_div.h"

#include <limits>

namespace widgets {

std::int32_t RoundMulDiv(std::int64_t a, std::int32_t b, std::int64_t c) {
  // |a| < 2^32 and |b| <= 2^31 keep the product and the added half inside 64 bits.
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  if (c == 0 || a > 2 * kMax + 1 || a < -2 * kMax - 1 || c > 2 * kMax + 1 || c < -2 * kMax - 1) {
    return -1;
  }
  std::int64_t product = a * b;
  if (c < 0) {
    product = -product;
    c = -c;
  }
  // Half the divisor towards the sign of the result, then truncating division.
  const std::int64_t result = (product >= 0 ? product + c / 2 : product - c / 2) / c;
  return result > kMax || result < -kMax ? -1 : static_cast<std::int32_t>(result);
}

}  // namespace widgets
