// The size limits every reader enforces before it allocates.
#include "imaging/image_limits.h"

#include <cstdlib>

#include "runtime/exceptions.h"
#include "runtime/messages.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

namespace {

[[noreturn]] void TooLarge() {
  throw EOutOfMemory(
      // TRANSLATORS: "Out of memory", the pixel limit, the byte limit.
      FormatText(Tr("%s (image too large: the limit is %s pixels and %s bytes per image)"),
                 {Tr(messages::kOutOfMemory), IntToStr(static_cast<std::int64_t>(kMaxImagePixels)),
                  IntToStr(static_cast<std::int64_t>(kMaxDecodedBytes))}));
}

}  // namespace

void CheckImageSize(std::int64_t width, std::int64_t height, int bits_per_pixel) {
  std::uint64_t w = static_cast<std::uint64_t>(width < 0 ? -width : width);
  std::uint64_t h = static_cast<std::uint64_t>(height < 0 ? -height : height);
  if (w > kMaxImagePixels || h > kMaxImagePixels) TooLarge();
  if (w * h > kMaxImagePixels) TooLarge();
  std::uint64_t bits = bits_per_pixel > 0 ? static_cast<std::uint64_t>(bits_per_pixel) : 32;
  std::uint64_t row = ((w * bits + 31) / 32) * 4;
  if (h != 0 && row > kMaxDecodedBytes / h) TooLarge();
}

void CheckDecodedBytes(std::uint64_t bytes) {
  if (bytes > kMaxDecodedBytes) TooLarge();
}

}  // namespace qv
