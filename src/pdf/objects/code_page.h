// The code page of the writer's byte strings: the multi-byte test and the conversion to UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// How the bytes of a text are read as characters.
class TCodePage {
 public:
  virtual ~TCodePage() = default;
  // True when any byte of text is a lead or trail byte of a multi-byte character.
  virtual bool HasMultiByte(std::string_view text) const = 0;
  // The text as UTF-16 code units; bytes that form no character become U+FFFD.
  virtual std::u16string ToUtf16(std::string_view text) const = 0;
};

// UTF-8, the locale charset of the systems the program runs on: every byte above 0x7F is part
// of a multi-byte character.
class TUtf8CodePage : public TCodePage {
 public:
  bool HasMultiByte(std::string_view text) const override;
  std::u16string ToUtf16(std::string_view text) const override;
};

// The code page the writer's texts are in (UTF-8).
const TCodePage &AnsiCodePage();

}  // namespace qv
