#include "framework/reading_order.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace fw {
namespace {

struct OrderCase {
  const char* what;
  std::vector<fw::PixelRect> boxes;
  std::vector<std::size_t> expected;
};

TEST(ReadingOrderTest, RowsTopToBottomEachLeftToRight) {
  const OrderCase cases[] = {
      {"nothing", {}, {}},
      {"one", {{5, 5, 10, 10}}, {0}},
      // The setup window's idle controls in creation order: Close before Contact, the logo, the
      // brand texts and the waiting bar between the banner and the buttons.
      {"setup window",
       {{238, 109, 292, 158},  // logo
        {185, 170, 344, 205},  // OSTREVO
        {234, 209, 294, 225},  // SOFTWARE
        {277, 254, 371, 286},  // Close
        {159, 254, 253, 286},  // Contact
        {17, 18, 100, 33},     // Downloading...
        {17, 40, 56, 55},      // byte count
        {1, 1, 529, 16},       // banner
        {185, 230, 344, 234},  // waiting bar
        {16, 64, 514, 74}},    // meter
       {7, 5, 6, 9, 0, 1, 2, 8, 4, 3}},
      {"a lower neighbour within the row's span reads on the same line",
       {{100, 12, 150, 30}, {0, 10, 50, 30}, {60, 14, 90, 28}},
       {1, 2, 0}},
      {"a box whose centre lies below the row starts the next one",
       {{100, 25, 150, 60}, {0, 10, 50, 30}},
       {1, 0}},
      {"equal boxes keep their given order", {{0, 0, 10, 10}, {0, 0, 10, 10}}, {0, 1}},
  };
  for (const OrderCase& c : cases) {
    EXPECT_EQ(ReadingOrder(c.boxes), c.expected) << c.what;
  }
}

TEST(ReadingOrderTest, TabWalksForwardAndBackAndWraps) {
  struct StepCase {
    int count;
    int current;
    bool forward;
    int expected;
  };
  const StepCase cases[] = {
      {0, -1, true, -1}, {0, -1, false, -1},  // nothing to focus
      {2, -1, true, 0},  {2, -1, false, 1},   // first Tab / Shift+Tab
      {2, 0, true, 1},   {2, 1, true, 0},     // Contact -> Close -> Contact
      {2, 0, false, 1},  {2, 1, false, 0},    // and back
      {1, 0, true, 0},   {1, 0, false, 0},    // a single stop keeps the focus
      {3, 7, true, 0},   {3, 7, false, 2},    // a stale position counts as none
  };
  for (const StepCase& c : cases) {
    EXPECT_EQ(NextTabStop(c.count, c.current, c.forward), c.expected)
        << c.count << " " << c.current << " " << c.forward;
  }
}

}  // namespace
}  // namespace fw
