#include "bootstrap/installer_transfer.h"

#include <array>

namespace setup {

std::int64_t TransferInstaller(std::int32_t expected, const TransferSeams& seams) {
  std::array<char, kInstallerReadSize> buffer;
  std::int64_t received = 0;
  std::size_t count = 0;
  do {
    count = seams.read(buffer.data(), buffer.size());
    if (count > 0) {
      seams.write(buffer.data(), count);
      received += static_cast<std::int64_t>(count);
      seams.progress(received);
    }
  } while (count > 0 && received < expected);
  return received;
}

}  // namespace setup
