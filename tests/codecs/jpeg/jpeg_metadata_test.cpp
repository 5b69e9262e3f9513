// JPEG metadata segments and EXIF blocks: what is found, what is written, and how damage is met.
#include "codecs/jpeg/jpeg_metadata.h"

#include <gtest/gtest.h>

#include "codecs/jpeg/exif_block.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/xmp_packet.h"
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

  const Bytes block = ExifBlock(6, 4000, 3000);
  const Bytes edited =
      EditExif(block, {.reset_orientation = true, .width = 300, .height = 400}).block;
  EXPECT_EQ(ExifOrientation(edited), 1);
  // Edited in place: only the orientation and the two dimensions' values differ, as big-endian
  // values of their own formats (LONG 300, SHORT 400).
  ASSERT_EQ(edited.size(), block.size());
  Bytes expected = block;
  expected[19] = 1;  // the low byte of IFD0's first entry's value
  std::copy_n(Bytes{0, 0, 0x01, 0x2C}.begin(), 4, expected.begin() + 40 + 8);
  std::copy_n(Bytes{0x01, 0x90}.begin(), 2, expected.begin() + 52 + 8);
  EXPECT_EQ(edited, expected);
  // Without the reset the orientation stays.
  EXPECT_EQ(ExifOrientation(EditExif(block, {.width = 5, .height = 5}).block), 6);
}

// A little-endian block whose Exif IFD and IFD1 are IFD0 itself and whose Interoperability IFD
// loops back to it too (as some writers leave them), with a maker note that points into itself.
Bytes LoopingBlock() {
  Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto u16 = [&](unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  auto u32 = [&](std::uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  // IFD0 at 8: Orientation, Exif pointer to 8, MakerNote (UNDEFINED, 12 bytes at 80), Interop
  // pointer to 8 (read as the Exif IFD's), and IFD1 at 8: 8 + 2 + 48 + 4 = 62.
  u16(4);
  u16(0x0112), u16(3), u32(1), u16(8), u16(0);
  u16(0x8769), u16(4), u32(1), u32(8);
  u16(0x927C), u16(7), u32(12), u32(80);
  u16(0xA005), u16(4), u32(1), u32(8);
  u32(8);
  b.resize(80, 0xEE);
  const Bytes note = {'N', 'o', 't', 'e', 80, 0, 0, 0, 1, 2, 3, 4};
  b.insert(b.end(), note.begin(), note.end());
  return b;
}

TEST(ExifBlockTest, LinksThatReadAnIfdTwiceAreCutAndNothingElseMoves) {
  const Bytes block = LoopingBlock();
  const TEditedExif edited = EditExif(block, {.reset_orientation = true, .width = 2, .height = 3});
  ASSERT_EQ(edited.left_out, nullptr);
  ASSERT_EQ(edited.block.size(), block.size());
  EXPECT_EQ(ExifOrientation(edited.block), 1);
  // IFD0 keeps Orientation and the maker note; the Exif pointer to itself is gone, so the
  // Interoperability pointer that was read as the Exif IFD's stays; the link to IFD1 is cut.
  const Bytes& e = edited.block;
  EXPECT_EQ(e[8], 3);
  EXPECT_EQ((Bytes{e[10], e[11]}), (Bytes{0x12, 0x01}));
  EXPECT_EQ((Bytes{e[22], e[23]}), (Bytes{0x7C, 0x92}));
  EXPECT_EQ((Bytes{e[34], e[35]}), (Bytes{0x05, 0xA0}));
  EXPECT_EQ((Bytes{e[46], e[47], e[48], e[49]}), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Bytes(e.begin() + 50, e.begin() + 62), Bytes(12, 0));
  // The maker note and every byte after IFD0 are where they were.
  EXPECT_TRUE(std::equal(e.begin() + 62, e.end(), block.begin() + 62));

  // A thumbnail's link is cut on request, and otherwise left as it was.
  Bytes thumbnail = ExifBlock(3, 1, 1);
  thumbnail[37] = static_cast<std::uint8_t>(thumbnail.size());  // IFD0's link to IFD1, here:
  const Bytes ifd1 = {0, 1, 0x01, 0x03, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
  thumbnail.insert(thumbnail.end(), ifd1.begin(), ifd1.end());  // Compression 6, no link
  const Bytes cut = EditExif(thumbnail, {.drop_thumbnail = true}).block;
  EXPECT_EQ(Bytes(cut.begin() + 34, cut.begin() + 38), Bytes(4, 0));
  EXPECT_TRUE(std::equal(cut.begin() + 38, cut.end(), thumbnail.begin() + 38));
  EXPECT_EQ(EditExif(thumbnail, {}).block, thumbnail);
}

TEST(ExifBlockTest, BlocksThatCannotGoAreLeftOutWithTheReason) {
  EXPECT_STREQ(EditExif(Bytes{'I', 'I', 42, 0, 1, 2, 3}, {}).left_out, kExifNotTiff);
  EXPECT_STREQ(EditExif(Bytes(200, 'x'), {}).left_out, kExifNotTiff);
  Bytes huge = ExifBlock(1, 1, 1);
  huge.resize(kMaxExifBytes + 1);
  EXPECT_STREQ(EditExif(huge, {}).left_out, kExifTooLarge);
  huge.resize(kMaxExifBytes);
  EXPECT_EQ(EditExif(huge, {}).left_out, nullptr);
  EXPECT_TRUE(EditExif(Bytes(200, 'x'), {}).block.empty());
}

TEST(JpegMetadataTest, XmpAndIptcTravelWithThePictureAndXmpTurnsUprightInPlace) {
  const std::string packet =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF><rdf:Description "
      "xmlns:t=\"http://ns.adobe.com/tiff/1.0/\" t:Orientation=\"6\">"
      "<t:Orientation>8</t:Orientation><dc:subject>tiff:Orientation=\"3\"</dc:subject>"
      "</rdf:Description></rdf:RDF></x:xmpmeta>";
  TJpegMetadata metadata;
  metadata.xmp.assign(packet.begin(), packet.end());
  metadata.xmp_extension = {Bytes(40, 7), Bytes(60, 9)};
  metadata.photoshop = {Bytes{'8', 'B', 'I', 'M', 4, 4, 0, 0}};
  const TJpegMetadata read = ReadJpegMetadata(InsertJpegMetadata(SmallJpeg(), metadata));
  EXPECT_EQ(read.xmp, metadata.xmp);
  EXPECT_EQ(read.xmp_extension, metadata.xmp_extension);
  EXPECT_EQ(read.photoshop, metadata.photoshop);

  // Both forms of the property of the prefix bound to the TIFF namespace, not another's text.
  Bytes xmp = metadata.xmp;
  ASSERT_TRUE(ResetXmpOrientation(xmp));
  std::string turned(xmp.begin(), xmp.end());
  EXPECT_NE(turned.find("t:Orientation=\"1\""), std::string::npos);
  EXPECT_NE(turned.find("<t:Orientation>1<"), std::string::npos);
  EXPECT_NE(turned.find("tiff:Orientation=\"3\""), std::string::npos);
  EXPECT_EQ(turned.size(), packet.size());
  Bytes none = {'<', 'x', '/', '>'};
  EXPECT_FALSE(ResetXmpOrientation(none));
}

}  // namespace
}  // namespace qv
