// Tests of the interface's extensions on the host's side: the metadata block a plug-in hands
// over, a plug-in's reason for a failure, and whether its calls may overlap.
#include "codecs/plugin_host/spi_metadata.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/plugin_host/spi_lib32.h"
#include "codecs/plugin_host/spi_pic_plug.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "runtime/strings.h"
#include "runtime/translation.h"
#include "spi.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A record: kind, length, data, padding to 4 (length_field overrides the length written).
Bytes Record(std::uint32_t kind, const std::string &data, std::int64_t length_field = -1) {
  Bytes record;
  const auto length = static_cast<std::uint32_t>(length_field < 0 ? data.size() : length_field);
  for (std::uint32_t value : {kind, length})
    for (int i = 0; i < 4; ++i) record.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  record.insert(record.end(), data.begin(), data.end());
  record.resize((record.size() + 3) / 4 * 4, 0);
  return record;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes joined;
  for (const Bytes &part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

std::string Text(const Bytes &bytes) { return {bytes.begin(), bytes.end()}; }

const std::string kExif = std::string("MM\0*\0\0\0\x08", 8) + "tags";
const std::string kOrientation6("\x06\0\0\0", 4);

struct TBlockCase {
  std::string name;
  Bytes block;
  std::string exif, icc, xmp;
  int orientation;
};

class SpiMetadataBlock : public ::testing::TestWithParam<TBlockCase> {};

TEST_P(SpiMetadataBlock, ReadsWhatItsRecordsSay) {
  const TBlockCase &c = GetParam();
  TPluginMetadata metadata = ParsePluginMetadata(c.block);
  EXPECT_EQ(Text(metadata.exif), c.exif);
  EXPECT_EQ(Text(metadata.icc_profile), c.icc);
  EXPECT_EQ(Text(metadata.xmp), c.xmp);
  EXPECT_EQ(metadata.orientation, c.orientation);
}

const TBlockCase kBlocks[] = {
    {"Empty", {}, "", "", "", 0},
    {"EveryKindWithPadding",
     Join({Record(SPI_METADATA_ICC, "profile"), Record(SPI_METADATA_EXIF, kExif),
           Record(SPI_METADATA_XMP, "<x/>"), Record(SPI_METADATA_ORIENTATION, kOrientation6)}),
     kExif, "profile", "<x/>", 6},
    {"UnknownKindsAreSkipped",
     Join({Record(SPI_METADATA_KIND('n', 'e', 'w', '!'), "12345"), Record(SPI_METADATA_XMP, "x")}),
     "", "", "x", 0},
    {"TheFirstOfAKindCounts",
     Join({Record(SPI_METADATA_ICC, "first"), Record(SPI_METADATA_ICC, "second")}), "", "first", "",
     0},
    {"ARecordPastTheEndEndsTheBlock",
     Join({Record(SPI_METADATA_XMP, "kept"), Record(SPI_METADATA_ICC, "cut", 4000)}), "", "",
     "kept", 0},
    {"AHeadCutShortIsIgnored", Join({Record(SPI_METADATA_XMP, "kept"), Bytes{1, 2, 3, 4, 5}}), "",
     "", "kept", 0},
    {"AnUnpaddedLastRecordCounts",
     [] {
       Bytes block = Record(SPI_METADATA_ICC, "abcde");
       block.resize(block.size() - 3);
       return block;
     }(),
     "", "abcde", "", 0},
    {"ExifWithoutAByteOrderMarkIsIgnored", Record(SPI_METADATA_EXIF, "Exif\0\0MM\0*"), "", "", "",
     0},
    {"OrientationsOutsideOneToEightAreIgnored",
     Join({Record(SPI_METADATA_ORIENTATION, std::string("\x09\0\0\0", 4))}), "", "", "", 0},
    {"AnOrientationOfTheWrongLengthIsIgnored", Record(SPI_METADATA_ORIENTATION, "\x03"), "", "", "",
     0},
    {"OrientationIsLittleEndian", Record(SPI_METADATA_ORIENTATION, std::string("\0\0\0\x03", 4)),
     "", "", "", 0},
};

INSTANTIATE_TEST_SUITE_P(Blocks, SpiMetadataBlock, ::testing::ValuesIn(kBlocks),
                         [](const auto &test) { return test.param.name; });

// The host with the test plug-in that has the extensions, and one that has none.
class SpiExtensions : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char *name : {"extended", "red"})
      std::filesystem::copy_file(std::string(QV_SPI_TEST_PLUGIN_DIR) + name + ".spi",
                                 folder / (std::string(name) + ".spi"));
    host.LoadPlugins(folder.Path());
    ASSERT_EQ(host.PicPlugs().size(), 2u);
  }
  testing::TempDir folder;
  TSpiLib32 host;
};

TEST_F(SpiExtensions, AreFoundWhereAPluginHasThem) {
  const TPicPlug &extended = *host.PicPlugs()[0];
  const TPicPlug &red = *host.PicPlugs()[1];
  EXPECT_NE(extended.get_picture_metadata, nullptr);
  EXPECT_NE(extended.get_picture_error, nullptr);
  EXPECT_TRUE(extended.concurrent);
  EXPECT_EQ(red.get_picture_metadata, nullptr);
  EXPECT_EQ(red.get_picture_error, nullptr);
  EXPECT_FALSE(red.concurrent);
}

// The accepting plug-in's metadata comes with its picture; a plug-in without GetPictureMetadata
// gives none, and the metadata of an earlier file never stays.
TEST_F(SpiExtensions, MetadataComesWithThePicture) {
  Bytes file = Join({Bytes{'Q', 'V', 'T', 'X', 0, 0, 0, 0}, Record(SPI_METADATA_ICC, "profile"),
                     Record(SPI_METADATA_ORIENTATION, kOrientation6)});
  TBitmap image;
  TPluginMetadata metadata;
  host.LoadFromStream(TMemoryStream(file), image, &metadata);
  ASSERT_EQ(image.Width(), 1);
  EXPECT_EQ(image.ScanLine(0)[2], 10);  // the plug-in's red
  EXPECT_EQ(Text(metadata.icc_profile), "profile");
  EXPECT_EQ(metadata.orientation, 6);

  TBitmap other;
  host.LoadFromStream(TMemoryStream(Bytes{'G', 'I', 'F'}), other, &metadata);  // the red plug-in
  ASSERT_EQ(other.Width(), 1);
  EXPECT_TRUE(metadata.Empty());
}

// A plug-in that says why it failed has its reason in the file's message (and no longer fails
// silently); one that cannot say still aborts silently.
TEST_F(SpiExtensions, AFailureCarriesThePluginsReason) {
  TBitmap image;
  try {
    host.LoadFromStream(TMemoryStream(Bytes{'Q', 'V', 'T', 'X', 'F'}), image);
    FAIL() << "no failure";
  } catch (const EInvalidGraphic &failure) {
    EXPECT_EQ(std::string(failure.what()),
              FormatText(Tr(kPluginFailedText), {"the file asks to fail"}));
  }
  EXPECT_TRUE(image.Empty());

  testing::TempDir silent;
  std::filesystem::copy_file(std::string(QV_SPI_TEST_PLUGIN_DIR) + "fail.spi", silent / "fail.spi");
  TSpiLib32 failing;
  failing.LoadPlugins(silent.Path());
  EXPECT_THROW(failing.LoadFromStream(TMemoryStream(Bytes{'x'}), image), EAbort);
}

}  // namespace
}  // namespace qv
