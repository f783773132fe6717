#include "bootstrap/trust/image_digest_feed.h"

#include <algorithm>

namespace setup {

ImageDigestFeed::ImageDigestFeed(std::uint64_t file_size) : size_(file_size) {}

std::size_t ImageDigestFeed::TakeHeader(Bytes piece) {
  // The same leading bytes a reader of the finished file gives ReadPeSignatureLayout.
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size_, kPeHeaderReadSize));
  const std::size_t taken = std::min(piece.size(), wanted - header_.size());
  header_.insert(header_.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(taken));
  if (header_.size() == wanted) {
    header_done_ = true;
    layout_ = ReadPeSignatureLayout(header_, size_);
    if (layout_) {
      ranges_ = ImageDigestRanges(*layout_, size_);
    }
  }
  return taken;
}

}  // namespace setup
