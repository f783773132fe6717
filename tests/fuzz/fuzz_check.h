// What a fuzz target asserts: a broken promise stops the run with a crash that libFuzzer reports
// and keeps as a reproducer.
#pragma once

#include <cstdlib>

namespace fuzz {

inline void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace fuzz
