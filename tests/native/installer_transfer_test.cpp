#include "bootstrap/installer_transfer.h"

#include <gtest/gtest.h>

#include <climits>
#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace setup {
namespace {

constexpr std::size_t kRead = kInstallerReadSize;

// A server that hands out the given read counts in order, then nothing.
struct TransferRun {
  std::int64_t received = 0;
  std::size_t reads = 0;               // reads made
  std::vector<std::int64_t> progress;  // counts reported
  std::size_t bytes_written = 0;
  bool raised = false;
};

TransferRun Transfer(std::int32_t expected, const std::vector<std::size_t>& counts,
                     int failing_write) {
  TransferRun run;
  int writes = 0;
  try {
    run.received = TransferInstaller(
        expected,
        [&](char* buffer, std::size_t size) -> std::size_t {
          const std::size_t count = run.reads < counts.size() ? counts[run.reads] : 0;
          ++run.reads;
          EXPECT_EQ(size, kRead);
          EXPECT_LE(count, size);
          std::fill(buffer, buffer + count, 'x');
          return count;
        },
        [&](const char*, std::size_t size) {
          if (writes++ == failing_write) {
            throw std::runtime_error("disk full");
          }
          run.bytes_written += size;
        },
        [&](std::int64_t received) { run.progress.push_back(received); });
  } catch (const std::runtime_error&) {
    run.raised = true;
  }
  return run;
}

TEST(InstallerTransferTest, StopRules) {
  struct Case {
    const char* name;
    std::int32_t expected;
    std::vector<std::size_t> counts;  // what each read brings
    int failing_write;                // index of the write that raises, -1 for none
    std::int64_t received;
    std::size_t reads;
    std::vector<std::int64_t> progress;
    bool raised;
  };
  const Case cases[] = {
      {"exact", 25000, {kRead, kRead, 4520}, -1, 25000, 3, {10240, 20480, 25000}, false},
      {"exact, data after it is never read",
       20480,
       {kRead, kRead, kRead},
       -1,
       20480,
       2,
       {10240, 20480},
       false},
      {"data ends early", 50000, {kRead, 4760}, -1, 15000, 3, {10240, 15000}, false},
      {"empty body, positive size", 50000, {}, -1, 0, 1, {}, false},
      {"empty body, size 0 is complete", 0, {}, -1, 0, 1, {}, false},
      {"size 0 stops after the first data", 0, {100, kRead}, -1, 100, 1, {100}, false},
      {"size 1 stops after the first read", 1, {kRead, kRead}, -1, 10240, 1, {10240}, false},
      {"size 1, one byte", 1, {1, kRead}, -1, 1, 1, {1}, false},
      {"negative size stops after the first read",
       -5,
       {kRead, kRead},
       -1,
       10240,
       1,
       {10240},
       false},
      {"more than announced by less than a read",
       15001,
       {kRead, kRead, kRead},
       -1,
       20480,
       2,
       {10240, 20480},
       false},
      {"short reads keep going", 30, {10, 10, 10, 10}, -1, 30, 3, {10, 20, 30}, false},
      {"a failing write ends it before the next read",
       50000,
       {kRead, kRead, kRead},
       1,
       0,
       2,
       {10240},
       true},
      {"near the 32-bit limit", INT_MAX, {kRead}, -1, 10240, 2, {10240}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TransferRun run = Transfer(c.expected, c.counts, c.failing_write);
    EXPECT_EQ(run.raised, c.raised);
    if (!c.raised) {
      EXPECT_EQ(run.received, c.received);
      EXPECT_EQ(run.bytes_written, static_cast<std::size_t>(c.received));
    }
    EXPECT_EQ(run.reads, c.reads);
    EXPECT_EQ(run.progress, c.progress);
  }
}

}  // namespace
}  // namespace setup
