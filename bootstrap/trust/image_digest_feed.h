// The bytes of a file's Authenticode image digest, picked from the file as it is written: the
// digest is made while the installer arrives, so that after the transfer only the system's own
// verification reads the file again. The picking is the same as ImageDigestRanges over the whole
// file, whatever the pieces the bytes come in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "bootstrap/trust/authenticode.h"

namespace setup {

class ImageDigestFeed {
 public:
  // file_size: the size the file will have when complete (the announced size). A file that ends
  // at another size was fed against the wrong layout: Matches() tells.
  explicit ImageDigestFeed(std::uint64_t file_size);

  // Takes the file's next bytes and hands the parts the digest covers, in file order, to
  // cover(Bytes). Until the headers are in, they are kept and handed over at once when the layout
  // is known. Bytes past file_size are never covered.
  template <typename Cover>
  void Add(Bytes piece, Cover&& cover) {
    while (!piece.empty()) {
      if (!header_done_) {
        const std::size_t taken = TakeHeader(piece);
        piece = piece.subspan(taken);
        if (header_done_ && layout_) {
          CoverFrom(0, header_, cover);
          header_ = {};
        }
        offset_ += taken;
        continue;
      }
      if (layout_) {
        CoverFrom(offset_, piece, cover);
      }
      offset_ += piece.size();
      piece = {};
    }
  }

  // The layout read from the headers: nullopt before they have arrived, or for a file that is not
  // a PE image Setup accepts.
  const std::optional<PeSignatureLayout>& Layout() const { return layout_; }

  // Whether everything the digest covers has been handed over: the file ended at the size it was
  // fed for, with a layout.
  bool Matches(std::uint64_t final_size) const {
    return layout_.has_value() && final_size == size_ && offset_ == size_;
  }

 private:
  // Keeps what the headers still need of the piece; reads the layout once they are complete.
  std::size_t TakeHeader(Bytes piece);

  template <typename Cover>
  void CoverFrom(std::uint64_t at, Bytes bytes, Cover& cover) {
    const std::uint64_t end = at + bytes.size();
    for (; next_range_ < ranges_.size(); ++next_range_) {
      const ByteRange& range = ranges_[next_range_];
      const std::uint64_t from = range.offset > at ? range.offset : at;
      const std::uint64_t to = range.offset + range.size < end ? range.offset + range.size : end;
      if (from >= end) {
        return;  // the range starts in a later piece
      }
      if (to > from) {
        cover(bytes.subspan(static_cast<std::size_t>(from - at),
                            static_cast<std::size_t>(to - from)));
      }
      if (range.offset + range.size > end) {
        return;  // the range goes on in the next piece
      }
    }
  }

  std::uint64_t size_;
  std::uint64_t offset_ = 0;
  std::vector<std::uint8_t> header_;
  bool header_done_ = false;
  std::optional<PeSignatureLayout> layout_;
  std::vector<ByteRange> ranges_;
  std::size_t next_range_ = 0;
};

}  // namespace setup
