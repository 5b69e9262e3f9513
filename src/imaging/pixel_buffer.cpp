// The pixel buffer: heap blocks for small pictures, huge-page mappings for large ones.
#include "imaging/pixel_buffer.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace qv {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

#if defined(__SANITIZE_ADDRESS__)
#define QV_PIXEL_BUFFER_HEAP_ONLY 1  // the sanitizer watches heap blocks only
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_PIXEL_BUFFER_HEAP_ONLY 1
#endif
#endif

#if defined(__linux__) && !defined(QV_PIXEL_BUFFER_HEAP_ONLY)
// A private anonymous mapping of length bytes (a multiple of kHugePage) starting on a 2 MiB
// boundary, so every page of it can be a huge page; nullptr when the system refuses.
void* MapAligned(std::size_t length) {
  std::size_t padded = length + kHugePage;
  if (padded < length) return nullptr;
  void* raw = mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  auto start = reinterpret_cast<std::uintptr_t>(raw);
  std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
  // The unaligned head and the rest of the tail go back at once.
  if (aligned > start) munmap(raw, aligned - start);
  std::size_t tail = (start + padded) - (aligned + length);
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
  madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);  // advice: failure is harmless
  return reinterpret_cast<void*>(aligned);
}
#define QV_PIXEL_BUFFER_MAPS 1
#endif

}  // namespace

TPixelBuffer::TPixelBuffer(std::size_t size) {
  if (size == 0) return;
#ifdef QV_PIXEL_BUFFER_MAPS
  if (size >= kLargePixelBuffer && size <= SIZE_MAX - kHugePage) {
    std::size_t length = (size + kHugePage - 1) & ~(kHugePage - 1);
    if (void* p = MapAligned(length)) {
      data_ = static_cast<std::uint8_t*>(p);
      size_ = size;
      mapped_ = length;
      return;
    }
  }
#endif
  void* p = std::calloc(size, 1);
  if (p == nullptr) throw std::bad_alloc();
  data_ = static_cast<std::uint8_t*>(p);
  size_ = size;
}

TPixelBuffer::TPixelBuffer(const TPixelBuffer& other) : TPixelBuffer(other.size_) {
  if (size_ > 0) std::memcpy(data_, other.data_, size_);
}

TPixelBuffer& TPixelBuffer::operator=(const TPixelBuffer& other) {
  if (this != &other) *this = TPixelBuffer(other);
  return *this;
}

TPixelBuffer::TPixelBuffer(TPixelBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

TPixelBuffer& TPixelBuffer::operator=(TPixelBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

TPixelBuffer::~TPixelBuffer() { Release(); }

void TPixelBuffer::Release() noexcept {
#ifdef QV_PIXEL_BUFFER_MAPS
  if (mapped_ > 0) {
    munmap(data_, mapped_);
  } else {
    std::free(data_);
  }
#else
  std::free(data_);
#endif
  data_ = nullptr;
  size_ = 0;
  mapped_ = 0;
}

}  // namespace qv
