// Dropped folders (their trees walked, mirrored below DstDir or converted beside the inputs),
// output names from a pattern, and outputs that keep their input's date.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "app/batch_run.h"
#include "app/drop_names.h"
#include "app/fakes.h"
#include "app/name_pattern.h"
#include "codecs/bmp/bmp_writer.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::FakeHost;
using testing::FakeSettings;
using testing::TempDir;
namespace fs = std::filesystem;

void SaveBmp(const std::string& path, int width, int height = 2) {
  fs::create_directories(fs::path(path).parent_path());
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  TSafeFileStream out(path);
  WriteBitmap(image, out);
  out.Commit();
}

void WriteText(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << text;
}

// Every file below root, by its path from root, with its bytes.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files[fs::relative(entry.path(), root).string()] =
        std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

std::vector<std::string> Paths(TDropNames& names) {
  std::vector<std::string> paths;
  for (int i = 0; std::optional<TDropName> name = names.At(i); ++i)
    paths.push_back(name->path + (name->error.empty() ? "" : " !") +
                    (name->not_a_file ? " ?" : ""));
  return paths;
}

// A tree with what a real picture folder holds: subfolders, hidden files and folders, a link
// loop, a link to a file, a FIFO, a file no reader takes, and a folder that cannot be read.
class FolderDropTest : public ::testing::Test {
 protected:
  FolderDropTest() {
    SaveBmp(dir / "photos/b.bmp", 2);
    SaveBmp(dir / "photos/a.bmp", 1);
    SaveBmp(dir / "photos/2020/z.bmp", 3);
    SaveBmp(dir / "photos/2020/deeper/y.bmp", 4);
    SaveBmp(dir / "photos/.hidden.bmp", 5);
    SaveBmp(dir / "photos/.cache/x.bmp", 6);
    WriteText(dir / "photos/notes.txt", "not a picture");
    fs::create_directory_symlink(dir / "photos", dir / "photos/2020/loop");
    fs::create_symlink(dir / "photos/a.bmp", dir / "photos/link.bmp");
    ::mkfifo((dir / "photos/pipe").c_str(), 0600);
    settings.recurse = true;
  }
  TempDir dir;
  FakeSettings settings;
  FakeHost host;
};

TEST_F(FolderDropTest,
       AFolderStandsForItsFilesDepthFirstFilesBeforeFoldersLinksToFoldersNotFollowed) {
  TDropNames names({dir / "photos", dir / "single.bmp"}, {.recurse = true});
  const std::string p = dir / "photos/";
  EXPECT_EQ(Paths(names), (std::vector<std::string>{p + "a.bmp", p + "b.bmp", p + "link.bmp",
                                                    p + "notes.txt", p + "pipe ?", p + "2020/z.bmp",
                                                    p + "2020/deeper/y.bmp", dir / "single.bmp"}));
  EXPECT_TRUE(names.Complete());
  TDropNames hidden({dir / "photos"}, {.recurse = true, .include_hidden = true});
  std::vector<std::string> all = Paths(hidden);
  EXPECT_NE(std::find(all.begin(), all.end(), p + ".hidden.bmp"), all.end());
  EXPECT_NE(std::find(all.begin(), all.end(), p + ".cache/x.bmp"), all.end());
  // Without recursion a folder stays one name (passed over as no regular file).
  TDropNames flat({dir / "photos"}, {});
  EXPECT_EQ(Paths(flat), std::vector<std::string>{dir / "photos"});
}

