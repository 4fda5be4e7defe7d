#pragma once
#include <cstddef>
#include <cstdint>

namespace web {

// A body counts as empty when, read as 16-bit text (bytes in pairs, low byte
// first), nothing but spaces U+0020 is in it: every even byte is 0x20 and
// every odd byte 0x00. Fed piece by piece, so it works on a streamed body.
class EmptyBodyTest {
 public:
  void Feed(const std::byte* data, std::size_t size);
  bool Empty() const { return !hasText_; }

 private:
  std::uint64_t offset_ = 0;
  bool hasText_ = false;
};

}  // namespace web
