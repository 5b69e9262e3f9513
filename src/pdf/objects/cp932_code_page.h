// The Japanese Windows code page 932 (Shift-JIS) as a writer code page, converted through iconv.
#pragma once

#include "pdf/objects/code_page.h"

namespace qv {

// Lead bytes 0x81-0x9F and 0xE0-0xFC start a double-byte character; 0xA1-0xDF are single-byte
// half-width katakana.
class TCp932CodePage : public TCodePage {
 public:
  bool HasMultiByte(std::string_view text) const override;
  // Throws Exception when the system has no CP932 converter.
  std::u16string ToUtf16(std::string_view text) const override;
};

}  // namespace qv
