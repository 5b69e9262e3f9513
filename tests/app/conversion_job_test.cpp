// Tests of the conversion job: naming, reader choice, skips, resize dispatch and safe writes.
#include "app/conversion_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/fakes.h"
#include "app/image_io.h"
#include "app/image_steps.h"
#include "app/pdf_steps.h"
#include "codecs/bmp/bmp_reader.h"
#include "codecs/bmp/bmp_writer.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/png/png_object.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "support/many_scan_jpeg.h"
#include "support/temp_dir.h"
#include "support/test_data.h"
#include "support/test_names.h"

namespace qv {
namespace {

using testing::FakeHost;
using testing::FakeSettings;
using testing::TempDir;

struct ReaderCase {
  const char* name;
  int position;
};

class ReaderChoice : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderChoice, ExtensionPicksPositionInTheList) {
  EXPECT_EQ(ReaderPosition(std::string("/in/") + GetParam().name), GetParam().position)
      << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, ReaderChoice,
    ::testing::Values(ReaderCase{"a.bmp", 1}, ReaderCase{"a.b", 1}, ReaderCase{"a.bm", 1},
                      ReaderCase{"a.BMP", 1}, ReaderCase{"a.", 1}, ReaderCase{"a.p", 5},
                      ReaderCase{"a.pn", 5}, ReaderCase{"a.png", 5}, ReaderCase{"a.PnG", 5},
                      ReaderCase{"a.j", 9}, ReaderCase{"a.jp", 9}, ReaderCase{"a.jpg", 9},
                      ReaderCase{"a.JPG", 9}, ReaderCase{"a.jpe", 13}, ReaderCase{"a.jpeg", 13},
                      ReaderCase{"a.pd", 18}, ReaderCase{"a.pdf", 18}, ReaderCase{"a.gif", 0},
                      ReaderCase{"a.tif", 0}, ReaderCase{"scan", 0}, ReaderCase{"a.mp", 0},
                      ReaderCase{"dir.bmp/scan", 0}, ReaderCase{"x.tar.bmp", 1},
                      ReaderCase{"stereo.mpo", 9}, ReaderCase{"stereo.MPO", 9}),
    [](const auto& test_info) {
      const auto& c = test_info.param;
      return testing::NameOf(c.name);
    });

TEST(OutputNaming, BesideTheInputOrInTheChosenFolder) {
  // The stored indexes, as the job reads them.
  auto path = [](const std::string& file_name, int output_mode, const std::string& dst_dir,
                 int file_format) {
    return OutputPath(file_name, OutputPlaceOf(output_mode), dst_dir, OutputFormatOf(file_format));
  };
  EXPECT_EQ(path("/p/photo.jpeg", 0, "", 1), "/p/photo.jpg");
  EXPECT_EQ(path("/p/photo.jpg", 0, "", 1), "/p/photo.jpg");
  EXPECT_EQ(path("/p/archive.tar.bmp", 0, "", 2), "/p/archive.tar.png");
  EXPECT_EQ(path("/p/scan", 0, "", 2), "/p/scan.png");
  EXPECT_EQ(path("/p/a.b/scan", 0, "", 0), "/p/a.b/scan.bmp");
  EXPECT_EQ(path("/p/x.png", 1, "/out", 3), "/out/x.pdf");
  EXPECT_EQ(path("/p/x.png", 1, "/out/", 0), "/out/x.bmp");
  // Into a folder without a folder: refused, never "/".
  EXPECT_THROW(path("/p/x.png", 1, "", 0), Exception);
  // No item chosen (a hand-edited file) writes beside the input, and as BMP.
  EXPECT_EQ(path("/p/x.png", -1, "/out", 0), "/p/x.bmp");
  EXPECT_EQ(path("/p/x.png", 0, "", -1), "/p/x.bmp");
}

// A 24-bit image with a distinct colour per pixel.
TBitmap Pattern(int width, int height) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(x * 40);
      row[3 * x + 1] = static_cast<std::uint8_t>(y * 40);
      row[3 * x + 2] = static_cast<std::uint8_t>(x + y);
    }
  }
  return image;
}

