// JPEG metadata segments and EXIF blocks: what is found, what is written, and how damage is met.
#include "codecs/jpeg/jpeg_metadata.h"

#include <gtest/gtest.h>

#include "codecs/jpeg/exif_block.h"
#include "codecs/jpeg/jpeg_image.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A small baseline JPEG as the encoder writes it (SOI, the JFIF APP0 segment, tables, scan).
Bytes SmallJpeg() {
  TBitmap image;
  image.Allocate(9, 5, TPixelFormat::pf24bit);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 27; ++x) image.ScanLine(y)[x] = static_cast<std::uint8_t>(20 * x + y);
  TJPEGImage jpeg;
  jpeg.Assign(image);
  jpeg.Compress();
  return jpeg.CompressedData();
}

// A big-endian TIFF block: IFD0 with Orientation (SHORT) and a pointer to an Exif IFD holding
// PixelXDimension (LONG) and PixelYDimension (SHORT).
Bytes ExifBlock(int orientation, std::uint32_t width, std::uint16_t height) {
  Bytes b = {'M', 'M', 0, 42, 0, 0, 0, 8};
  auto u16 = [&](unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
  };
  auto u32 = [&](std::uint32_t v) {
    u16(v >> 16);
    u16(v & 0xFFFF);
  };
  u16(2);  // IFD0 at 8: two entries, 8 + 2 + 24 + 4 = 38
  u16(0x0112), u16(3), u32(1), u16(static_cast<unsigned>(orientation)), u16(0);
  u16(0x8769), u16(4), u32(1), u32(38);
  u32(0);
  u16(2);  // Exif IFD at 38
  u16(0xA002), u16(4), u32(1), u32(width);
  u16(0xA003), u16(3), u32(1), u16(height), u16(0);
  u32(0);
  return b;
}

Bytes Profile(std::size_t size) {
  Bytes profile(size);
  for (std::size_t i = 0; i < size; ++i) profile[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return profile;
}

TEST(JpegMetadataTest, InsertedSegmentsReadBackAfterTheJfifMarkerAndTheStreamStillDecodes) {
  Bytes jpeg = SmallJpeg();
  ASSERT_EQ(jpeg[3], 0xE0);                                     // the encoder's JFIF marker
  TJpegMetadata metadata{ExifBlock(6, 9, 5), Profile(150000)};  // the profile in 3 pieces
  Bytes with = InsertJpegMetadata(jpeg, metadata);
  // SOI and the JFIF segment lead unchanged; EXIF follows at once.
  const std::size_t jfif_end = 4 + static_cast<std::size_t>(jpeg[4] << 8 | jpeg[5]);
  EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.begin() + jfif_end, with.begin()));
  EXPECT_EQ(with[jfif_end + 1], 0xE1);
  EXPECT_EQ(with.size(), jpeg.size() + (4 + 6 + metadata.exif.size()) + 3 * (4 + 14) + 150000);

  TJpegMetadata read = ReadJpegMetadata(with);
  EXPECT_EQ(read.exif, metadata.exif);
  EXPECT_EQ(read.icc_profile, metadata.icc_profile);
  EXPECT_EQ(ExifOrientation(read.exif), 6);

  TJPEGImage decoded;
  TMemoryStream stream(with);
  decoded.LoadFromStream(stream);
  EXPECT_EQ(decoded.Bitmap().Width(), 9);
  // Nothing to keep: the stream comes back as it was.
  EXPECT_EQ(InsertJpegMetadata(jpeg, {}), jpeg);
  EXPECT_TRUE(ReadJpegMetadata(jpeg).exif.empty());
}

