// JPEG frame-size reading and the picture copies.
#include "pdf/images/pdf_graphic.h"

#include <algorithm>

#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "runtime/translation.h"

namespace qv {

bool ReadJpegFrameInfo(std::span<const std::uint8_t> bytes, TJpegFrameInfo &info) {
  if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
  std::size_t i = 2;
  while (i + 4 <= bytes.size()) {
    if (bytes[i] != 0xFF) return false;
    std::uint8_t marker = bytes[i + 1];
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      i += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return false;
    std::size_t length = (static_cast<std::size_t>(bytes[i + 2]) << 8) | bytes[i + 3];
    if (length < 2 || i + 2 + length > bytes.size()) return false;
    bool is_frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (is_frame) {
      if (length < 8) return false;
      info.height = (bytes[i + 5] << 8) | bytes[i + 6];
      info.width = (bytes[i + 7] << 8) | bytes[i + 8];
      info.components = bytes[i + 9];
      return info.width > 0 && info.height > 0 && info.components > 0;
    }
    static constexpr std::uint8_t kAdobe[] = {'A', 'd', 'o', 'b', 'e'};
    if (marker == 0xEE && length >= 2 + sizeof kAdobe &&
        std::equal(kAdobe, kAdobe + sizeof kAdobe,
                   bytes.begin() + static_cast<std::ptrdiff_t>(i + 4)))
      info.adobe = true;
    i += 2 + length;
  }
  return false;
}

void TPdfJpegGraphic::ReadFrame(std::span<const std::uint8_t> bytes) {
  TJpegFrameInfo info;
  if (!ReadJpegFrameInfo(bytes, info))
    throw EInvalidGraphic(Tr("JPEG data without a frame header"));
  width_ = info.width;
  height_ = info.height;
  components_ = info.components;
  adobe_inverted_ = info.adobe && info.components == 4;
}

TPdfJpegGraphic::TPdfJpegGraphic(std::vector<std::uint8_t> bytes) {
  ReadFrame(bytes);
  bytes_ = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
}

TPdfJpegGraphic::TPdfJpegGraphic(std::shared_ptr<const std::vector<std::uint8_t>> bytes,
                                 const TJpegFacts &facts) {
  if (!bytes || bytes->empty()) return;  // an empty picture
  if (facts.width <= 0 || facts.height <= 0 || facts.components <= 0)
    throw EInvalidGraphic(Tr("JPEG data without a frame header"));
  width_ = facts.width;
  height_ = facts.height;
  components_ = facts.components;
  adobe_inverted_ = facts.adobe_inverted && facts.components == 4;
  bytes_ = std::move(bytes);
}

std::unique_ptr<TPdfGraphic> TPdfJpegGraphic::Clone() const {
  return std::make_unique<TPdfJpegGraphic>(*this);
}

const std::vector<std::uint8_t> &TPdfJpegGraphic::IccProfile() const {
  static const std::vector<std::uint8_t> kNone;
  return icc_profile_ ? *icc_profile_ : kNone;
}

void TPdfJpegGraphic::SetIccProfile(std::vector<std::uint8_t> profile) {
  icc_profile_ = profile.empty()
                     ? nullptr
                     : std::make_shared<const std::vector<std::uint8_t>>(std::move(profile));
}

std::span<const std::uint8_t> TPdfJpegGraphic::Bytes() const {
  if (!bytes_) return {};
  return *bytes_;
}

void TPdfJpegGraphic::SaveToStream(TStream &stream) const { stream.WriteBuffer(Bytes()); }

}  // namespace qv
