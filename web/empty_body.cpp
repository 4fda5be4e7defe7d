#include "empty_body.h"

namespace web {

void EmptyBodyTest::Feed(const std::byte* data, std::size_t size) {
  for (std::size_t i = 0; i < size && !hasText_; ++i) {
    const auto space = ((offset_ + i) % 2 == 0) ? std::byte{0x20} : std::byte{0x00};
    hasText_ = data[i] != space;
  }
  offset_ += size;
}

}  // namespace web