void SaveBmp(const TBitmap& image, const std::string& path) {
  TSafeFileStream out(path);
  WriteBitmap(image, out);
  out.Commit();
}

TBitmap LoadBmp(const std::string& path) {
  TBitmap image;
  TFileStream in(path);
  ReadBitmap(image, in);
  return image;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
    return false;
  std::size_t bytes = static_cast<std::size_t>(a.Width()) * a.BitsPerPixel() / 8;
  for (int y = 0; y < a.Height(); ++y)
    if (!std::equal(a.ScanLine(y), a.ScanLine(y) + bytes, b.ScanLine(y))) return false;
  return true;
}

class ConversionJobTest : public ::testing::Test {
 protected:
  TempDir dir;
  FakeSettings settings;
  FakeHost host;
  TConversionJob job{settings, host};
};

TEST_F(ConversionJobTest, ExistingOutputIsPassedOverWithoutReading) {
  WriteText(dir / "in.bmp", "not a bitmap at all");
  WriteText(dir / "in.png", "old");
  settings.file_format = 2;
  job.ConvertFile(dir / "in.bmp");  // would fail if it were read
  EXPECT_EQ(FileText(dir / "in.png"), "old");
  EXPECT_EQ(host.cursor, TCursor::crDefault);
}

TEST_F(ConversionJobTest, SameFormatBesideTheInputIsSkippedUnlessOverwriting) {
  SaveBmp(Pattern(3, 2), dir / "photo.bmp");
  std::string before = FileText(dir / "photo.bmp");
  job.ConvertFile(dir / "photo.bmp");
  EXPECT_EQ(FileText(dir / "photo.bmp"), before);

  // In-place re-encode: the file is replaced by a complete new one, no temporary left behind.
  settings.over_write = 1;
  settings.target_res = 1;      // 320 x 200 from the fake host
  settings.resample_mode = -1;  // crop/extend: no resampler involved
  job.ConvertFile(dir / "photo.bmp");
  TBitmap after = LoadBmp(dir / "photo.bmp");
  EXPECT_EQ(after.Width(), 320);
  EXPECT_EQ(after.Height(), 200);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST_F(ConversionJobTest, BmpToBmpInAnotherFolderKeepsPixels) {
  TBitmap source = Pattern(5, 3);
  SaveBmp(source, dir / "a.bmp");
  settings.output_mode = 1;
  settings.dst_dir = dir / "out/deeper/still";
  job.ConvertFile(dir / "a.bmp");
  EXPECT_TRUE(SamePixels(LoadBmp(dir / "out/deeper/still/a.bmp"), source));
}

// BMP, PNG and JPEG inputs go through the resize as they are read, toned sepia as the rows come
// out of it; the files written are those of reading whole, resizing and toning.
TEST_F(ConversionJobTest, PicturesResizedWhileReadAreWrittenAsThoseResizedWhole) {
  const TBitmap picture = Pattern(203, 157);
  SaveBmp(picture, dir / "b.bmp");
  TPNGObject png;
  png.AssignBitmap(picture);
  png.SaveToFile(dir / "p.png");
  WriteText(dir / "j.jpg", FileText(testing::TestDataPath("jpeg/libjpeg-turbo/testorig.jpg")));
  settings.output_mode = 1;
  settings.dst_dir = dir / "out";
  settings.over_write = 1;
  settings.custom_size = true;
  for (bool sepia : {false, true}) {
    for (int mode = 0; mode <= 5; ++mode) {
      for (auto [width, height] : {std::pair{61, 47}, {250, 301}}) {
        settings.sepia = sepia;
        settings.resample_mode = mode;
        settings.custom_width = width;
        settings.custom_height = height;
        for (const char* name : {"b", "p", "j"}) {
          const std::string input = dir / (std::string(name) + (name[0] == 'b'   ? ".bmp"
                                                                : name[0] == 'p' ? ".png"
                                                                                 : ".jpg"));
          ASSERT_EQ(job.ConvertFile(input), TJobOutcome::kConverted) << input;
          TBitmap expected;
          if (name[0] == 'b') ReadBmpFile(input, expected);
          if (name[0] == 'p') ReadPngFile(input, expected);
          if (name[0] == 'j') ReadJpegFile(input, expected);
          ResizeBitmap(expected, width, height, ResampleMethodOf(mode));
          if (sepia) SepiaStep(expected);
          TMemoryStream bytes;
          WriteBmp(expected, bytes);
          EXPECT_EQ(FileText(dir / ("out/" + std::string(name) + ".bmp")),
                    std::string(bytes.Bytes().begin(), bytes.Bytes().end()))
              << input << " sepia " << sepia << " mode " << mode << " to " << width << "x"
              << height;
        }
      }
    }
  }
}

TEST_F(ConversionJobTest, OutputFolderThatIsAFileGivesAnErrorNamingIt) {
  SaveBmp(Pattern(2, 2), dir / "a.bmp");
  WriteText(dir / "blocker", "x");
  settings.output_mode = 1;
  settings.dst_dir = dir / "blocker/sub";
  try {
    job.ConvertFile(dir / "a.bmp");
    FAIL() << "expected EFCreateError";
  } catch (const EFCreateError& e) {
    EXPECT_NE(e.Message().find(dir / "blocker"), std::string::npos) << e.Message();
  }
}

TEST_F(ConversionJobTest, EmptyInputIsSkippedSilently) {
  WriteText(dir / "empty.bmp", "");
  job.ConvertFile(dir / "empty.bmp");
  EXPECT_FALSE(std::filesystem::exists(dir / "empty.bmp.bmp"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  EXPECT_EQ(host.cursor, TCursor::crDefault);
}

TEST_F(ConversionJobTest, UnlistedExtensionsGoToThePlugInHost) {
  WriteText(dir / "scan", "whatever");
  WriteText(dir / "pic.gif", "whatever");
  WriteText(dir / "doc.pdf", "whatever");
  settings.file_format = 2;
  job.ConvertFile(dir / "scan");
  job.ConvertFile(dir / "pic.gif");
  job.ConvertFile(dir / "doc.pdf");
  EXPECT_EQ(host.plugin_reads,
            (std::vector<std::string>{dir / "scan", dir / "pic.gif", dir / "doc.pdf"}));
  // Nothing accepted them: nothing written.
  EXPECT_FALSE(std::filesystem::exists(dir / "scan.png"));
}

TEST_F(ConversionJobTest, ResizeFailureIsReportedAndTheFileWrittenUnresized) {
  TBitmap source = Pattern(4, 3);
  SaveBmp(source, dir / "a.bmp");
  struct HugeDisplay : FakeHost {
    std::pair<int, int> PrimaryDisplaySize() override { return {200000, 200000}; }
  } huge;
  TConversionJob big_job(settings, huge);
  settings.target_res = 1;
  settings.resample_mode = -1;
  settings.output_mode = 1;
  settings.dst_dir = dir / "out";
  big_job.ConvertFile(dir / "a.bmp");
  ASSERT_EQ(huge.messages.size(), 1u);
  EXPECT_EQ(huge.messages[0],
            "エラー|対象の画像サイズが大きすぎます。\r\n申し訳ありませんが縮小できません。");
  EXPECT_TRUE(SamePixels(LoadBmp(dir / "out/a.bmp"), source));
  // Written, but not as asked: it counts as a warning (the message box has said it, once).
  EXPECT_EQ(big_job.Warnings(), std::vector<std::string>{Tr(kResizeErrorText)});
  EXPECT_TRUE(huge.warnings.empty());
}

TEST_F(ConversionJobTest, FailureLeavesNoPartialOutputAndTheOldFileUntouched) {
  SaveBmp(Pattern(2, 2), dir / "a.bmp");
  WriteText(dir / "a.png", "old output");
  WriteText(dir / "broken.bmp", "BM but broken");
  settings.over_write = 1;
  settings.file_format = 2;
  EXPECT_THROW(job.ConvertFile(dir / "broken.bmp"), Exception);
  EXPECT_EQ(FileText(dir / "a.png"), "old output");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3);
}

// The JPEG file without its quantisation tables: the header reads, decoding fails.
std::string JpegWithoutQuantTables() {
  std::string bytes = FileText(testing::TestDataPath("jpeg/libjpeg-turbo/testorig.jpg"));
  std::string out = bytes.substr(0, 2);
  std::size_t i = 2;
  while (i + 4 <= bytes.size()) {
    auto marker = static_cast<unsigned char>(bytes[i + 1]);
    if (marker == 0xDA) break;  // the scan and what follows stay
    std::size_t length =
        static_cast<unsigned char>(bytes[i + 2]) << 8 | static_cast<unsigned char>(bytes[i + 3]);
    if (marker != 0xDB) out += bytes.substr(i, 2 + length);
    i += 2 + length;
  }
  return out + bytes.substr(i);
}

TEST_F(ConversionJobTest, AJpegPageEmbeddingTheInputReadsOnlyItsHeader) {
  std::string bytes = JpegWithoutQuantTables();
  WriteText(dir / "nodqt.jpg", bytes);
  settings.file_format = 3;
  TPReportPtr report = CreatePdfWriter();
  BeginPdfDrop(*report, dir / "out.pdf");
  job.SetPdfMode(true, report.get());

  // Never decoded, so the missing tables go unnoticed and the bytes go in unchanged.
  EXPECT_EQ(job.ConvertFile(dir / "nodqt.jpg"), TJobOutcome::kConverted);
  EXPECT_EQ(job.PagesAdded(), 1);

  // Every step that needs pixels decodes, and the broken stream fails there.
  for (int step = 0; step < 3; ++step) {
    settings.target_res = step == 0 ? 2 : 0;
    settings.sepia = step == 1;
    settings.reduce256 = step == 2;
    EXPECT_THROW(job.ConvertFile(dir / "nodqt.jpg"), EJPEG) << step;
  }
  EXPECT_EQ(job.PagesAdded(), 1);

  // A stream of two components has no colour space: refused as decoding would refuse it. The
  // frame and the scan header lose their third component.
  std::string two = FileText(testing::TestDataPath("jpeg/libjpeg-turbo/testorig.jpg"));
  settings.reduce256 = false;
  std::size_t sof = two.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  ASSERT_EQ(two[sof + 9], 3);
  two[sof + 3] = 14, two[sof + 9] = 2;
  two.erase(sof + 16, 3);
  std::size_t sos = two.find("\xFF\xDA");
  ASSERT_NE(sos, std::string::npos);
  two[sos + 3] = 10, two[sos + 4] = 2;
  two.erase(sos + 9, 2);
  WriteText(dir / "two.jpg", two);
  EXPECT_THROW(job.ConvertFile(dir / "two.jpg"), EJPEG);

  // The size limits and the scan limit decoding applies hold for the bytes embedded unread: a
  // small file declaring 65500 x 65500, and one of 101 scans.
  std::string huge = FileText(testing::TestDataPath("jpeg/libjpeg-turbo/testorig.jpg"));
  sof = huge.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  for (int at : {5, 7}) huge[sof + at] = '\xFF', huge[sof + at + 1] = '\xDC';
  WriteText(dir / "huge.jpg", huge);
  EXPECT_THROW(job.ConvertFile(dir / "huge.jpg"), EOutOfMemory);
  std::vector<std::uint8_t> scans = testing::MakeManyScanJpeg(16, 16, kMaxJpegScans + 1);
  WriteText(dir / "scans.jpg", std::string(scans.begin(), scans.end()));
  try {
    job.ConvertFile(dir / "scans.jpg");
    ADD_FAILURE() << "a JPEG of too many scans was embedded";
  } catch (const EJPEG& error) {
    EXPECT_STREQ(error.what(), kTooManyScans);
  }

  EXPECT_EQ(EndPdfDrop(*report), 1);
  std::string pdf = FileText(dir / "out.pdf");
  EXPECT_NE(pdf.find(bytes), std::string::npos);
  EXPECT_NE(pdf.find("/Width 227"), std::string::npos);
  EXPECT_NE(pdf.find("/Height 149"), std::string::npos);
}

// A multi-picture file (a stereo camera's: two JPEGs one after the other) is read as its first
// picture, and a page embeds that picture's bytes alone.
TEST_F(ConversionJobTest, AMultiPictureFileIsReadAsItsFirstPicture) {
  auto jpeg_bytes = [](const TBitmap& picture) {
    TJPEGImage jpeg;
    jpeg.Assign(picture);
    jpeg.Compress();
    return std::string(jpeg.CompressedData().begin(), jpeg.CompressedData().end());
  };
  const std::string left = jpeg_bytes(Pattern(24, 16)), right = jpeg_bytes(Pattern(16, 24));
  WriteText(dir / "left.jpg", left);
  WriteText(dir / "stereo.mpo", left + right);
  settings.output_mode = 1;
  settings.dst_dir = dir / "out";
  EXPECT_EQ(job.ConvertFile(dir / "left.jpg"), TJobOutcome::kConverted);
  EXPECT_EQ(job.ConvertFile(dir / "stereo.mpo"), TJobOutcome::kConverted);
  EXPECT_TRUE(host.plugin_reads.empty());
  EXPECT_EQ(FileText(dir / "out/stereo.bmp"), FileText(dir / "out/left.bmp"));

  settings.file_format = 3;
  TPReportPtr report = CreatePdfWriter();
  BeginPdfDrop(*report, dir / "out.pdf");
  job.SetPdfMode(true, report.get());
  EXPECT_EQ(job.ConvertFile(dir / "stereo.mpo"), TJobOutcome::kConverted);
  settings.reduce256 = true;  // decoded, and the file's own picture embedded all the same
  EXPECT_EQ(job.ConvertFile(dir / "stereo.mpo"), TJobOutcome::kConverted);
  EXPECT_EQ(EndPdfDrop(*report), 2);
  const std::string pdf = FileText(dir / "out.pdf");
  const std::size_t first = pdf.find(left);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(pdf.find(left, first + 1), std::string::npos);
  EXPECT_EQ(pdf.find(right), std::string::npos);
}

// A JPEG file of the picture at quality 95.
void SaveJpeg(const TBitmap& image, const std::string& path) {
  TJPEGImage jpeg;
  jpeg.SetCompressionQuality(95);
  jpeg.Assign(image);
  jpeg.SaveToFile(path);
}

// A smooth picture with some detail, as a photo has.
TBitmap Photo(int width, int height) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(128 + 100 * std::sin(x * 0.01 + y * 0.002));
      row[3 * x + 1] = static_cast<std::uint8_t>((x + 2 * y) / 16);
      row[3 * x + 2] = static_cast<std::uint8_t>(128 + 60 * std::cos(y * 0.013) + (x * y) % 7);
    }
  }
  return image;
}

