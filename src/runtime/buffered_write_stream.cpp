// TBufferedWriteStream.
#include "runtime/buffered_write_stream.h"

#include <cstring>

namespace qv {

TBufferedWriteStream::TBufferedWriteStream(TStream& target, std::size_t capacity)
    : target_(target), capacity_(capacity == 0 ? 1 : capacity) {
  buffer_.reserve(capacity_);
}

std::size_t TBufferedWriteStream::Read(void* buffer, std::size_t count) {
  Flush();
  std::size_t got = target_.Read(buffer, count);
  target_position_ = -1;
  return got;
}

std::size_t TBufferedWriteStream::Write(const void* buffer, std::size_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  if (buffer_.size() + count > capacity_) {
    Flush();
    if (count >= capacity_) {
      if (target_position_ < 0) target_position_ = target_.Position();
      target_.WriteBuffer(bytes, count);
      target_position_ += static_cast<std::int64_t>(count);
      return count;
    }
  }
  buffer_.insert(buffer_.end(), bytes, bytes + count);
  return count;
}

std::int64_t TBufferedWriteStream::Seek(std::int64_t offset, SeekOrigin origin) {
  if (origin == SeekOrigin::kCurrent && offset == 0) {
    if (target_position_ < 0) target_position_ = target_.Position();
    return target_position_ + static_cast<std::int64_t>(buffer_.size());
  }
  Flush();
  target_position_ = target_.Seek(offset, origin);
  return target_position_;
}

void TBufferedWriteStream::Flush() {
  if (buffer_.empty()) return;
  if (target_position_ < 0) target_position_ = target_.Position();
  try {
    target_.WriteBuffer(buffer_.data(), buffer_.size());
  } catch (...) {
    buffer_.clear();  // a failing target is not fed the same bytes again
    target_position_ = -1;
    throw;
  }
  target_position_ += static_cast<std::int64_t>(buffer_.size());
  buffer_.clear();
}

}  // namespace qv
