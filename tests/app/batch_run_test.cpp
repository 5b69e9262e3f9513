// Tests of the batch run: order, passing over, live settings, restore on failure, queued drops.
#include "app/batch_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <sstream>

#include "app/fakes.h"
#include "codecs/bmp/bmp_writer.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "support/temp_dir.h"
#include "support/test_locale.h"

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

// The file's bytes.
std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
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
  // The bar stands at 1 of 5 for the first name and full for the last, then back at 0.
  EXPECT_EQ(host.positions, (std::vector<int>{1, 2, 3, 4, 5}));
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

TEST(BatchRunSettings, EveryFileIsConvertedWithAllTheSettings) {
  // The batch hands the job the settings as they stood when each file began: none may be lost
  // on the way, the photo options among them.
  FakeSettings settings;
  settings.custom_size = true;
  settings.custom_width = 30;
  settings.custom_height = 20;
  settings.keep_aspect = true;
  TempDir dir;
  FakeHost host;
  TBatchRun batch{settings, host, host};
  SaveBmp(dir / "a.bmp", 60);  // 60 x 2: fitted inside 30 x 20 keeps the aspect
  settings.output_mode = 1;
  settings.dst_dir = dir / "out";
  settings.target_res = 3;
  settings.file_format = 2;
  settings.png_level = 0;
  batch.FileDrop({dir / "a.bmp"});
  ASSERT_EQ(batch.Summary().Converted(), 1) << batch.Summary().Text();
  std::string png = Slurp(dir / "out/a.png");
  ASSERT_GT(png.size(), 24u);
  auto be32 = [&](std::size_t at) {
    return static_cast<unsigned char>(png[at]) << 24 |
           static_cast<unsigned char>(png[at + 1]) << 16 |
           static_cast<unsigned char>(png[at + 2]) << 8 | static_cast<unsigned char>(png[at + 3]);
  };
  EXPECT_EQ(be32(16), 30);  // IHDR width
  EXPECT_EQ(be32(20), 1);   // IHDR height
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

// Status, reason and message of every finished name, one line each.
std::vector<std::string> Lines(const std::vector<TFileResult>& results) {
  std::vector<std::string> lines;
  for (const TFileResult& r : results) {
    std::string line = std::filesystem::path(r.file_name).filename().string() + " ";
    switch (r.status) {
      case TFileStatus::kConverted: line += "converted"; break;
      case TFileStatus::kPassedOver:
        line += std::string("passed over: ") + PassReasonText(r.reason);
        break;
      case TFileStatus::kFailed: line += "failed: " + r.message; break;
    }
    lines.push_back(line);
  }
  return lines;
}

TEST_F(BatchRunTest, EveryNameIsAccountedForWithItsReason) {
  SaveBmp(dir / "a.bmp", 1);
  SaveBmp(dir / "b.bmp", 1);
  std::filesystem::create_directories(dir / "out");
  SaveBmp(dir / "out/b.bmp", 1);  // b's output exists
  std::filesystem::create_directory(dir / "folder");
  std::ofstream(dir / "pic.xyz") << "no plug-in takes this";
  batch.FileDrop({dir / "a.bmp", dir / "b.bmp", dir / "folder", dir / "gone.bmp", dir / "pic.xyz"});
  ASSERT_EQ(host.drops.size(), 1u);
  // The line in the program's first language: the reason before its count.
  EXPECT_EQ(host.drops[0].Text(),
            "変換 1、スキップ 4 (出力が存在する 1、通常のファイルでない 1、ファイルがない 1、"
            "読み込めない形式 1)、失敗 0");
  qv::testing::TEnglishTexts english;
  EXPECT_EQ(Lines(host.finished),
            (std::vector<std::string>{"a.bmp converted", "b.bmp passed over: output exists",
                                      "folder passed over: not a regular file",
                                      "gone.bmp passed over: no such file",
                                      "pic.xyz passed over: no reader for it"}));
  EXPECT_EQ(host.finished_indexes, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(host.drops[0].Text(),
            "1 converted, 4 passed over (1 output exists, 1 not a regular file, 1 no such file, "
            "1 no reader for it), 0 failed");
  EXPECT_EQ(batch.Summary().Text(), host.drops[0].Text());

  // A cancelled PDF question passes every name over for that reason.
  settings.file_format = 3;
  host.pdf_answer = std::nullopt;
  batch.FileDrop({dir / "a.bmp"});
  EXPECT_EQ(batch.Summary().Text(), "0 converted, 1 passed over (1 no PDF file chosen), 0 failed");
}

TEST_F(BatchRunTest, AFailureIsToldBeforeItEndsTheDrop) {
  SaveBmp(dir / "a.bmp", 1);
  std::ofstream(dir / "bad.bmp") << "XX definitely not a bitmap";
  SaveBmp(dir / "c.bmp", 1);
  EXPECT_THROW(batch.FileDrop({dir / "a.bmp", dir / "bad.bmp", dir / "c.bmp"}), Exception);
  ASSERT_EQ(host.finished.size(), 2u);
  EXPECT_EQ(Lines(host.finished)[1], "bad.bmp failed: ビットマップイメージが不正です.");
  ASSERT_EQ(host.drops.size(), 1u);
  qv::testing::TEnglishTexts english;
  EXPECT_EQ(host.drops[0].Text(), "1 converted, 0 passed over, 1 failed");
  EXPECT_EQ(host.drops[0].Text(1), "1 converted, 0 passed over, 1 failed, 1 not reached");
}

TEST_F(BatchRunTest, KeepGoingReportsAFailedFileAndConvertsTheRest) {
  SaveBmp(dir / "a.bmp", 1);
  std::ofstream(dir / "bad.bmp") << "XX definitely not a bitmap";
  SaveBmp(dir / "c.bmp", 1);
  batch.SetKeepGoing(true);
  EXPECT_NO_THROW(batch.FileDrop({dir / "a.bmp", dir / "bad.bmp", dir / "c.bmp"}));
  EXPECT_TRUE(Written("a.bmp"));
  EXPECT_TRUE(Written("c.bmp"));
  EXPECT_EQ(Lines(host.finished),
            (std::vector<std::string>{"a.bmp converted",
                                      "bad.bmp failed: ビットマップイメージが不正です.",
                                      "c.bmp converted"}));
  EXPECT_EQ(batch.Summary().Failed(), 1);
  EXPECT_EQ(batch.Summary().Converted(), 2);
  EXPECT_TRUE(host.errors.empty());
  EXPECT_EQ(host.caption, "Drop Files Here.");
  EXPECT_FALSE(host.progress_visible);

  // In PDF mode the failed file gets no page; the others keep their order.
  settings.file_format = 3;
  host.pdf_answer = dir / "drop.pdf";
  batch.FileDrop({dir / "a.bmp", dir / "bad.bmp", dir / "c.bmp"});
  std::string pdf = Slurp(dir / "drop.pdf");
  EXPECT_NE(pdf.find("/Count 2"), std::string::npos) << "two pages";
  qv::testing::TEnglishTexts english;
  EXPECT_EQ(batch.Summary().Text(), "2 converted, 0 passed over, 1 failed");
}

TEST_F(BatchRunTest, AStopEndsTheDropBeforeTheNextFileKeepsItsPagesAndDropsTheQueue) {
  SaveBmp(dir / "a.bmp", 1);
  SaveBmp(dir / "b.bmp", 2);
  SaveBmp(dir / "c.bmp", 3);
  settings.file_format = 3;
  host.pdf_answer = dir / "drop.pdf";
  int pumps = 0;
  host.on_process_messages = [&] {
    ++pumps;
    if (pumps == 1) batch.FileDrop({dir / "c.bmp"});  // queued behind
    if (pumps == 3) host.stop = true;                 // the window closes while b converts
  };
  batch.FileDrop({dir / "a.bmp", dir / "b.bmp", dir / "c.bmp"});
  EXPECT_EQ(host.started, (std::vector<std::string>{dir / "a.bmp", dir / "b.bmp"}));
  EXPECT_EQ(host.pdf_questions, 1) << "the queued drop was not started";
  std::string pdf = Slurp(dir / "drop.pdf");
  EXPECT_NE(pdf.find("/Count 2"), std::string::npos) << "the pages made so far are written";
  EXPECT_FALSE(batch.Running());
  EXPECT_EQ(host.caption, "Drop Files Here.");
  EXPECT_FALSE(host.progress_visible);
}

// Stop after this file, with one job or several: the drop ends before its next name with only
// the outputs of the names before it in place, every name was listed before it was handled, the
// queued drop never starts, the names left count as not reached, and the next drop runs
// normally.
class BatchRunStop : public BatchRunTest, public ::testing::WithParamInterface<int> {};

TEST_P(BatchRunStop, EndsTheDropBeforeItsNextNameAndLeavesTheQueueUnstarted) {
  std::vector<std::string> files;
  for (const char* name : {"a", "b", "c", "d", "e", "x", "y"}) {
    SaveBmp(dir / (std::string(name) + ".bmp"), 2);
    files.push_back(dir / (std::string(name) + ".bmp"));
  }
  batch.SetJobs(GetParam());
  batch.RequestStop();  // no drop runs: nothing to stop
  int pumps = 0;
  host.on_process_messages = [&] {
    if (++pumps == 1) batch.FileDrop({files[5], files[6]});  // queued behind
    if (pumps == 2) batch.RequestStop();                     // while a is done, before b
  };
  batch.FileDrop({files.begin(), files.begin() + 5});
  EXPECT_EQ(host.told, (std::vector<std::string>{"starting", "listed 0 a.bmp", "listed 1 b.bmp",
                                                 "listed 2 c.bmp", "listed 3 d.bmp",
                                                 "listed 4 e.bmp", "queued 2", "not started 2"}));
  EXPECT_EQ(host.started, (std::vector<std::string>{files[0]}));
  EXPECT_TRUE(Written("a.bmp"));
  for (const char* name : {"b.bmp", "c.bmp", "d.bmp", "e.bmp", "x.bmp"})
    EXPECT_FALSE(Written(name)) << name << " converted ahead must not be put in place";
  EXPECT_EQ(batch.NotReached(), 6);
  EXPECT_EQ(host.cursor, TCursor::crDefault);
  EXPECT_FALSE(batch.Running());
  {
    qv::testing::TEnglishTexts english;
    EXPECT_EQ(batch.Summary().Brief(batch.NotReached()), "1 converted, 6 not reached");
  }
  host.on_process_messages = nullptr;
  batch.FileDrop({files[1]});
  EXPECT_TRUE(Written("b.bmp"));
  EXPECT_EQ(batch.NotReached(), 0);
}

INSTANTIATE_TEST_SUITE_P(Jobs, BatchRunStop, ::testing::Values(1, 2),
                         [](const auto& jobs) { return "jobs" + std::to_string(jobs.param); });

// A drop that would replace its inputs by their own conversions (beside them, same extension,
// overwriting on) asks once, naming how many; "skip" passes those over and keeps the originals
// byte for byte, "replace" converts them. Nothing is asked where nothing can be replaced.
class BatchRunReplace : public BatchRunTest, public ::testing::WithParamInterface<int> {};

TEST_P(BatchRunReplace, AsksOnceAndSkippingKeepsTheOriginals) {
  SaveBmp(dir / "a.bmp", 1);
  SaveBmp(dir / "b.bmp", 2);
  SaveBmp(dir / "c.BMP", 3);  // written as c.bmp: a new file beside it
  const std::string original = Slurp(dir / "a.bmp");
  settings.target_res = 2;  // 96x96: a replaced original is another file
  const std::vector<std::string> files = {dir / "a.bmp", dir / "b.bmp", dir / "c.BMP",
                                          dir / "a.bmp"};
  settings.output_mode = 0;
  settings.over_write = 1;
  host.asks_replace = true;
  host.replace_answer = false;
  batch.SetJobs(GetParam());
  batch.FileDrop(files);
  EXPECT_EQ(host.replace_questions, std::vector<int>{2}) << "a.bmp twice is one original";
  EXPECT_EQ(Lines(host.finished),
            (std::vector<std::string>{"a.bmp passed over: 出力が存在する",
                                      "b.bmp passed over: 出力が存在する", "c.BMP converted",
                                      "a.bmp passed over: 出力が存在する"}));
  EXPECT_EQ(Slurp(dir / "a.bmp"), original);
  EXPECT_TRUE(std::filesystem::exists(dir / "c.bmp"));

  host.finished.clear();
  host.replace_answer = true;
  batch.FileDrop({dir / "a.bmp"});
  EXPECT_EQ(host.replace_questions, (std::vector<int>{2, 1}));
  EXPECT_EQ(Lines(host.finished), std::vector<std::string>{"a.bmp converted"});
  EXPECT_NE(Slurp(dir / "a.bmp"), original);

  // Nothing to replace, nothing asked: into another folder, with a name pattern, as a PDF page,
  // without overwriting, or for a host that does not ask.
  for (int round = 0; round < 5; ++round) {
    FakeSettings other = settings;
    if (round == 0) other.output_mode = 1;
    if (round == 1) other.name_pattern = "{name}";
    if (round == 2) other.file_format = 3;
    if (round == 3) other.over_write = 0;
    host.asks_replace = round != 4;
    host.pdf_answer = dir / "drop.pdf";
    TBatchRun run(other, host, host);
    run.SetJobs(GetParam());
    run.FileDrop({dir / "b.bmp"});
    EXPECT_EQ(host.replace_questions.size(), 2u) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Jobs, BatchRunReplace, ::testing::Values(1, 2),
                         [](const auto& jobs) { return "jobs" + std::to_string(jobs.param); });

// A PDF file that cannot be written at the end of its drop: the pages made for it were never
// converted after all, for the counts and for what the host was told of each file.
TEST_F(BatchRunTest, APdfFileThatCannotBeWrittenCountsItsPagesAsFailed) {
  SaveBmp(dir / "a.bmp", 1);
  SaveBmp(dir / "b.bmp", 2);
  settings.file_format = 3;
  host.pdf_answer = dir / "no such folder/drop.pdf";
  EXPECT_THROW(batch.FileDrop({dir / "a.bmp", dir / "missing.bmp", dir / "b.bmp"}), Exception);
  EXPECT_EQ(batch.Summary().Converted(), 0);
  EXPECT_EQ(batch.Summary().Failed(), 2);
  ASSERT_EQ(host.told.size(), 6u);
  EXPECT_EQ(host.told[4].rfind("failed after all 0: ", 0), 0u) << host.told[4];
  EXPECT_NE(host.told[4].find("no such folder/drop.pdf"), std::string::npos) << host.told[4];
  EXPECT_EQ(host.told[5].rfind("failed after all 2: ", 0), 0u) << host.told[5];
  ASSERT_EQ(host.finished.size(), 3u);
  EXPECT_EQ(host.finished[0].output, dir / "no such folder/drop.pdf");
  qv::testing::TEnglishTexts english;
  EXPECT_EQ(batch.Summary().Text(), "0 converted, 1 passed over (1 no such file), 2 failed");
}

// Memory that runs out anywhere in a file's conversion (here in the plug-in read) ends the drop
// with the system's out-of-memory message, not the library's "std::bad_alloc".
TEST(BatchRunOutOfMemory, IsTheSystemsMessage) {
  struct TOutOfMemoryHost : testing::FakeHost {
    void ReadByPlugins(const std::string&, TBitmap&) override { throw std::bad_alloc(); }
  };
  TempDir dir;
  std::ofstream(dir / "a.gif") << "GIF89a";
  FakeSettings settings;
  TOutOfMemoryHost host;
  TBatchRun batch{settings, host, host};
  try {
    batch.FileDrop({dir / "a.gif"});
    FAIL() << "no failure";
  } catch (const EOutOfMemory& e) {
    EXPECT_EQ(e.Message(), "メモリが足りません");
  }
  ASSERT_EQ(host.finished.size(), 1u);
  EXPECT_EQ(host.finished[0].message, "メモリが足りません.");  // the file's line says it too
  EXPECT_FALSE(host.progress_visible);
  EXPECT_FALSE(batch.Running());
}

}  // namespace
}  // namespace qv
