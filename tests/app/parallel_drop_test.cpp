// Tests of converting several files of a drop at once: the outputs, the PDF pages, what the host
// is told and the failure raised are those of converting one file after the other.
#include "app/parallel_drop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <regex>
#include <thread>

#include "app/batch_run.h"
#include "app/batch_summary.h"
#include "app/fakes.h"
#include "codecs/bmp/bmp_writer.h"
#include "codecs/jpeg/jpeg_image.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::FakeHost;
using testing::FakeSettings;
using testing::TempDir;

// A picture of width x height whose pixels depend on seed, so that every output differs.
TBitmap Picture(int width, int seed, int height = 3) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width * 3; ++x)
      row[x] = static_cast<std::uint8_t>(seed * 37 + x * 5 + y * 3 + (x * y) % 7);
  }
  return image;
}

void SaveBmp(const fs::path& path, int width, int seed, int height = 3) {
  TSafeFileStream out(path.string());
  WriteBitmap(Picture(width, seed, height), out);
  out.Commit();
}

void SaveJpeg(const fs::path& path, int width, int seed, int height = 3) {
  TJPEGImage jpeg;
  jpeg.Assign(Picture(width, seed, height));
  jpeg.SaveToFile(path.string());
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every call of the host that tells the user something, in the order made, with file names
// shortened to what follows the drop's folder.
struct LogHost : FakeHost {
  explicit LogHost(std::string drop_folder) : folder(std::move(drop_folder)) {}
  std::string Short(const std::string& path) const {
    return path.rfind(folder, 0) == 0 ? path.substr(folder.size()) : path;
  }
  void FileStarting(int index, int count, const std::string& file_name) override {
    log.push_back("start " + std::to_string(index) + "/" + std::to_string(count) + " " +
                  Short(file_name));
  }
  void FileWarning(const std::string& file_name, const std::string& text) override {
    log.push_back("warning " + Short(file_name) + ": " + text);
  }
  void SameOutputTwice(const std::string& earlier, const std::string& input,
                       const std::string& output, bool overwritten) override {
    log.push_back("twice " + Short(earlier) + " " + Short(input) + " " + Short(output) +
                  (overwritten ? " overwritten" : " passed over"));
  }
  void ShowErrorMessage(const std::string& text, const std::string& title) override {
    log.push_back("message " + title + ": " + text);
  }
  void FileFinished(int index, int, const TFileResult& result) override {
    const char* status[] = {"converted", "passed over", "failed"};
    log.push_back("finished " + std::to_string(index) + " " + Short(result.file_name) + " " +
                  status[static_cast<int>(result.status)] + " " + PassReasonText(result.reason) +
                  " " + result.message);
  }
  void DropFinished(const TBatchSummary& summary) override {
    log.push_back("drop " + summary.Text());
  }
  void ReadByPlugins(const std::string& file_name, TBitmap& image) override {
    if (read_by_plugins) read_by_plugins(file_name, image);
  }
  std::optional<std::pair<int, int>> PictureSizeByPlugins(const std::string&) override {
    return plugin_picture_size;
  }
  std::string folder;
  std::vector<std::string> log;
  std::function<void(const std::string&, TBitmap&)> read_by_plugins;
  std::optional<std::pair<int, int>> plugin_picture_size;
};

// What a drop did: the host's log, the failure raised and every output file's bytes.
struct DropRun {
  std::vector<std::string> log;
  std::string failure;
  std::map<std::string, std::string> outputs;
};

class ParallelDropTest : public ::testing::Test {
 protected:
  ParallelDropTest() {
    settings.output_mode = 1;
    settings.file_format = 2;  // PNG
  }
  // Converts names (relative to the folder) into a fresh output folder with jobs at once.
  DropRun Convert(const std::vector<std::string>& names, int jobs, bool keep_going = false) {
    fs::path out = dir / ("out" + std::to_string(++runs));
    settings.dst_dir = out.string() + "/";
    LogHost host(dir.Path());
    host.read_by_plugins = read_by_plugins;
    host.plugin_picture_size = plugin_picture_size;
    TBatchRun batch(settings, host, host);
    batch.SetJobs(jobs);
    batch.SetKeepGoing(keep_going);
    std::vector<std::string> files;
    for (const std::string& name : names) files.push_back(dir / name);
    DropRun run;
    try {
      batch.FileDrop(files);
    } catch (const std::exception& error) {
      run.failure = error.what();
    }
    // The output folder's name differs from run to run.
    for (std::string& line : host.log)
      line = std::regex_replace(line, std::regex("out[0-9]+/"), "out/");
    run.log = host.log;
    if (fs::exists(out))
      for (const auto& entry : fs::directory_iterator(out))
        run.outputs[entry.path().filename().string()] = Slurp(entry.path());
    return run;
  }

  TempDir dir;
  FakeSettings settings;
  // What the host does when a plug-in is to read a file (nothing: the picture stays empty).
  std::function<void(const std::string&, TBitmap&)> read_by_plugins;
  // The size the plug-ins tell of a file before reading it (none: they do not tell).
  std::optional<std::pair<int, int>> plugin_picture_size;
  int runs = 0;
};

TEST_F(ParallelDropTest, OutputsAndWhatTheHostHearsAreThoseOfOneAfterTheOther) {
  // Pictures of different sizes (so the workers finish out of order), two inputs with the same
  // output, a name that is missing, a folder and a JPEG the library completes with a warning.
  for (int i = 0; i < 8; ++i) SaveBmp(dir / ("p" + std::to_string(i) + ".bmp"), 1 + 40 * i, i);
  fs::create_directory(dir / "sub");
  SaveBmp(dir / "sub/p1.bmp", 5, 99);
  fs::create_directory(dir / "folder.bmp");
  SaveJpeg(dir / "whole.jpg", 600, 3);
  std::string bytes = Slurp(dir / "whole.jpg");
  std::size_t scan = bytes.find("\xFF\xDA");  // cut half way through the scan
  ASSERT_NE(scan, std::string::npos);
  std::ofstream(dir / "cut.jpg", std::ios::binary) << bytes.substr(0, (scan + bytes.size()) / 2);
  const std::vector<std::string> names = {"p7.bmp", "p0.bmp",   "p1.bmp",     "sub/p1.bmp",
                                          "p6.bmp", "gone.bmp", "folder.bmp", "cut.jpg",
                                          "p2.bmp", "p5.bmp",   "p3.bmp",     "p4.bmp"};
  for (int over_write : {0, 1}) {
    settings.over_write = over_write;
    DropRun one = Convert(names, 1);
    ASSERT_EQ(one.outputs.size(), 9u);
    EXPECT_TRUE(std::any_of(one.log.begin(), one.log.end(), [](const std::string& line) {
      return line.rfind("warning cut.jpg: ", 0) == 0;
    })) << "the damaged JPEG is warned about";
    for (int jobs : {2, 3, 8}) {
      DropRun many = Convert(names, jobs);
      EXPECT_EQ(many.log, one.log) << jobs << " jobs, OverWrite " << over_write;
      EXPECT_TRUE(many.outputs == one.outputs) << jobs << " jobs, OverWrite " << over_write;
      EXPECT_EQ(many.failure, "");
    }
  }
  // The second input with p1's output was told as such, passed over or replacing the first.
  settings.over_write = 0;
  DropRun passed = Convert(names, 3);
  EXPECT_NE(std::find(passed.log.begin(), passed.log.end(),
                      "twice p1.bmp sub/p1.bmp out/p1.png passed over"),
            passed.log.end());
}

TEST_F(ParallelDropTest, TheFirstFailureInListOrderEndsTheDropAfterTheFilesBeforeIt) {
  // The later failure (a short file) fails at once, the earlier one only after a big picture
  // is read: still the earlier one is raised, and every file before it is converted.
  for (int i = 0; i < 6; ++i) SaveBmp(dir / ("p" + std::to_string(i) + ".bmp"), 1 + 30 * i, i);
  std::string big = Slurp(dir / "p5.bmp");
  std::ofstream(dir / "late.bmp", std::ios::binary) << big.substr(0, big.size() - 40);
  std::ofstream(dir / "early.bmp") << "XX definitely not a bitmap";
  const std::vector<std::string> names = {"p0.bmp",    "p5.bmp", "p4.bmp", "late.bmp",
                                          "early.bmp", "p1.bmp", "p2.bmp"};
  DropRun one = Convert(names, 1);
  ASSERT_NE(one.failure, "");
  for (int jobs : {2, 4}) {
    DropRun many = Convert(names, jobs);
    EXPECT_EQ(many.failure, one.failure) << jobs << " jobs";
    EXPECT_EQ(many.log, one.log) << jobs << " jobs";
    for (const auto& [name, bytes] : one.outputs)
      EXPECT_EQ(many.outputs[name], bytes) << name << " is converted before the failure";
  }

  // Keep going: every failure is told in list order and every other file converted.
  DropRun kept = Convert(names, 1, true);
  EXPECT_EQ(kept.failure, "");
  EXPECT_EQ(kept.outputs.size(), 5u);
  for (int jobs : {2, 4}) {
    DropRun many = Convert(names, jobs, true);
    EXPECT_EQ(many.failure, "");
    EXPECT_EQ(many.log, kept.log) << jobs << " jobs";
    EXPECT_TRUE(many.outputs == kept.outputs) << jobs << " jobs";
  }
}

TEST_F(ParallelDropTest, NoFileAfterTheFirstFailureIsWrittenThoughConvertedMeanwhile) {
  // The first name is read by a plug-in that fails only after a while; the files after it are
  // converted by the other workers meanwhile, and must not land: one after the other, they are
  // never reached. With keep-going they all land.
  std::ofstream(dir / "slow.xyz") << "read by a plug-in";
  std::vector<std::string> names = {"slow.xyz"};
  for (int i = 0; i < 8; ++i) {
    names.push_back("p" + std::to_string(i) + ".bmp");
    SaveBmp(dir / names.back(), 2 + i, i);
  }
  read_by_plugins = [](const std::string&, TBitmap&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    throw Exception("the plug-in gave up");
  };
  DropRun one = Convert(names, 1);
  ASSERT_NE(one.failure, "");
  ASSERT_TRUE(one.outputs.empty());
  for (int jobs : {2, 4}) {
    DropRun many = Convert(names, jobs);
    EXPECT_EQ(many.failure, one.failure) << jobs << " jobs";
    EXPECT_EQ(many.log, one.log) << jobs << " jobs";
    // (Outputs lists every entry of the folder: no temporary file is left either.)
    EXPECT_TRUE(many.outputs.empty()) << jobs << " jobs: " << many.outputs.size() << " written";
    EXPECT_EQ(Convert(names, jobs, true).outputs.size(), 8u) << jobs << " jobs, keep going";
  }
}

// Files whose pictures do not fit the memory budget together wait for those being converted, and
// a file that does not fit it alone, or whose size is not told beforehand, is converted alone:
// none fails for it, and the results are those of one after the other.
TEST_F(ParallelDropTest, FilesWaitForMemoryAndNoneFailsForIt) {
  std::vector<std::string> names;
  for (int i = 0; i < 6; ++i) {
    names.push_back("p" + std::to_string(i) + (i % 3 == 2 ? ".xyz" : ".bmp"));
    if (i % 3 != 2)
      SaveBmp(dir / names.back(), 200 + 40 * i, i, 150);
    else
      std::ofstream(dir / names.back()) << "read by a plug-in";
  }
  read_by_plugins = [](const std::string& file_name, TBitmap& image) {
    image = Picture(100, static_cast<int>(file_name.size()), 80);
  };
  settings.target_res = 3;  // 640 x 480
  settings.file_format = 0;
  DropRun one = Convert(names, 1);
  ASSERT_EQ(one.outputs.size(), names.size());
  // Room for one 640 x 480 picture with its source at a time, for none, and plenty, each with the
  // plug-ins' pictures of a told size and of none.
  for (const char* budget : {"3M", "1", "1G"}) {
    for (auto size :
         {std::optional(std::make_pair(100, 80)), std::optional<std::pair<int, int>>()}) {
      settings.memory_budget = budget;
      plugin_picture_size = size;
      DropRun many = Convert(names, 4);
      EXPECT_EQ(many.failure, "") << budget;
      EXPECT_EQ(many.log, one.log) << budget;
      EXPECT_TRUE(many.outputs == one.outputs) << budget;
    }
  }
}

TEST_F(ParallelDropTest, ResizedPicturesAreThoseOfOneAfterTheOther) {
  // The big pictures come last, so the workers with no file left help with their rows (bands of
  // the resampler's passes, a JPEG's bands as they are decoded); reductions and enlargements,
  // for each kind of resampler.
  const std::vector<std::pair<int, int>> sizes = {{300, 170},  {50, 700},    {1000, 900},
                                                  {1301, 977}, {1500, 1100}, {1299, 1003}};
  std::vector<std::string> names;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const int seed = static_cast<int>(i);
    names.push_back("p" + std::to_string(i) + (i % 2 ? ".jpg" : ".bmp"));
    if (i % 2)
      SaveJpeg(dir / names.back(), sizes[i].first, seed, sizes[i].second);
    else
      SaveBmp(dir / names.back(), sizes[i].first, seed, sizes[i].second);
  }
  settings.target_res = 3;  // 640 x 480
  settings.file_format = 0;
  for (int mode : {0, 2, 3}) {
    settings.resample_mode = mode;
    DropRun one = Convert(names, 1);
    ASSERT_EQ(one.outputs.size(), sizes.size());
    for (int jobs : {2, 3}) {
      DropRun many = Convert(names, jobs);
      for (const auto& [name, bytes] : one.outputs)
        EXPECT_TRUE(many.outputs[name] == bytes)
            << name << ", " << jobs << " jobs, resampler " << mode;
    }
  }
}

