// A libjpeg whose arithmetic changed after the program was built: this test program puts its own
// jpeg_write_scanlines in front of the library's, which hands libjpeg every row with its first
// sample one level brighter, as a library that converted colours a little differently would
// see it. The band encoder, which copies the old arithmetic, must then be left aside for the whole
// process, and pictures compressed with spare threads at hand must come out as libjpeg's.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <vector>

#include <jpeglib.h>

#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_kernels.h"
#include "imaging/bitmap.h"
#include "runtime/spare_threads.h"

extern "C" JDIMENSION jpeg_write_scanlines(j_compress_ptr cinfo, JSAMPARRAY scanlines,
                                           JDIMENSION num_lines) {
  using TWriteScanlines = JDIMENSION (*)(j_compress_ptr, JSAMPARRAY, JDIMENSION);
  static const auto library =
      reinterpret_cast<TWriteScanlines>(::dlsym(RTLD_NEXT, "jpeg_write_scanlines"));
  // Copies, so that the caller's picture is not touched.
  const std::size_t row_bytes = static_cast<std::size_t>(cinfo->image_width) *
                                static_cast<std::size_t>(cinfo->input_components);
  std::vector<std::vector<JSAMPLE>> rows(num_lines);
  std::vector<JSAMPROW> pointers(num_lines);
  for (JDIMENSION i = 0; i < num_lines; ++i) {
    rows[i].assign(scanlines[i], scanlines[i] + row_bytes);
    if (rows[i][0] < 255) ++rows[i][0];
    pointers[i] = rows[i].data();
  }
  return library(cinfo, pointers.data(), num_lines);
}

namespace qv {
namespace {

TBitmap Picture() {
  TBitmap picture;
  picture.Allocate(200, 150, TPixelFormat::pf24bit);
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < 3 * picture.Width(); ++x)
      picture.ScanLine(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 3 + (x * y) % 13);
  return picture;
}

std::vector<std::uint8_t> Compress(const TBitmap& picture, const TWorkContext& work = {}) {
  TJPEGImage jpeg;
  jpeg.SetWorkContext(work);
  jpeg.Assign(picture);
  jpeg.SetCompressionQuality(85);
  jpeg.Compress();
  return jpeg.CompressedData();
}

class ChangedLibjpeg : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ChosenVariant(JpegKernelVariants()).needs.Empty())
      GTEST_SKIP() << "the band encoder is not used on this processor in any case";
  }
};

TEST_F(ChangedLibjpeg, TheBandEncoderIsLeftAside) { EXPECT_FALSE(JpegBandEncoderInUse()); }

TEST_F(ChangedLibjpeg, PicturesCompressedWithSpareThreadsAreLibjpegs) {
  const TBitmap picture = Picture();
  const std::vector<std::uint8_t> alone = Compress(picture);
  TSpareThreads spare;
  std::thread helper([&] { spare.Help(); });
  const TWorkContext work(spare);
  while (!SpareThreadAtHand(work)) std::this_thread::yield();  // the helper waits
  const std::vector<std::uint8_t> with_spare_threads = Compress(picture, work);
  spare.Close();
  helper.join();
  EXPECT_EQ(with_spare_threads, alone);
}

}  // namespace
}  // namespace qv
