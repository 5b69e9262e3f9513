// The error jump and progress monitor below TJPEGImage: an exception raised in a callback the
// library calls comes back out of the guarded step, not through the library.
#include "codecs/jpeg/jpeg_error_manager.h"

#include <gtest/gtest.h>

#include <vector>

#include <jerror.h>

#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_memory_managers.h"
#include "runtime/stream.h"
#include "support/test_data.h"

namespace qv {
namespace {

struct Session {
  jpeg_decompress_struct cinfo{};
  JpegErrorState errors;
  JpegProgress progress;
  JpegMemorySource source;
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> row;
  int rows_read = 0;
  std::function<void(int)> callback;
  ~Session() { jpeg_destroy_decompress(&cinfo); }
};

void Open(void *context) {
  auto *s = static_cast<Session *>(context);
  jpeg_create_decompress(&s->cinfo);
  s->cinfo.progress = &s->progress.manager;
  SetJpegMemorySource(&s->cinfo, s->source, s->bytes.data(), s->bytes.size());
  jpeg_read_header(&s->cinfo, TRUE);
  jpeg_start_decompress(&s->cinfo);
}

void ReadAll(void *context) {
  auto *s = static_cast<Session *>(context);
  while (s->cinfo.output_scanline < s->cinfo.output_height) {
    JSAMPROW rows[1] = {s->row.data()};
    jpeg_read_scanlines(&s->cinfo, rows, 1);
    ++s->rows_read;
  }
  jpeg_finish_decompress(&s->cinfo);
}

TEST(JpegErrorManager, ExceptionFromTheProgressEventLeavesThroughTheJump) {
  Session s;
  s.bytes = ReadWholeFile(testing::TestDataPath("jpeg/libjpeg-turbo/testimgp.jpg"));
  s.row.resize(227 * 3);
  int calls = 0;
  s.callback = [&](int percent) {
    EXPECT_GE(percent, 0);
    EXPECT_LE(percent, 100);
    if (++calls == 1) {
      // Make the next library call report again at once, then abort on it.
      s.progress.last_report_ms = JpegTickCount() - 1000;
      return;
    }
    Abort();
  };
  s.cinfo.err = InitJpegErrors(s.errors);
  InitJpegProgress(s.progress, s.errors, &s.callback);
  s.progress.last_report_ms = JpegTickCount() - 1000;  // the first call reports
  ASSERT_FALSE(RunJpegStep(s.errors, Open, &s) && RunJpegStep(s.errors, ReadAll, &s));
  EXPECT_EQ(calls, 2);
  EXPECT_LT(s.rows_read, 149);
  EXPECT_THROW(ThrowJpegError(s.errors), EAbort);
}

TEST(JpegErrorManager, WarningsAreIgnoredAndFatalErrorsCarryTheirCode) {
  Session s;
  std::vector<std::uint8_t> whole =
      ReadWholeFile(testing::TestDataPath("jpeg/libjpeg-turbo/testorig.jpg"));
  s.bytes.assign(whole.begin(), whole.begin() + 3000);  // premature end: warnings only
  s.row.resize(227 * 3);
  s.cinfo.err = InitJpegErrors(s.errors);
  InitJpegProgress(s.progress, s.errors, &s.callback);
  ASSERT_TRUE(RunJpegStep(s.errors, Open, &s));
  ASSERT_TRUE(RunJpegStep(s.errors, ReadAll, &s));
  EXPECT_EQ(s.rows_read, 149);

  Session bad;
  bad.bytes = {0xFF, 0xD8, 0xFF, 0xD9};
  bad.cinfo.err = InitJpegErrors(bad.errors);
  InitJpegProgress(bad.progress, bad.errors, &bad.callback);
  ASSERT_FALSE(RunJpegStep(bad.errors, Open, &bad));
  EXPECT_EQ(bad.errors.code, JERR_NO_IMAGE);
  try {
    ThrowJpegError(bad.errors);
  } catch (const EJPEG &e) {
    EXPECT_EQ(e.Message(), "JPEG エラー #" + std::to_string(JERR_NO_IMAGE));
  }
}

}  // namespace
}  // namespace qv