// The pages' widths, in the order of the pages in the file.
std::vector<int> PageWidths(const std::string& pdf) {
  std::vector<int> widths;
  std::regex media_box(R"(/MediaBox \[0 0 ([0-9]+) )");
  for (auto it = std::sregex_iterator(pdf.begin(), pdf.end(), media_box);
       it != std::sregex_iterator(); ++it)
    widths.push_back(std::stoi((*it)[1]));
  return widths;
}

TEST_F(ParallelDropTest, PdfPagesKeepTheListOrder) {
  // JPEGs embedded as they are, and BMPs compressed: the pages come in the order of the names,
  // each JPEG's own bytes in its page, however long each file took.
  std::vector<std::string> names;
  std::vector<int> widths;
  for (int i = 0; i < 10; ++i) {
    int width = 300 - 25 * i;
    std::string name = "p" + std::to_string(i) + (i % 2 ? ".jpg" : ".bmp");
    if (i % 2)
      SaveJpeg(dir / name, width, i);
    else
      SaveBmp(dir / name, width, i);
    names.push_back(name);
    widths.push_back(width);
  }
  std::ofstream(dir / "bad.bmp") << "XX definitely not a bitmap";
  names.insert(names.begin() + 4, "bad.bmp");
  settings.file_format = 3;
  for (int jobs : {1, 3}) {
    LogHost host(dir.Path());
    host.pdf_answer = dir / ("drop" + std::to_string(jobs) + ".pdf");
    TBatchRun batch(settings, host, host);
    batch.SetJobs(jobs);
    batch.SetKeepGoing(true);
    std::vector<std::string> files;
    for (const std::string& name : names) files.push_back(dir / name);
    batch.FileDrop(files);
    EXPECT_EQ(batch.Summary().Converted(), 10) << jobs;
    EXPECT_EQ(batch.Summary().Failed(), 1) << jobs;
    std::string pdf = Slurp(*host.pdf_answer);
    EXPECT_EQ(PageWidths(pdf), widths) << jobs << " jobs";
    std::size_t at = 0;
    for (int i = 1; i < 10; i += 2) {
      std::size_t found = pdf.find(Slurp(dir / names[static_cast<std::size_t>(i < 4 ? i : i + 1)]));
      ASSERT_NE(found, std::string::npos) << names[static_cast<std::size_t>(i)];
      EXPECT_GT(found, at) << "the JPEG of page " << i << " follows the one before";
      at = found;
    }
  }
}

