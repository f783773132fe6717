#include "bootstrap/run/installer_transfer.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "tests/native/split_stream.h"

namespace setup {
namespace {

constexpr std::size_t kRead = kInstallerReadSize;

struct TransferRun {
  std::int64_t received = 0;
  bool write_failed = false;
  std::string file;                    // what was written, in order
  std::vector<std::int64_t> progress;  // counts reported
  std::size_t reads = 0;               // calls of the reader
  // Broken promises, noted once rather than at every call.
  bool read_before_writing = false;  // a piece was still unwritten when the next read began
  bool read_crosses_a_read = false;  // the reader was asked past the end of a 10240-byte read
  bool progress_off_file = false;    // a count reported differs from the bytes written
  bool asked_after_end = false;
  bool read_after_failed_write = false;
};

// The server sends `stream`, delivered as `pieces`; the disk takes `disk` bytes, and a write that
// would pass them fails.
TransferRun Transfer(std::int32_t expected, const std::string& stream,
                     const std::vector<std::size_t>& pieces, std::optional<std::size_t> disk) {
  TransferRun run;
  SplitStream source(stream, pieces);
  run.received = TransferInstaller(
      expected,
      [&](char* buffer, std::size_t size) -> std::size_t {
        run.read_before_writing |= run.file.size() != source.Delivered();
        run.read_crosses_a_read |= size != kRead - source.Delivered() % kRead;
        run.read_after_failed_write |= run.write_failed;
        return source(buffer, size);
      },
      [&](const char* data, std::size_t size) {
        if (disk && run.file.size() + size > *disk) {
          run.write_failed = true;
          return false;
        }
        run.file.append(data, size);
        return true;
      },
      [&](std::int64_t received) {
        run.progress_off_file |= received != static_cast<std::int64_t>(run.file.size());
        run.progress.push_back(received);
      });
  run.reads = source.Calls();
  run.asked_after_end = source.AskedAfterEnd();
  return run;
}

TEST(InstallerTransferTest, StopRulesHoldForEverySplitOfTheSameStream) {
  struct Case {
    const char* name;
    std::int32_t expected;
    std::size_t sent;                 // bytes the server sends before the data ends
    std::optional<std::size_t> disk;  // bytes the disk takes, if limited
    bool write_fails;
    std::int64_t received;
    // Delivered in whole reads of 10240 bytes:
    std::size_t reads;
    std::vector<std::int64_t> progress;
  };
  const std::optional<std::size_t> kRoomy;  // no limit
  const Case cases[] = {
      {"exact", 25000, 25000, kRoomy, false, 25000, 4, {10240, 20480, 25000}},
      {"exact, the rest never read", 20480, 3 * kRead, kRoomy, false, 20480, 2, {10240, 20480}},
      {"a byte more than a whole read", 10240, kRead + 1, kRoomy, false, 10240, 1, {10240}},
      {"data ends early", 50000, 15000, kRoomy, false, 15000, 3, {10240, 15000}},
      {"empty body, positive size", 50000, 0, kRoomy, false, 0, 1, {}},
      {"empty body, size 0 is complete", 0, 0, kRoomy, false, 0, 1, {}},
      {"size 0 stops after the first read", 0, 2 * kRead, kRoomy, false, 10240, 1, {10240}},
      {"size 0, a short body", 0, 100, kRoomy, false, 100, 2, {100}},
      {"size 1 stops after the first read", 1, 2 * kRead, kRoomy, false, 10240, 1, {10240}},
      {"size 1, one byte", 1, 1, kRoomy, false, 1, 2, {1}},
      {"negative size stops after a read", -5, 2 * kRead, kRoomy, false, 10240, 1, {10240}},
      {"more sent, less than a read", 15001, 3 * kRead, kRoomy, false, 20480, 2, {10240, 20480}},
      {"more sent, within the last read", 30, 40, kRoomy, false, 40, 2, {40}},
      {"a failing write ends it", 50000, 3 * kRead, kRead, true, 0, 2, {10240}},
      {"near the 32-bit limit", INT_MAX, kRead, kRoomy, false, 10240, 2, {10240}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string stream = StreamBytes(c.sent);
    const std::int64_t e = c.expected;
    for (const Delivery& delivery : Deliveries(c.sent, kRead, {e - 1, e, e + 1})) {
      SCOPED_TRACE(delivery.name);
      const TransferRun run = Transfer(c.expected, stream, delivery.pieces, c.disk);
      ASSERT_EQ(run.write_failed, c.write_fails);
      if (!c.write_fails) {
        EXPECT_EQ(run.received, c.received);
      } else {
        EXPECT_LE(run.file.size(), *c.disk);
      }
      // What the transfer gives is what the file holds, after a failed write too.
      EXPECT_EQ(run.received, static_cast<std::int64_t>(run.file.size()));
      EXPECT_EQ(run.file, stream.substr(0, run.file.size()));
      if (run.file.empty()) {
        EXPECT_TRUE(run.progress.empty());
      } else {
        ASSERT_FALSE(run.progress.empty());
        EXPECT_EQ(run.progress.back(), static_cast<std::int64_t>(run.file.size()));
      }
      EXPECT_FALSE(run.read_before_writing);
      EXPECT_FALSE(run.read_crosses_a_read);
      EXPECT_FALSE(run.progress_off_file);
      EXPECT_FALSE(run.asked_after_end);
      EXPECT_FALSE(run.read_after_failed_write);
      if (delivery.name == "pieces of " + std::to_string(kRead)) {
        EXPECT_EQ(run.reads, c.reads);
        EXPECT_EQ(run.progress, c.progress);
      }
    }
  }
}

// The count shown keeps up with the bytes as they arrive, inside a 10240-byte read as well.
TEST(InstallerTransferTest, EveryPieceIsWrittenAndReportedAsItArrives) {
  const std::string stream = StreamBytes(25000);
  const TransferRun run = Transfer(25000, stream, {1, 4000, 6239, 10240, 100, 4420}, std::nullopt);
  EXPECT_EQ(run.received, 25000);
  EXPECT_EQ(run.progress, (std::vector<std::int64_t>{1, 4001, 10240, 20480, 20580, 25000}));
  EXPECT_EQ(run.file, stream);
}

}  // namespace
}  // namespace setup
