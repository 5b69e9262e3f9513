// Tests of converting a drop several files at a time: the same outputs as one after the other,
// list order for same-named outputs and for inputs that are outputs of earlier files, and the
// first failure in list order.
#include "app/parallel_drop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/batch_run.h"
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

// A width x height 24-bit BMP whose pixels depend on seed.
void SaveBmp(const std::string& path, int width, int height, int seed) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width * 3; ++x) row[x] = static_cast<std::uint8_t>(x * 7 + y * 13 + seed);
  }
  TSafeFileStream out(path);
  WriteBitmap(image, out);
  out.Commit();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(DropDependencies, FilesWaitForEarlierWritersOfWhatTheyTouchAndReadersOfWhatTheyWrite) {
  TempDir dir;
  std::filesystem::create_directory(dir / "sub");
  FakeSettings settings;
  settings.file_format = 2;  // PNG beside the input
  std::vector<std::string> files = {
      dir / "a.bmp",         // 0 writes a.png
      dir / "b.bmp",         // 1 writes b.png: independent
      dir / "sub/../a.jpg",  // 2 writes a.png again (same file, other spelling): waits for 0
      dir / "a.png",         // 3 reads and rewrites a.png: waits for 2, the last writer
      dir / "c.png",         // 4 rewrites c.png in place
      dir / "c.bmp",         // 5 writes c.png, which 4 reads and writes: waits for 4
      dir / "b.png",         // 6 reads b.png (written by 1)
      dir / "b.jpg",         // 7 writes b.png, read by 6 and written by 6 and 1
  };
  std::vector<std::vector<int>> deps = DropDependencies(files, settings, false);
  std::vector<std::vector<int>> expected = {{}, {}, {0}, {2}, {}, {4}, {1}, {6}};
  EXPECT_EQ(deps, expected);

  // Into one folder, files of the same name in different folders share their output.
  settings.output_mode = 1;
  settings.dst_dir = dir / "out";
  deps = DropDependencies({dir / "a.bmp", dir / "sub/a.bmp", dir / "x.bmp"}, settings, false);
  EXPECT_EQ(deps, (std::vector<std::vector<int>>{{}, {0}, {}}));

  // A PDF drop writes no image files.
  EXPECT_EQ(DropDependencies(files, settings, true), std::vector<std::vector<int>>(files.size()));
}

class ParallelDropTest : public ::testing::Test {
 protected:
  // The drop converted with jobs at once; the failure message, or "" when it succeeded.
  std::string Drop(const std::vector<std::string>& files, int jobs) {
    TBatchRun batch(settings, host, host);
    batch.SetJobs(jobs);
    try {
      batch.FileDrop(files);
    } catch (const std::exception& e) {
      return e.what();
    }
    return {};
  }
  TempDir dir;
  FakeSettings settings;
  FakeHost host;
};

TEST_F(ParallelDropTest, OutputsAreThoseOfOneFileAfterTheOther) {
  std::vector<std::string> files;
  for (int i = 0; i < 12; ++i) {
    files.push_back(dir / ("in" + std::to_string(i) + ".bmp"));
    SaveBmp(files.back(), 40 + i * 3, 30 + i, i);
  }
  settings.output_mode = 1;
  settings.target_res = 2;  // 96x96
  settings.resample_mode = 3;
  for (int format : {1, 2}) {
    settings.file_format = format;
    const char* ext = format == 1 ? ".jpg" : ".png";
    settings.dst_dir = dir / "one";
    ASSERT_EQ(Drop(files, 1), "");
    settings.dst_dir = dir / "four";
    ASSERT_EQ(Drop(files, 4), "");
    for (int i = 0; i < 12; ++i) {
      std::string name = "/in" + std::to_string(i) + ext;
      std::string one = ReadAll(dir / ("one" + name));
      EXPECT_FALSE(one.empty());
      EXPECT_EQ(one, ReadAll(dir / ("four" + name))) << name;
    }
  }
  // Every file was started once, whatever the order the workers took them in.
  std::vector<std::string> started = host.started;
  std::sort(started.begin(), started.end());
  EXPECT_EQ(started.size(), 48u);
  EXPECT_EQ(host.cursor, TCursor::crDefault);
  EXPECT_FALSE(host.progress_visible);
}