// The last big file of a drop outlasts the small ones after it, so the other workers come to
// help it; files followed by as much work or more are left whole.
TEST(HelpExpected, ForAFileLargerThanTheFilesAfterItSharedAmongTheOtherWorkers) {
  TempDir dir;
  std::string d = dir.Path();
  std::vector<std::string> files;
  for (const auto& [name, size] : std::vector<std::pair<std::string, int>>{
           {"big1", 3000}, {"big2", 3000}, {"big3", 3000}, {"s1", 500}, {"s2", 500}, {"s3", 500}}) {
    files.push_back(d + name);
    std::ofstream(files.back(), std::ios::binary)
        << std::string(static_cast<std::size_t>(size), 'x');
  }
  // After big3 come 1500 bytes; after s2, 500 (not more than s2 itself) and after s3 nothing.
  EXPECT_EQ(HelpExpected(files, 2), (std::vector<bool>{false, false, true, false, false, true}));
  // With three workers, the two others share what follows: big2 (4500 bytes after it, 2250 for
  // each other worker) and s2 expect help too, big1 and s1 do not.
  EXPECT_EQ(HelpExpected(files, 3), (std::vector<bool>{false, true, true, false, true, true}));
  // One worker has no one to help it.
  EXPECT_EQ(HelpExpected(files, 1), std::vector<bool>(6, false));
  // A name that is no file counts as empty: it expects no help and weighs nothing.
  files = {d + "big1", d + "missing"};
  EXPECT_EQ(HelpExpected(files, 2), (std::vector<bool>{true, false}));
}

TEST(DropDependencies, AFileWaitsForTheEarlierFilesThatShareItsOutputOrItsInput) {
  TempDir dir;
  FakeSettings settings;
  settings.file_format = 0;  // BMP beside the input
  std::string d = dir.Path();
  // 0 writes a.bmp; 1 reads a.bmp (0's output) and writes it too; 3 writes b.bmp as 2 does,
  // spelt another way; 5 writes c.bmp as 4 does; 6 shares nothing.
  std::vector<std::string> files = {d + "a.png", d + "a.bmp", d + "b.png", d + "./x/../b.jpg",
                                    d + "c.jpg", d + "c.png", d + "e.jpg"};
  std::vector<std::vector<int>> expected = {{}, {0}, {}, {2}, {}, {4}, {}};
  EXPECT_EQ(DropDependencies(files, settings, false), expected);

  // A later file that writes what an earlier one reads waits for it.
  files = {d + "a.bmp", d + "a.png"};
  expected = {{}, {0}};
  EXPECT_EQ(DropDependencies(files, settings, false), expected);

  // A PDF drop writes no image file.
  EXPECT_EQ(DropDependencies(files, settings, true), (std::vector<std::vector<int>>{{}, {}}));
}

}  // namespace
}  // namespace qv
