// The installer transfer apart from the window: reads until the data ends or the expected size is
// reached, writes each read at once, and reports the received count after every write. The window
// only observes it (captions, meter), so the stop rules are tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace setup {

inline constexpr std::size_t kInstallerReadSize = 10240;

struct TransferSeams {
  // Fills up to size bytes and gives the count; 0 ends the transfer (end of data or a failed read).
  std::function<std::size_t(char* buffer, std::size_t size)> read;
  // Writes all of the bytes or raises; a raised error leaves the transfer before the next read.
  std::function<void(const char* data, std::size_t size)> write;
  // After every write: the received count so far.
  std::function<void(std::int64_t received)> progress;
};

// Runs the transfer and gives the received count. It stops after the first read that brings
// nothing and after the first read that reaches or passes the expected size, so an expected size of
// 1, 0 or below stops after the first read that brings data. 64-bit: a last read may carry the
// count past an expected size close to the 32-bit limit.
std::int64_t TransferInstaller(std::int32_t expected, const TransferSeams& seams);

}  // namespace setup