TEST(FastShrink, DecodesAtTheSmallestScaleLeavingTwiceTheTargetSize) {
  TempDir dir;
  SaveJpeg(Photo(2001, 1601), dir / "in.jpg");
  struct Case {
    int width, height, want_width, want_height;
  };
  for (const Case& c : {Case{125, 100, 251, 201},    // 1/8, sizes rounded up
                        Case{126, 100, 501, 401},    // 1/8 leaves 251 < 252: 1/4
                        Case{250, 200, 501, 401},    // 1/4 exactly
                        Case{400, 300, 1001, 801},   // 1/2
                        Case{640, 480, 2001, 1601},  // not even 1/2 leaves twice: full size
                        Case{96, 401, 2001, 1601}}) {
    // The scale chosen, checked by what the library decodes at it.
    TJPEGImage jpeg;
    jpeg.LoadFromFile(dir / "in.jpg");
    jpeg.SetScale(JpegScaleFor(2001, 1601, c.width, c.height));
    EXPECT_EQ(jpeg.Bitmap().Width(), c.want_width) << c.width << "x" << c.height;
    EXPECT_EQ(jpeg.Bitmap().Height(), c.want_height) << c.width << "x" << c.height;
  }
}

TEST_F(ConversionJobTest, FastShrinkStaysCloseToTheExactPathAndPngFiltersShrinkFiles) {
  SaveJpeg(Photo(1600, 1200), dir / "photo.jpg");
  settings.output_mode = 1;
  settings.resample_mode = 3;
  settings.target_res = 2;  // 96x96: decoded at 1/8
  settings.dst_dir = dir / "exact";
  job.ConvertFile(dir / "photo.jpg");
  settings.fast_shrink = true;
  settings.dst_dir = dir / "fast";
  job.ConvertFile(dir / "photo.jpg");
  TBitmap exact = LoadBmp(dir / "exact/photo.bmp"), fast = LoadBmp(dir / "fast/photo.bmp");
  ASSERT_EQ(fast.Width(), 96);
  ASSERT_EQ(fast.Height(), 96);
  long difference = 0;
  for (int y = 0; y < 96; ++y)
    for (int i = 0; i < 96 * 3; ++i)
      difference += std::abs(exact.ScanLine(y)[i] - fast.ScanLine(y)[i]);
  double mean = static_cast<double>(difference) / (96 * 96 * 3);
  EXPECT_GT(mean, 0.0);  // a different decode
  EXPECT_LT(mean, 2.0);

  // All five filters: a smaller PNG of the same pixels.
  settings.fast_shrink = false;
  settings.target_res = 0;
  settings.file_format = 2;
  SaveBmp(Photo(300, 200), dir / "photo.bmp");
  settings.dst_dir = dir / "sub";
  job.ConvertFile(dir / "photo.bmp");
  settings.png_filters = 1;
  settings.dst_dir = dir / "all";
  job.ConvertFile(dir / "photo.bmp");
  EXPECT_LT(std::filesystem::file_size(dir / "all/photo.png") * 100,
            std::filesystem::file_size(dir / "sub/photo.png") * 97);
  TBitmap sub, all;
  ReadPngFile(dir / "sub/photo.png", sub);
  ReadPngFile(dir / "all/photo.png", all);
  EXPECT_TRUE(SamePixels(sub, all));
  EXPECT_TRUE(SamePixels(sub, Photo(300, 200)));

  // Where the filter of the smallest sum per row loses to Sub on every row (deflate finds the
  // rows of this pattern repeated under Sub), all five filters are never larger.
  TBitmap pattern;
  pattern.Allocate(256, 256, TPixelFormat::pf24bit);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      std::uint8_t* pixel = pattern.ScanLine(y) + 3 * x;
      pixel[0] = static_cast<std::uint8_t>(x + 2 * y), pixel[1] = static_cast<std::uint8_t>(x * y);
      pixel[2] = static_cast<std::uint8_t>(x ^ y);
    }
  }
  SaveBmp(pattern, dir / "pattern.bmp");
  job.ConvertFile(dir / "pattern.bmp");
  settings.png_filters = 0;
  settings.dst_dir = dir / "sub";
  job.ConvertFile(dir / "pattern.bmp");
  EXPECT_LE(std::filesystem::file_size(dir / "all/pattern.png"),
            std::filesystem::file_size(dir / "sub/pattern.png"));
  ReadPngFile(dir / "all/pattern.png", all);
  EXPECT_TRUE(SamePixels(all, pattern));
}

