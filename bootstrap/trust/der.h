// DER, read element by element: the one reader of the signature's and the certificates' encodings.
// Definite lengths only (what Authenticode and X.509 sign is DER throughout); every length is
// checked against the bytes that are there, so a hostile encoding is refused, never read past.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace setup::der {

using Bytes = std::span<const std::uint8_t>;

struct Element {
  std::uint8_t tag = 0;
  Bytes content;  // the value octets
  Bytes whole;    // tag, length and value
};

inline constexpr std::uint8_t kInteger = 0x02;
inline constexpr std::uint8_t kOctetString = 0x04;
inline constexpr std::uint8_t kObjectId = 0x06;
inline constexpr std::uint8_t kSequence = 0x30;
inline constexpr std::uint8_t kSet = 0x31;
inline constexpr std::uint8_t kContext0 = 0xA0;  // [0], constructed
inline constexpr std::uint8_t kContext1 = 0xA1;  // [1], constructed

// Reads the elements of a content one after the other.
class Reader {
 public:
  explicit Reader(Bytes data) : data_(data) {}

  bool AtEnd() const { return at_ == data_.size(); }

  std::optional<Element> Next() {
    const std::size_t start = at_;
    if (data_.size() - at_ < 2) {
      return std::nullopt;
    }
    const std::uint8_t tag = data_[at_];
    // High tag numbers (a second tag byte) appear nowhere in what Setup reads.
    if ((tag & 0x1F) == 0x1F) {
      return std::nullopt;
    }
    std::size_t length = data_[at_ + 1];
    std::size_t at = at_ + 2;
    if (length & 0x80) {
      const std::size_t count = length & 0x7F;
      // No indefinite length (0x80), and no length beyond 32 bits.
      if (count == 0 || count > 4 || data_.size() - at < count) {
        return std::nullopt;
      }
      length = 0;
      for (std::size_t i = 0; i < count; ++i) {
        length = (length << 8) | data_[at + i];
      }
      at += count;
    }
    if (data_.size() - at < length) {
      return std::nullopt;
    }
    at_ = at + length;
    return Element{tag, data_.subspan(at, length), data_.subspan(start, at_ - start)};
  }

  // The next element, only when it has that tag.
  std::optional<Element> Next(std::uint8_t tag) {
    const std::size_t start = at_;
    std::optional<Element> element = Next();
    if (!element || element->tag != tag) {
      at_ = start;
      return std::nullopt;
    }
    return element;
  }

 private:
  Bytes data_;
  std::size_t at_ = 0;
};

template <std::size_t N>
bool IsObjectId(const Element& element, const std::array<std::uint8_t, N>& oid) {
  return element.tag == kObjectId && std::ranges::equal(element.content, oid);
}

}  // namespace setup::der
