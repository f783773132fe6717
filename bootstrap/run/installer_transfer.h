// The installer transfer apart from the window: reads until the data ends or the expected size is
// reached, writes each piece at once, and reports the received count after every write. The window
// only observes it (captions, meter), so the stop rules are tested natively.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace setup {

inline constexpr std::size_t kInstallerReadSize = 10240;

// Runs the transfer and gives the received count, all of it written (after a failed write, what
// came before it):
//   read(buffer, size) fills up to size bytes, as many as have arrived, and gives the count; 0 ends
//     the transfer (end of data or a failed read);
//   write(data, size) writes all of the bytes and gives true, or gives false, which ends the
//     transfer before the next read, without progress for those bytes (a failed write, or the
//     window no longer waiting);
//   progress(received) follows every write with the received count so far.
// The stop rules count in reads of kInstallerReadSize bytes, however the reader splits them: a read
// ends once it holds that many bytes or the reader gives 0. The transfer stops after the first
// read that brings nothing and after the first read that reaches or passes the expected size, so
// an expected size of 1, 0 or below stops after the first read that brings data. 64-bit: a last
// read may carry the count past an expected size close to the 32-bit limit. (Callables rather than
// std::function: Setup.exe stays small.)
//
// A retry continues the count of the file it appends to (received, the bytes the file already
// holds): the reads stay on the whole file's grid of kInstallerReadSize bytes, so where the
// transfer stops does not depend on where a connection was cut either.
template <typename Read, typename Write, typename Progress>
std::int64_t ContinueInstaller(std::int64_t received, std::int32_t expected, Read&& read,
                               Write&& write, Progress&& progress) {
  std::array<char, kInstallerReadSize> buffer;
  bool data_ended = false;
  do {
    // Whether the announced size lies inside a read, and so whether the data after it counts,
    // must not depend on how the bytes happened to arrive.
    std::size_t gathered = static_cast<std::size_t>(received % kInstallerReadSize);
    while (gathered < buffer.size()) {
      const std::size_t want = buffer.size() - gathered;
      const std::size_t count = std::min<std::size_t>(read(buffer.data() + gathered, want), want);
      if (count == 0) {
        data_ended = true;
        break;
      }
      // At once, so the file and the count shown keep up with what has arrived.
      if (!write(static_cast<const char*>(buffer.data() + gathered), count)) {
        return received;
      }
      gathered += count;
      received += static_cast<std::int64_t>(count);
      progress(received);
    }
  } while (!data_ended && received < expected);
  return received;
}

template <typename Read, typename Write, typename Progress>
std::int64_t TransferInstaller(std::int32_t expected, Read&& read, Write&& write,
                               Progress&& progress) {
  return ContinueInstaller(0, expected, read, write, progress);
}

}  // namespace setup