TEST_F(FolderDropTest, TheTreeIsMirroredBelowDstDirAndEveryJobCountGivesTheSameFiles) {
  settings.output_mode = 1;
  settings.file_format = 2;  // PNG
  std::map<std::string, std::string> first;
  for (int jobs : {1, 4}) {
    const std::string out = dir / ("out" + std::to_string(jobs));
    settings.dst_dir = out;
    TBatchRun batch{settings, host, host};
    batch.SetJobs(jobs);
    batch.SetKeepGoing(true);
    batch.FileDrop({dir / "photos"});
    std::map<std::string, std::string> tree = Tree(out);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : tree) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"photos/2020/deeper/y.png", "photos/2020/z.png",
                                               "photos/a.png", "photos/b.png", "photos/link.png"}))
        << jobs;
    if (jobs == 1) first = tree;
    EXPECT_EQ(tree, first) << "-j " << jobs;
    // notes.txt and the FIFO are counted, not reported; nothing failed.
    EXPECT_EQ(batch.Summary().PassedOver(TPassReason::kNotAPicture), 2);
    EXPECT_EQ(batch.Summary().Failed(), 0);
    EXPECT_EQ(batch.Summary().Converted(), 5);
  }
}

TEST_F(FolderDropTest, BesideTheInputsEachOutputLandsInItsOwnFolder) {
  settings.file_format = 2;
  TBatchRun batch{settings, host, host};
  batch.FileDrop({dir / "photos"});
  EXPECT_TRUE(fs::exists(dir / "photos/2020/deeper/y.png"));
  EXPECT_TRUE(fs::exists(dir / "photos/a.png"));
  EXPECT_FALSE(fs::exists(dir / "photos/.hidden.png"));
}

TEST(NamePatternTest, FieldsMakeTheNameAndFaultsAreRefusedBeforeAnythingIsConverted) {
  TNameFields fields{.name = "IMG_1",
                     .extension = "jpg",
                     .number = 7,
                     .width = 640,
                     .height = 480,
                     .date = {},
                     .folder = "Trip"};
  fields.date.tm_year = 2024 - 1900;
  fields.date.tm_mon = 1;
  fields.date.tm_mday = 29;
  EXPECT_EQ(TNamePattern("{name}_{w}x{h}").Format(fields), "IMG_1_640x480.jpg");
  EXPECT_EQ(TNamePattern("{folder}-{n:3}.{ext}").Format(fields), "Trip-007.jpg");
  EXPECT_EQ(TNamePattern("{date}_{n}").Format(fields), "2024-02-29_7.jpg");
  EXPECT_EQ(TNamePattern("{date:%Y%m%d}{{x}}").Format(fields), "20240229{x}.jpg");
  EXPECT_TRUE(TNamePattern("{date}").NeedsPicture());
  EXPECT_FALSE(TNamePattern("{name}-{n}").NeedsPicture());
  EXPECT_TRUE(TNamePattern("").Empty());
  for (const char* bad :
       {"a/{name}", "{nme}", "{name", "name}", "{n:0}", "{n:}", "{date:%Y/%m}", "{name:x}"})
    EXPECT_THROW(TNamePattern{bad}, Exception) << bad;
  // What a pattern could make, numbered or not: the files a drop must not read too early.
  TNamePattern small("{name}_small");
  EXPECT_TRUE(small.CouldMake("a_small.png", "png"));
  EXPECT_TRUE(small.CouldMake("a_small (2).png", "png"));
  EXPECT_FALSE(small.CouldMake("a.png", "png"));
  EXPECT_FALSE(small.CouldMake("a_small.jpg", "png"));
}

class PatternDropTest : public ::testing::Test {
 protected:
  PatternDropTest() {
    settings.output_mode = 1;
    settings.dst_dir = dir / "out";
    settings.file_format = 0;
  }
  TempDir dir;
  FakeSettings settings;
  FakeHost host;
};

