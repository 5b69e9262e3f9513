// A write buffer in front of another stream, for writers that emit many small pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/stream.h"

namespace qv {

// Collects written bytes and passes them on in large blocks. Position and Seek account for the
// bytes held; a seek or a read first passes them on. Flush() must be called before the target
// is finished (the destructor drops what was not flushed: it cannot report a failure).
class TBufferedWriteStream : public TStream {
 public:
  static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 16;

  explicit TBufferedWriteStream(TStream& target, std::size_t capacity = kDefaultCapacity);
  TBufferedWriteStream(const TBufferedWriteStream&) = delete;
  TBufferedWriteStream& operator=(const TBufferedWriteStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  // Takes every byte (large blocks go straight through once the buffer is passed on); failures
  // of the target surface here or at Flush() with the target's exception.
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;

  // Passes every held byte on to the target.
  void Flush();

 private:
  TStream& target_;
  std::vector<std::uint8_t> buffer_;
  std::size_t capacity_;
  std::int64_t target_position_ = -1;  // the target's position, asked once
};

}  // namespace qv