TEST(JpegMetadataTest, DamageAndLimitsLeaveOutWhatCannotBeTrusted) {
  Bytes jpeg = SmallJpeg();
  // A block too big for one segment is left out; so is a profile of more than 255 pieces.
  TJpegMetadata too_big{Bytes(65528, 1), Profile(256 * 65519)};
  EXPECT_EQ(InsertJpegMetadata(jpeg, too_big), jpeg);
  TJpegMetadata largest{Bytes(65527, 1), {}};
  EXPECT_EQ(ReadJpegMetadata(InsertJpegMetadata(jpeg, largest)).exif, largest.exif);

  // A profile with a piece missing is dropped; the EXIF block is still found.
  Bytes with = InsertJpegMetadata(jpeg, {ExifBlock(3, 1, 1), Profile(70000)});
  TJpegMetadata whole = ReadJpegMetadata(with);
  ASSERT_EQ(whole.icc_profile.size(), 70000u);
  // Pieces 1 and 2 follow the EXIF segment; renumber piece 2 as a second piece 1.
  std::size_t second = 0;
  for (std::size_t i = 2, found = 0; i + 16 < with.size(); ++i)
    if (with[i] == 0xFF && with[i + 1] == 0xE2 && ++found == 2) second = i;
  ASSERT_NE(second, 0u);
  with[second + 4 + 12] = 1;
  EXPECT_TRUE(ReadJpegMetadata(with).icc_profile.empty());
  EXPECT_EQ(ExifOrientation(ReadJpegMetadata(with).exif), 3);

  // A stream cut inside the segments gives what came before the cut, and no JPEG gives nothing.
  Bytes cut(with.begin(), with.begin() + static_cast<std::ptrdiff_t>(second + 100));
  EXPECT_EQ(ReadJpegMetadata(cut).exif, whole.exif);
  EXPECT_TRUE(ReadJpegMetadata(cut).icc_profile.empty());
  Bytes not_jpeg = {'G', 'I', 'F', '8', '9', 'a'};
  EXPECT_TRUE(ReadJpegMetadata(not_jpeg).exif.empty());
  EXPECT_EQ(InsertJpegMetadata(not_jpeg, whole), not_jpeg);
}

TEST(ExifBlockTest, OrientationIsReadAndResetAndPixelDimensionsFollowTheSize) {
  for (int o = 1; o <= 8; ++o) EXPECT_EQ(ExifOrientation(ExifBlock(o, 10, 10)), o);
  EXPECT_EQ(ExifOrientation(ExifBlock(0, 10, 10)), 0);
  EXPECT_EQ(ExifOrientation(ExifBlock(9, 10, 10)), 0);
  EXPECT_EQ(ExifOrientation({}), 0);
  EXPECT_EQ(ExifOrientation(Bytes{'M', 'M', 0, 42, 0xFF, 0xFF, 0xFF, 0xFF}), 0);

  Bytes edited = EditExif(ExifBlock(6, 4000, 3000), true, 300, 400);
  EXPECT_EQ(ExifOrientation(edited), 1);
  // The dimensions are found in the edited block as big-endian values of their own formats:
  // LONG 300 for PixelXDimension and SHORT 400 for PixelYDimension.
  auto holds = [&](Bytes pattern) {
    return std::search(edited.begin(), edited.end(), pattern.begin(), pattern.end()) !=
           edited.end();
  };
  EXPECT_TRUE(holds({0xA0, 0x02, 0, 4, 0, 0, 0, 1, 0, 0, 0x01, 0x2C}));
  EXPECT_TRUE(holds({0xA0, 0x03, 0, 3, 0, 0, 0, 1, 0x01, 0x90}));
  // Without the reset the orientation stays; an unreadable block is dropped only when the
  // orientation had to be reset.
  EXPECT_EQ(ExifOrientation(EditExif(ExifBlock(6, 1, 1), false, 5, 5)), 6);
  Bytes garbage = {'I', 'I', 42, 0, 1, 2, 3};
  EXPECT_EQ(EditExif(garbage, false, 5, 5), garbage);
  EXPECT_TRUE(EditExif(garbage, true, 5, 5).empty());
}

}  // namespace
}  // namespace qv
