// TPdfFont and TPdfType1Font: the fonts of a document, created by alias.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "pdf/objects/pdf_dictionary_wrapper.h"

namespace qv {

class TPdfXref;

class TPdfFont : public TPdfDictionaryWrapper {
 public:
  explicit TPdfFont(std::string name) : name_(std::move(name)) {}
  // The alias the font was created under.
  const std::string &Name() const { return name_; }
  // Advance width (thousandths of the size) of the byte at position index of text; 0 here.
  virtual int GetCharWidth(const std::string &text, std::size_t index) const;

 private:
  std::string name_;
};

class TPdfType1Font : public TPdfFont {
 public:
  using TPdfFont::TPdfFont;
  // Also fills the width table: all entries "MissingWidth" (or 0), then FirstChar + i from the
  // i-th element of "Widths".
  void SetData(TPdfDictionary *data) override;
  int GetCharWidth(const std::string &text, std::size_t index) const override;
  std::uint8_t FirstChar() const { return first_char_; }
  std::uint8_t LastChar() const { return last_char_; }
  std::uint16_t Width(std::uint8_t code) const { return widths_[code]; }

 private:
  std::uint8_t first_char_ = 0;
  std::uint8_t last_char_ = 0;
  std::array<std::uint16_t, 256> widths_{};
};

// Creates the font registered under the alias: its dictionary ("Type", "Subtype", "Encoding",
// "FirstChar", "LastChar", "BaseFont", internal "Widths") is added to the table. An alias that is
// not registered fails with EClassNotFound "クラス %s が見つかりません".
std::unique_ptr<TPdfFont> CreateStandardFont(TPdfXref &xref, const std::string &alias);

}  // namespace qv