TEST_F(ConversionJobTest, OutOfRangeFormatWritesBmp) {
  SaveBmp(Pattern(2, 2), dir / "a.bmp");
  settings.file_format = -1;
  settings.output_mode = 1;
  settings.dst_dir = dir / "out";
  job.ConvertFile(dir / "a.bmp");
  EXPECT_TRUE(std::filesystem::exists(dir / "out/a.bmp"));
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

std::string PngSuite(const std::string& name) {
  return testing::TestDataPath("pngsuite/" + std::string(name));
}

TEST(PngThroughTheJob, SingleColourTransparencySurvivesAConversion) {
  testing::TempDir dir;
  testing::FakeSettings settings;
  testing::FakeHost host;
  settings.file_format = 2;
  settings.output_mode = 1;
  settings.dst_dir = dir / "out";
  TConversionJob job(settings, host);
  job.ConvertFile(PngSuite("tbrn2c08.png"));  // RGB with one transparent colour
  job.ConvertFile(PngSuite("basn2c08.png"));  // RGB, opaque
  std::string transparent = FileText(dir / "out/tbrn2c08.png");
  std::string opaque = FileText(dir / "out/basn2c08.png");
  ASSERT_FALSE(transparent.empty());
  ASSERT_FALSE(opaque.empty());
  EXPECT_NE(transparent.find("tRNS"), std::string::npos);
  EXPECT_EQ(opaque.find("tRNS"), std::string::npos);
}

// The bytes of a file of the JPEG samples.
std::string JpegSampleBytes(const std::string& name) {
  std::ifstream in(testing::TestDataPath("jpeg/" + std::string(name)), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(ConversionJobTest, AJpegCompletedOnlyWithLibraryWarningsIsConvertedAndTheHostWarned) {
  std::string bytes = JpegSampleBytes("libjpeg-turbo/testorig.jpg");
  ASSERT_GT(bytes.size(), 3000u);
  std::string corrupt = bytes;
  std::size_t scan = corrupt.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  corrupt.replace(scan + 2000, 4,
                  std::string("\xFF\xD3\x00\x00", 4));  // a stray restart marker in the scan
  std::ofstream(dir / "clean.jpg", std::ios::binary) << bytes;
  std::ofstream(dir / "cut.jpg", std::ios::binary) << bytes.substr(0, 3000);
  std::ofstream(dir / "corrupt.jpg", std::ios::binary) << corrupt;
  settings.output_mode = 1;
  settings.dst_dir = dir / "out";

  EXPECT_EQ(job.ConvertFile(dir / "clean.jpg"), TJobOutcome::kConverted);
  EXPECT_TRUE(host.warnings.empty());
  EXPECT_TRUE(job.Warnings().empty());

  EXPECT_EQ(job.ConvertFile(dir / "cut.jpg"), TJobOutcome::kConverted);
  EXPECT_EQ(LoadBmp(dir / "out/cut.bmp").Height(), 149) << "converted whole, missing rows grey";
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0], dir / "cut.jpg" +
                                  "|画像が不完全な可能性があります (JPEG ライブラリ: Premature "
                                  "end of JPEG file)");
  EXPECT_EQ(job.Warnings().size(), 1u);

  EXPECT_EQ(job.ConvertFile(dir / "corrupt.jpg"), TJobOutcome::kConverted);
  ASSERT_EQ(host.warnings.size(), 2u);
  EXPECT_EQ(
      host.warnings[1].rfind(dir / "corrupt.jpg" + "|" + Tr(kIncompletePictureWarning) + " (", 0),
      0u)
      << host.warnings[1];
  EXPECT_NE(host.warnings[1].find("Corrupt JPEG data"), std::string::npos) << host.warnings[1];

  // The warnings belong to the file they came with.
  EXPECT_EQ(job.ConvertFile(dir / "clean.jpg"), TJobOutcome::kOutputExists);
  EXPECT_TRUE(job.Warnings().empty());
}

}  // namespace
}  // namespace qv
