// The installer transfer apart from the window: reads until the data ends or the expected size is
// reached, writes each read at once, and reports the received count after every write. The window
// only observes it (captions, meter), so the stop rules are tested natively.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace setup {

inline constexpr std::size_t kInstallerReadSize = 10240;

// Runs the transfer and gives the received count:
//   read(buffer, size) fills up to size bytes and gives the count; 0 ends the transfer (end of
//     data or a failed read);
//   write(data, size) writes all of the bytes or raises, which leaves the transfer before the next
//     read;
//   progress(received) follows every write with the received count so far.
// It stops after the first read that brings nothing and after the first read that reaches or
// passes the expected size, so an expected size of 1, 0 or below stops after the first read that
// brings data. 64-bit: a last read may carry the count past an expected size close to the 32-bit
// limit. (Callables rather than std::function: Setup.exe stays small.)
template <typename Read, typename Write, typename Progress>
std::int64_t TransferInstaller(std::int32_t expected, Read&& read, Write&& write,
                               Progress&& progress) {
  std::array<char, kInstallerReadSize> buffer;
  std::int64_t received = 0;
  std::size_t count = 0;
  do {
    count = read(buffer.data(), buffer.size());
    if (count > 0) {
      write(static_cast<const char*>(buffer.data()), count);
      received += static_cast<std::int64_t>(count);
      progress(received);
    }
  } while (count > 0 && received < expected);
  return received;
}

}  // namespace setup
