// UTF-8 code page: multi-byte test and a strict decoder to UTF-16.
#include "pdf/objects/code_page.h"

#include <cstdint>

namespace qv {

bool TUtf8CodePage::HasMultiByte(std::string_view text) const {
  for (unsigned char byte : text)
    if (byte >= 0x80) return true;
  return false;
}

std::u16string TUtf8CodePage::ToUtf16(std::string_view text) const {
  std::u16string result;
  result.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    auto byte = static_cast<unsigned char>(text[i]);
    int length = byte < 0x80           ? 1
                 : (byte >> 5) == 0x6  ? 2
                 : (byte >> 4) == 0xE  ? 3
                 : (byte >> 3) == 0x1E ? 4
                                       : 0;
    std::uint32_t code = length == 1   ? byte
                         : length == 2 ? (byte & 0x1F)
                         : length == 3 ? (byte & 0x0F)
                                       : (byte & 0x07);
    bool valid = length > 0 && i + length <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
      valid = false;
    if (!valid) {
      result.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      result.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      result.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      result.push_back(static_cast<char16_t>(code));
    }
    i += static_cast<std::size_t>(length);
  }
  return result;
}

const TCodePage &AnsiCodePage() {
  static const TUtf8CodePage code_page;
  return code_page;
}

}  // namespace qv
