// The pixel buffer of a Raster image: zero-filled bytes that large pictures take straight from
// the kernel, on huge pages where the system grants them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// Buffers of at least this many bytes are mapped on their own, 2 MiB aligned and advised for
// transparent huge pages: a fresh page costs one fault when first written, and a 2 MiB page
// saves 511 of them. Fresh mappings are zero already, so they are not cleared again.
inline constexpr std::size_t kLargePixelBuffer = std::size_t{4} << 20;

class TPixelBuffer {
 public:
  TPixelBuffer() noexcept = default;
  // size bytes, every one zero. Throws std::bad_alloc when the memory cannot be had.
  explicit TPixelBuffer(std::size_t size);
  TPixelBuffer(const TPixelBuffer& other);
  TPixelBuffer& operator=(const TPixelBuffer& other);
  TPixelBuffer(TPixelBuffer&& other) noexcept;
  TPixelBuffer& operator=(TPixelBuffer&& other) noexcept;
  ~TPixelBuffer();

  std::uint8_t* data() noexcept { return data_; }
  const std::uint8_t* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }

 private:
  void Release() noexcept;
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mapped_ = 0;  // length of the mapping, 0 for a heap block
};

}  // namespace qv
