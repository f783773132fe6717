// One byte stream handed over in the pieces a network layer might deliver it in, for the readers
// whose result must not depend on how the bytes happen to arrive.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace setup {

// The stream's bytes: position-dependent, so a piece written twice or out of place shows.
inline std::string StreamBytes(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<char>(i % 251);
  }
  return bytes;
}

// How the stream arrives: the sizes of its pieces in order, adding up to its length.
struct Delivery {
  std::string name;
  std::vector<std::size_t> pieces;
};

// The same stream delivered whole, one byte at a time, in pieces of `block` bytes, in random sizes
// from fixed seeds, and cut in two at each of `cuts` that lies inside it.
inline std::vector<Delivery> Deliveries(std::size_t length, std::size_t block,
                                        const std::vector<std::int64_t>& cuts) {
  const auto in_pieces_of = [length](std::size_t size) {
    std::vector<std::size_t> pieces;
    for (std::size_t at = 0; at < length; at += size) {
      pieces.push_back(std::min(size, length - at));
    }
    return pieces;
  };
  std::vector<Delivery> deliveries = {
      {"whole", in_pieces_of(std::max<std::size_t>(length, 1))},
      {"one byte at a time", in_pieces_of(1)},
      {"pieces of " + std::to_string(block), in_pieces_of(block)},
  };
  // Small pieces, and pieces larger than a reader asks for, so that one is handed over in parts.
  const std::pair<unsigned, std::size_t> randoms[] = {
      {1, 64}, {2, block}, {3, 2 * block + 1}, {20240601, block + 7}, {77, 3}};
  for (const auto& [seed, largest] : randoms) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> size(1, largest);
    Delivery delivery{"random, seed " + std::to_string(seed), {}};
    for (std::size_t at = 0; at < length;) {
      delivery.pieces.push_back(std::min(size(random), length - at));
      at += delivery.pieces.back();
    }
    deliveries.push_back(std::move(delivery));
  }
  for (const std::int64_t cut : cuts) {
    if (cut > 0 && static_cast<std::uint64_t>(cut) < length) {
      const auto first = static_cast<std::size_t>(cut);
      deliveries.push_back({"cut at " + std::to_string(cut), {first, length - first}});
    }
  }
  return deliveries;
}

// A reader over the stream: each call gives at most what it asks for and never more than is left
// of the piece that has arrived; 0 once the stream has been handed over.
class SplitStream {
 public:
  SplitStream(const std::string& bytes, std::vector<std::size_t> pieces)
      : bytes_(bytes), pieces_(std::move(pieces)) {}

  std::size_t operator()(char* buffer, std::size_t size) {
    ++calls_;
    if (ended_) {
      asked_after_end_ = true;
    }
    while (piece_ < pieces_.size() && left_in_piece_ == 0) {
      left_in_piece_ = pieces_[piece_++];
    }
    const std::size_t count = std::min(size, left_in_piece_);
    bytes_.copy(buffer, count, delivered_);
    delivered_ += count;
    left_in_piece_ -= count;
    ended_ = count == 0;
    return count;
  }

  std::size_t Calls() const { return calls_; }
  std::size_t Delivered() const { return delivered_; }
  // Whether the reader was called again after it had given 0.
  bool AskedAfterEnd() const { return asked_after_end_; }

 private:
  const std::string& bytes_;
  std::vector<std::size_t> pieces_;
  std::size_t piece_ = 0;
  std::size_t left_in_piece_ = 0;
  std::size_t delivered_ = 0;
  std::size_t calls_ = 0;
  bool ended_ = false;
  bool asked_after_end_ = false;
};

}  // namespace setup