TEST_F(PatternDropTest, NamesADropMakesTwiceAreNumberedInListOrderWhateverTheJobCount) {
  for (int jobs : {1, 3}) {
    fs::remove_all(dir / "out");
    // Three inputs the pattern names alike, the second large so that a worker finishes it last.
    SaveBmp(dir / "x/p.bmp", 2);
    SaveBmp(dir / "y/p.bmp", 900, 900);
    SaveBmp(dir / "z/p.bmp", 4);
    settings.name_pattern = "{name}_{w}";
    settings.target_res = 0;
    TBatchRun batch{settings, host, host};
    batch.SetJobs(jobs);
    batch.FileDrop({dir / "x/p.bmp", dir / "y/p.bmp", dir / "z/p.bmp", dir / "x/p.bmp"});
    EXPECT_TRUE(fs::exists(dir / "out/p_2.bmp")) << jobs;
    EXPECT_TRUE(fs::exists(dir / "out/p_900.bmp")) << jobs;
    EXPECT_TRUE(fs::exists(dir / "out/p_4.bmp")) << jobs;
    // The fourth name repeats the first: numbered, never written over it.
    EXPECT_TRUE(fs::exists(dir / "out/p_2 (2).bmp")) << jobs;
    EXPECT_EQ(batch.Summary().Converted(), 4) << jobs;
  }
}

// Workers take a walked tree in stretches that grow (8, 16, 32 ... names at -j 2): the names
// numbered across them, and the files written, are those of one job.
TEST_F(PatternDropTest, ALargeTreeTakenInStretchesGivesTheFilesOfOneJob) {
  for (int i = 0; i < 70; ++i)
    SaveBmp(dir / ("tree/d" + std::to_string(i % 7) + "/p" + std::to_string(i) + ".bmp"), 1 + i);
  settings.recurse = true;
  settings.name_pattern = "{n:3}_{name}_{w}";
  std::map<std::string, std::string> first;
  for (int jobs : {1, 2}) {
    fs::remove_all(dir / "out");
    TBatchRun batch{settings, host, host};
    batch.SetJobs(jobs);
    batch.FileDrop({dir / "tree"});
    EXPECT_EQ(batch.Summary().Converted(), 70) << jobs;
    std::map<std::string, std::string> tree = Tree(dir / "out");
    ASSERT_EQ(tree.size(), 70u) << jobs;
    // Mirrored below the folder's name, numbered 001 to 070 without a gap.
    std::set<std::string> numbers;
    for (const auto& [name, bytes] : tree)
      numbers.insert(fs::path(name).filename().string().substr(0, 3));
    EXPECT_EQ(numbers.size(), 70u) << jobs;
    EXPECT_EQ(*numbers.begin(), "001") << jobs;
    EXPECT_EQ(*numbers.rbegin(), "070") << jobs;
    if (jobs == 1) first = tree;
    EXPECT_TRUE(tree == first) << "-j " << jobs;
  }
}

TEST_F(PatternDropTest, APatternNeverReplacesItsOwnInputAndAnExistingOutputFollowsOverwrite) {
  settings.output_mode = 0;
  settings.over_write = 1;
  settings.name_pattern = "{name}";
  SaveBmp(dir / "a.bmp", 3);
  TBatchRun batch{settings, host, host};
  batch.FileDrop({dir / "a.bmp"});
  EXPECT_TRUE(fs::exists(dir / "a (2).bmp"));

  // A second run with overwriting off passes the numbered output over, as it exists.
  settings.over_write = 0;
  TBatchRun again{settings, host, host};
  again.FileDrop({dir / "a.bmp"});
  EXPECT_EQ(again.Summary().PassedOver(TPassReason::kOutputExists), 1);
}

TEST_F(PatternDropTest, KeepDateGivesTheOutputItsInputsModificationTimeToTheNanosecond) {
  SaveBmp(dir / "old.bmp", 2);
  const struct timespec times[2] = {{0, UTIME_OMIT}, {1262347445, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "old.bmp").c_str(), times, 0), 0);
  settings.keep_date = true;
  TBatchRun batch{settings, host, host};
  batch.FileDrop({dir / "old.bmp"});
  struct stat info;
  ASSERT_EQ(::stat((dir / "out/old.bmp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtim.tv_sec, 1262347445);
  EXPECT_EQ(info.st_mtim.tv_nsec, 123456789);
}

}  // namespace
}  // namespace qv