TEST_F(ParallelDropTest, SameNamedOutputsFollowThePassOverAndOverwriteRulesInListOrder) {
  // Many pairs of inputs of one output name; the pictures differ in size, so the winner shows.
  std::vector<std::string> files;
  for (int i = 0; i < 8; ++i) {
    std::string folder = dir / ("f" + std::to_string(i));
    std::filesystem::create_directory(folder);
    files.push_back(folder + "/p" + std::to_string(i % 4) + ".bmp");
    SaveBmp(files.back(), 10 + i, 5, i);
  }
  settings.output_mode = 1;
  settings.file_format = 0;
  for (int overwrite : {0, 1}) {
    settings.over_write = overwrite;
    settings.dst_dir = dir / ("out" + std::to_string(overwrite));
    ASSERT_EQ(Drop(files, 3), "");
    for (int name = 0; name < 4; ++name) {
      // Pass over: the first of each name in list order; overwrite: the last.
      int winner = overwrite ? name + 4 : name;
      EXPECT_EQ(ReadAll(settings.dst_dir + "/p" + std::to_string(name) + ".bmp"),
                ReadAll(files[static_cast<std::size_t>(winner)]))
          << "overwrite " << overwrite << ", p" << name;
    }
  }
}

TEST_F(ParallelDropTest, AnInputWrittenByAnEarlierFileIsReadAfterIt) {
  // a.bmp becomes a.png beside it; a.png, later in the list and not there before the drop, is
  // then read and written again in place. Read too early it would be passed over as missing.
  SaveBmp(dir / "a.bmp", 7, 3, 1);
  settings.over_write = 1;
  settings.file_format = 2;
  std::vector<std::string> files = {dir / "a.bmp", dir / "a.png"};
  for (int i = 0; i < 6; ++i) {
    files.push_back(dir / ("pad" + std::to_string(i) + ".bmp"));
    SaveBmp(files.back(), 30, 30, i);
  }
  ASSERT_EQ(Drop(files, 2), "");
  EXPECT_EQ(std::count(host.started.begin(), host.started.end(), dir / "a.png"), 1);
  EXPECT_EQ(host.started.size(), 8u);
}

TEST_F(ParallelDropTest, TheFirstFailureInListOrderEndsTheDropAfterEveryFileBeforeIt) {
  std::vector<std::string> files;
  for (int i = 0; i < 10; ++i) {
    files.push_back(dir / ("f" + std::to_string(i) + ".bmp"));
    SaveBmp(files.back(), 200, 200, i);  // slow enough for later files to run alongside
  }
  // File 6 fails first in list order; file 8 fails with another message and, being small,
  // fails sooner in time.
  std::ofstream(files[6]) << std::string(5000, 'x');
  files[8] = dir / "bad.png";
  std::ofstream(files[8]) << "not a png";
  settings.output_mode = 1;
  settings.dst_dir = dir / "out";
  settings.file_format = 0;
  settings.target_res = 3;
  settings.resample_mode = 3;
  std::string one = Drop(files, 1);
  std::filesystem::remove_all(dir / "out");
  std::vector<std::string> started_one = host.started;
  host.started.clear();
  std::string three = Drop(files, 3);
  EXPECT_EQ(three, one);
  EXPECT_EQ(three.rfind("ビットマップイメージが不正です", 0), 0u) << three;
  for (int i = 0; i < 6; ++i)
    EXPECT_TRUE(std::filesystem::exists(dir / ("out/f" + std::to_string(i) + ".bmp"))) << i;
  // The host was last told of the failed file, so it names that one.
  ASSERT_FALSE(host.started.empty());
  EXPECT_EQ(host.started.back(), files[6]);
  EXPECT_FALSE(host.progress_visible);
  EXPECT_EQ(host.caption, "Drop Files Here.");
}

}  // namespace
}  // namespace qv
