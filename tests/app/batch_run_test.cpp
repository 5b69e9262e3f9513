// Tests of the batch run: order, passing over, live settings, restore on failure, queued drops.
#include "app/batch_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "app/fakes.h"
#include "codecs/bmp_writer.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::FakeHost;
using testing::FakeSettings;
using testing::TempDir;

void SaveBmp(const std::string& path, int width) {
  TBitmap image;
  image.Allocate(width, 2, TPixelFormat::pf24bit);
  TSafeFileStream out(path);
  WriteBitmap(image, out);
  out.Commit();
}

class BatchRunTest : public ::testing::Test {
 protected:
  BatchRunTest() {
    settings.output_mode = 1;
    settings.dst_dir = dir / "out";
  }
  bool Written(const std::string& name) { return std::filesystem::exists(dir / ("out/" + name)); }

  TempDir dir;
  FakeSettings settings;
  FakeHost host;
  TBatchRun batch{settings, host, host};
};

TEST_F(BatchRunTest, ConvertsFilesInOrderAndPassesOverFoldersMissingNamesAndFifos) {
  SaveBmp(dir / "a.bmp", 1);
  SaveBmp(dir / "b.bmp", 2);
  std::filesystem::create_directory(dir / "folder.bmp");
  ASSERT_EQ(::mkfifo((dir / "pipe.bmp").c_str(), 0600), 0);
  host.caption = "Drop Files Here.";
  std::vector<std::string> captions;
  host.on_process_messages = [&] { captions.push_back(host.caption); };

  batch.FileDrop(
      {dir / "b.bmp", dir / "folder.bmp", dir / "gone.bmp", dir / "pipe.bmp", dir / "a.bmp"});

  EXPECT_EQ(host.started, (std::vector<std::string>{dir / "b.bmp", dir / "a.bmp"}));
  EXPECT_TRUE(Written("a.bmp"));
  EXPECT_TRUE(Written("b.bmp"));
  EXPECT_EQ(captions, std::vector<std::string>(5, "Please wait..."));
  EXPECT_EQ(host.caption, "Drop Files Here.");
  EXPECT_EQ(host.progress_max, 5);
  EXPECT_EQ(host.progress_position, 0);
  EXPECT_FALSE(host.progress_visible);
  EXPECT_EQ(host.cursor, TCursor::crDefault);
}

TEST_F(BatchRunTest, ASettingChangedBetweenFilesTakesEffectAtTheNextFile) {
  SaveBmp(dir / "a.bmp", 1);
  SaveBmp(dir / "b.bmp", 1);
  int pumps = 0;
  host.on_process_messages = [&] {
    if (++pumps == 2) settings.dst_dir = dir / "out2";
  };
  batch.FileDrop({dir / "a.bmp", dir / "b.bmp"});
  EXPECT_TRUE(Written("a.bmp"));
  EXPECT_FALSE(Written("b.bmp"));
  EXPECT_TRUE(std::filesystem::exists(dir / "out2/b.bmp"));
}

TEST_F(BatchRunTest, CancelledPdfQuestionConvertsNothing) {
  SaveBmp(dir / "a.bmp", 1);
  settings.file_format = 3;
  host.pdf_answer = std::nullopt;
  batch.FileDrop({dir / "a.bmp", dir / "a.bmp"});
  EXPECT_EQ(host.pdf_questions, 1);
  EXPECT_TRUE(host.started.empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));
  EXPECT_EQ(host.caption, "Drop Files Here.");
}

TEST_F(BatchRunTest, AFailureEndsTheDropAndStillRestoresTheWindow) {
  SaveBmp(dir / "a.bmp", 1);
  std::ofstream(dir / "bad.bmp") << "XX definitely not a bitmap";
  SaveBmp(dir / "c.bmp", 1);
  EXPECT_THROW(batch.FileDrop({dir / "a.bmp", dir / "bad.bmp", dir / "c.bmp"}), Exception);
  EXPECT_TRUE(Written("a.bmp"));
  EXPECT_FALSE(Written("c.bmp"));
  EXPECT_EQ(host.caption, "Drop Files Here.");
  EXPECT_FALSE(host.progress_visible);
  EXPECT_EQ(host.cursor, TCursor::crDefault);
  EXPECT_FALSE(batch.Running());

  // The next drop works normally and remembers the real caption.
  batch.FileDrop({dir / "c.bmp"});
  EXPECT_TRUE(Written("c.bmp"));
  EXPECT_EQ(host.caption, "Drop Files Here.");
}

TEST_F(BatchRunTest, ADropArrivingDuringADropIsQueuedAndRunAfterIt) {
  SaveBmp(dir / "a.bmp", 1);
  SaveBmp(dir / "b.bmp", 1);
  SaveBmp(dir / "c.bmp", 1);
  bool dropped = false;
  host.on_process_messages = [&] {
    if (!dropped) {
      dropped = true;
      batch.FileDrop({dir / "c.bmp"});  // returns at once: queued
      EXPECT_TRUE(host.started.empty());
    }
  };
  batch.FileDrop({dir / "a.bmp", dir / "b.bmp"});
  EXPECT_EQ(host.started, (std::vector<std::string>{dir / "a.bmp", dir / "b.bmp", dir / "c.bmp"}));
  EXPECT_EQ(host.caption, "Drop Files Here.");
}

TEST_F(BatchRunTest, AFailingQueuedDropIsReportedAndTheFirstFailureRethrown) {
  std::ofstream(dir / "bad.bmp") << "XX not a bitmap";
  SaveBmp(dir / "b.bmp", 1);
  bool dropped = false;
  host.on_process_messages = [&] {
    if (!dropped) {
      dropped = true;
      batch.FileDrop({dir / "bad.bmp"});
      batch.FileDrop({dir / "b.bmp"});
    }
  };
  EXPECT_THROW(batch.FileDrop({dir / "bad.bmp"}), Exception);
  EXPECT_EQ(host.errors.size(), 1u);  // the queued bad drop
  EXPECT_TRUE(Written("b.bmp"));      // the queued good drop still ran
}

}  // namespace
}  // namespace qv
