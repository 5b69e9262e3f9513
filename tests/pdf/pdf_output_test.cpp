// PDF drops checked with outside tools (qpdf, pdfinfo, pdftoppm): valid files, page sizes,
// rendered pixels, list order, and the file-system edge cases of EndDoc.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>

#include "app/batch_host.h"
#include "app/batch_run.h"
#include "app/image_io.h"
#include "app/job_host.h"
#include "app/pdf_steps.h"
#include "app/settings_snapshot.h"
#include "codecs/jpeg/jpeg_image.h"
#include "pdf/document/pdf_doc.h"
#include "pdf/images/pdf_graphic.h"
#include "pdf/images/pdf_image_creator.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/pdf_stream.h"
#include "pdf/report/pr_item.h"
#include "pdf/report/pr_page.h"
#include "pdf/report/pr_panel.h"
#include "pdf/report/pr_report.h"
#include "pdf_test_support.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "settings/job_settings.h"
#include "support/test_data.h"

namespace qv {
namespace {

using pdf_test::RunCommand;

std::string Quoted(const std::string &path) { return "'" + path + "'"; }

void WriteFile(const std::string &path, const std::vector<std::uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::string ReadText(const std::string &path) {
  std::vector<std::uint8_t> bytes = ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

// qpdf --check passes without warnings.
void ExpectValidPdf(const std::string &path) {
  pdf_test::CommandResult check = RunCommand("qpdf --check " + Quoted(path));
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
  EXPECT_NE(check.output.find("No syntax or stream encoding errors found"), std::string::npos)
      << check.output;
}

// Page sizes as pdfinfo reports them, in page order.
std::vector<std::string> PageSizes(const std::string &path, int pages) {
  pdf_test::CommandResult info =
      RunCommand("pdfinfo -f 1 -l " + std::to_string(pages) + " " + Quoted(path));
  EXPECT_EQ(info.status, 0) << info.output;
  EXPECT_TRUE(
      std::regex_search(info.output, std::regex("\nPages: +" + std::to_string(pages) + "\n")))
      << info.output;
  EXPECT_TRUE(std::regex_search(info.output, std::regex("Producer: +Velumbra version 0.9\n")))
      << info.output;
  std::vector<std::string> sizes;
  std::regex size_line("Page +\\d+ size: +([0-9.]+ x [0-9.]+) pts");
  for (std::sregex_iterator it(info.output.begin(), info.output.end(), size_line), end; it != end;
       ++it)
    sizes.push_back((*it)[1]);
  return sizes;
}

struct JpegInput {
  std::string path;
  TBitmap image;
  std::vector<std::uint8_t> bytes;
};

JpegInput MakeJpegInput(const testing::TempDir &folder, const std::string &name, int width,
                        int height, int salt) {
  JpegInput input{folder.File(name), pdf_test::PatternImage(width, height, salt), {}};
  input.bytes = pdf_test::EncodeJpeg(input.image, 95);
  WriteFile(input.path, input.bytes);
  return input;
}

TEST(PdfDrop, ThreeJpegPagesInOrderAreValidAndSizedByTheirImages) {
  testing::TempDir folder;
  std::vector<JpegInput> inputs = {MakeJpegInput(folder, "a.jpg", 64, 48, 0),
                                   MakeJpegInput(folder, "b.jpg", 40, 30, 1),
                                   MakeJpegInput(folder, "c.jpg", 32, 64, 2)};
  TPReportPtr report = CreatePdfWriter();
  std::string pdf = folder.File("drop.pdf");
  BeginPdfDrop(*report, pdf);
  for (const JpegInput &input : inputs) AddPdfPage(*report, input.image, input.path, true, 85);
  EndPdfDrop(*report);

  ExpectValidPdf(pdf);
  EXPECT_EQ(PageSizes(pdf, 3), (std::vector<std::string>{"64 x 48", "40 x 30", "32 x 64"}));
  // Each JPEG is embedded byte for byte, in list order.
  std::string text = ReadText(pdf);
  std::size_t previous = 0;
  for (const JpegInput &input : inputs) {
    std::size_t at = text.find(std::string(input.bytes.begin(), input.bytes.end()));
    ASSERT_NE(at, std::string::npos);
    EXPECT_GT(at, previous);
    previous = at;
  }
  std::regex image_name("/Name /PDFJPEG\\d+");
  EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), image_name),
                          std::sregex_iterator()),
            3);
}

TEST(PdfDrop, RenderedPageShowsTheImageOneUnitRightAndDown) {
  testing::TempDir folder;
  JpegInput input = MakeJpegInput(folder, "in.jpg", 96, 64, 3);
  TPReportPtr report = CreatePdfWriter();
  std::string pdf = folder.File("render.pdf");
  BeginPdfDrop(*report, pdf);
  AddPdfPage(*report, input.image, input.path, true, 85);
  EndPdfDrop(*report);
  ExpectValidPdf(pdf);

  pdf_test::CommandResult render =
      RunCommand("pdftoppm -r 72 -f 1 -l 1 " + Quoted(pdf) + " " + Quoted(folder.File("page")));
  ASSERT_EQ(render.status, 0) << render.output;
  std::string ppm;
  for (const std::string &name : pdf_test::ListFolder(folder.Path()))
    if (name.rfind("page", 0) == 0) ppm = folder.File(name);
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  ASSERT_TRUE(pdf_test::ReadPpm(ppm, width, height, rgb));
  ASSERT_EQ(width, 96);
  ASSERT_EQ(height, 64);
  // Rendered pixel (x, y) shows image pixel (x - 1, y + 1); the left column stays white.
  double total = 0;
  int count = 0;
  for (int y = 2; y < height - 3; ++y) {
    const std::uint8_t *row = input.image.ScanLine(y + 1);
    for (int x = 3; x < width - 2; ++x) {
      const std::uint8_t *page = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      const std::uint8_t *pixel = row + 3 * (x - 1);
      total += std::abs(page[0] - pixel[2]) + std::abs(page[1] - pixel[1]) +
               std::abs(page[2] - pixel[0]);
      count += 3;
    }
  }
  EXPECT_LT(total / count, 6.0);
  const std::uint8_t *corner = &rgb[(static_cast<std::size_t>(height / 2) * width) * 3];
  EXPECT_GT(corner[0] + corner[1] + corner[2], 3 * 240) << "left band should stay white";
}

TEST(PdfDrop, BitmapItemPagesAreValidToo) {
  testing::TempDir folder;
  TPReport report;
  report.SetFileName(folder.File("bitmap.pdf"));
  report.SetCompressionMethod(TPdfCompressionMethod::cmFlateDecode);
  report.SetTitle("Bitmap (1)");
  report.BeginDoc();
  TPRPage page;
  page.SetMarginTop(0);
  auto &panel = page.AddChild(std::make_unique<TPRLayoutPanel>("Panel"));
  panel.SetAlign(TAlign::alClient);
  page.Layout();
  auto &image = panel.AddChild(std::make_unique<TPRImage>("BMP"));
  image.SetBounds(10, 10, 120, 80);
  image.SharedImage = false;
  TPdfBitmapGraphic bitmap(pdf_test::PatternImage(60, 40));
  image.SetPicture(&bitmap);
  report.Print(page);
  image.Stretch = false;
  report.Print(page);
  report.EndDoc();
  ExpectValidPdf(folder.File("bitmap.pdf"));
  EXPECT_EQ(PageSizes(folder.File("bitmap.pdf"), 2),
            (std::vector<std::string>{"596 x 842", "596 x 842"}));
}

// Renders page 1 of a one-page PDF of the JPEG file at 72 dpi.
std::vector<std::uint8_t> RenderJpegPage(const testing::TempDir &folder,
                                         const std::string &jpeg_path, const std::string &name,
                                         int &width, int &height) {
  std::vector<std::uint8_t> bytes = ReadWholeFile(jpeg_path);
  TPdfJpegGraphic jpeg(bytes);
  TPReportPtr report = CreatePdfWriter();
  std::string pdf = folder.File(name + ".pdf");
  BeginPdfDrop(*report, pdf);
  TBitmap page_size;
  page_size.Allocate(jpeg.Width(), jpeg.Height(), TPixelFormat::pf24bit);
  AddPdfPage(*report, page_size, jpeg_path, true, 85);
  EndPdfDrop(*report);
  ExpectValidPdf(pdf);
  pdf_test::CommandResult render =
      RunCommand("pdftoppm -r 72 " + Quoted(pdf) + " " + Quoted(folder.File(name)));
  EXPECT_EQ(render.status, 0) << render.output;
  EXPECT_EQ(render.output, "");  // no decoding complaints
  std::vector<std::uint8_t> rgb;
  EXPECT_TRUE(pdf_test::ReadPpm(folder.File(name + "-1.ppm"), width, height, rgb));
  return rgb;
}

double MeanDifference(const std::vector<std::uint8_t> &a, const std::vector<std::uint8_t> &b,
                      bool luminance) {
  if (a.size() != b.size() || a.empty()) return 1e9;
  double total = 0;
  for (std::size_t i = 0; i + 2 < a.size(); i += 3) {
    if (luminance) {
      double la = 0.299 * a[i] + 0.587 * a[i + 1] + 0.114 * a[i + 2];
      double lb = 0.299 * b[i] + 0.587 * b[i + 1] + 0.114 * b[i + 2];
      total += std::abs(la - lb);
    } else {
      total +=
          (std::abs(a[i] - b[i]) + std::abs(a[i + 1] - b[i + 1]) + std::abs(a[i + 2] - b[i + 2])) /
          3.0;
    }
  }
  return total / static_cast<double>(a.size() / 3);
}

TEST(PdfDrop, GreyAndCmykJpegsAreEmbeddedWithTheirOwnColourSpace) {
  testing::TempDir folder;
  const std::string data = testing::TestDataPath("jpeg") + "/";
  int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
  auto grey = RenderJpegPage(folder, data + "pillow/hopper_gray.jpg", "grey", w1, h1);
  auto colour = RenderJpegPage(folder, data + "pillow/hopper.jpg", "colour", w2, h2);
  EXPECT_EQ(w1, 128);
  EXPECT_LT(MeanDifference(grey, colour, true), 12.0);
  auto cmyk = RenderJpegPage(folder, data + "pillow/pil_sample_cmyk.jpg", "cmyk", w1, h1);
  auto rgb = RenderJpegPage(folder, data + "pillow/pil_sample_rgb.jpg", "rgb", w2, h2);
  EXPECT_EQ(w1, 100);
  EXPECT_LT(MeanDifference(cmyk, rgb, false), 40.0);  // an uninverted CMYK page is a negative
  std::string cmyk_file = ReadText(folder.File("cmyk.pdf"));
  EXPECT_NE(cmyk_file.find("/ColorSpace /DeviceCMYK\r\n"), std::string::npos);
  EXPECT_NE(cmyk_file.find("/Decode [1 0 1 0 1 0 1 0 ]\r\n"), std::string::npos);
  EXPECT_NE(ReadText(folder.File("grey.pdf")).find("/ColorSpace /DeviceGray\r\n"),
            std::string::npos);
}

// The size limit is checked as pages are added: the page that would cross it is refused before
// it is begun, the pages before it stay whole, and the file written never passes the limit (nor
// the size the document estimated for itself).
TEST(PdfDrop, APageThatWouldPassTheSizeLimitStopsTheDropBeforeItIsBegun) {
  testing::TempDir folder;
  JpegInput input = MakeJpegInput(folder, "in.jpg", 64, 48, 3);
  const std::int64_t per_page =
      TPdfDoc::kPageAllowance + static_cast<std::int64_t>(input.bytes.size());
  const std::int64_t limit = TPdfDoc::kPageAllowance + 3 * per_page + per_page / 2;
  TPReportPtr report = CreatePdfWriter();
  EXPECT_EQ(report->MaxFileSize(), 0x7FFFFFFF);
  report->SetMaxFileSize(limit);
  std::string pdf = folder.File("drop.pdf");
  BeginPdfDrop(*report, pdf);
  for (int page = 1; page <= 3; ++page) AddPdfPage(*report, input.image, input.path, true, 85);
  try {
    AddPdfPage(*report, input.image, input.path, true, 85);
    FAIL() << "the fourth page passed the limit";
  } catch (const EPdfTooLarge &e) {
    EXPECT_NE(e.Message().find("2 GiB"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(report->PageCount(), 3);
  std::int64_t estimate = report->Doc()->EstimatedFileSize();
  EXPECT_LE(estimate, limit);
  EndPdfDrop(*report);
  ExpectValidPdf(pdf);
  EXPECT_EQ(PageSizes(pdf, 3), (std::vector<std::string>{"64 x 48", "64 x 48", "64 x 48"}));
  EXPECT_LE(static_cast<std::int64_t>(std::filesystem::file_size(pdf)), estimate);
}

TEST(PdfDrop, ADropWithoutPagesWritesNothing) {
  testing::TempDir folder;
  std::string pdf = folder.File("old.pdf");
  WriteFile(pdf, {'o', 'l', 'd'});
  TPReportPtr report = CreatePdfWriter();
  BeginPdfDrop(*report, pdf);
  EndPdfDrop(*report);
  EXPECT_EQ(ReadText(pdf), "old");
  EXPECT_EQ(pdf_test::ListFolder(folder.Path()).size(), 1u);
  EXPECT_FALSE(report->HasDoc());
}

TEST(PdfDrop, EndDocIntoAFolderThatCannotBeWrittenLeavesNothing) {
  testing::TempDir folder;
  JpegInput input = MakeJpegInput(folder, "in.jpg", 8, 8, 0);
  WriteFile(folder.File("not-a-folder"), {'x'});
  std::vector<std::string> targets = {folder.File("not-a-folder/out.pdf"),
                                      folder.File("missing/out.pdf")};
  if (::geteuid() != 0) {  // permissions do not stop root
    std::filesystem::create_directory(folder.File("locked"));
    std::filesystem::permissions(folder.File("locked"), std::filesystem::perms::owner_read |
                                                            std::filesystem::perms::owner_exec);
    targets.push_back(folder.File("locked/out.pdf"));
  }
  for (const std::string &target : targets) {
    TPReportPtr report = CreatePdfWriter();
    BeginPdfDrop(*report, target);
    AddPdfPage(*report, input.image, input.path, true, 85);
    try {
      EndPdfDrop(*report);
      ADD_FAILURE() << "no failure for " << target;
    } catch (const EFCreateError &e) {
      EXPECT_EQ(e.Message().rfind("ファイル \"" + target + "\". ", 0), 0u) << e.Message();
      EXPECT_NE(e.Message().find("を作成できません"), std::string::npos);
      EXPECT_GT(e.Message().size(), target.size() + 30);  // carries the system's reason
    }
    EXPECT_TRUE(report->HasDoc());  // the document stays open until the next drop
  }
  std::vector<std::string> left = pdf_test::ListFolder(folder.Path());
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected = {"in.jpg", "not-a-folder"};
  if (::geteuid() != 0) {
    expected.insert(expected.begin() + 1, "locked");
    EXPECT_TRUE(pdf_test::ListFolder(folder.File("locked")).empty());
  }
  EXPECT_EQ(left, expected);
}

// The batch run with small fakes of its settings and hosts.
struct DropSettings : TSettingsSnapshot {
  DropSettings() {
    Set(TSetting::kOverWrite, "1");
    Set(TSetting::kFileFormat, "3");
    Set(TSetting::kJPEGQL, "90");
  }
};

struct DropHost : IJobHost, IBatchHost {
  std::string pdf;
  TCursor cursor = TCursor::crDefault;
  TCursor Cursor() const override { return cursor; }
  void SetCursor(TCursor value) override { cursor = value; }
  void ShowErrorMessage(const std::string &text, const std::string &) override {
    ADD_FAILURE() << text;
  }
  std::pair<int, int> PrimaryDisplaySize() override { return {800, 600}; }
  void ReadByPlugins(const std::string &, TBitmap &) override {}
  void SetProgressMax(int) override {}
  void SetProgressPosition(int) override {}
  void SetProgressVisible(bool) override {}
  std::string Caption() const override { return "Drop Files Here."; }
  void SetCaption(const std::string &) override {}
  void ProcessMessages() override {}
  std::optional<std::string> AskPdfFileName() override { return pdf; }
  void ReportError(std::exception_ptr) override {}
};

TEST(PdfDrop, BatchRunGivesOneThreePagePdfInListOrder) {
  testing::TempDir folder;
  // A bitmap (compressed at the quality), a JPEG (embedded byte for byte), a bitmap.
  std::vector<std::string> files;
  for (int i : {0, 2}) {
    files.push_back(folder.File("in" + std::to_string(i) + ".bmp"));
    TSafeFileStream out(files.back());
    WriteBmp(pdf_test::PatternImage(i == 0 ? 50 : 24, i == 0 ? 40 : 36, i), out);
    out.Commit();
  }
  JpegInput jpeg = MakeJpegInput(folder, "in1.jpg", 30, 20, 1);
  files.insert(files.begin() + 1, jpeg.path);
  files.push_back(folder.File("missing.bmp"));  // passed over
  DropSettings settings;
  DropHost host;
  host.pdf = folder.File("batch.pdf");
  TBatchRun batch(settings, host, host);
  batch.FileDrop(files);
  ExpectValidPdf(host.pdf);
  EXPECT_EQ(PageSizes(host.pdf, 3), (std::vector<std::string>{"50 x 40", "30 x 20", "24 x 36"}));
  std::string text = ReadText(host.pdf);
  EXPECT_NE(text.find(std::string(jpeg.bytes.begin(), jpeg.bytes.end())), std::string::npos);
}

TEST(PdfJpegPicture, SharesTheBytesOfAJpegImage) {
  std::string path = testing::TestDataPath("jpeg/libjpeg-turbo/testorig.jpg");
  TJPEGImage jpeg;
  jpeg.LoadFromFile(path);
  TPdfJpegGraphic picture = PdfJpegGraphicOf(jpeg);
  EXPECT_EQ(picture.Width(), 227);
  EXPECT_EQ(picture.Height(), 149);
  auto image = CreatePdfImage(picture, "Pdf-Jpeg");
  EXPECT_EQ(image->Data(), ReadWholeFile(path));
  TJPEGImage empty;
  EXPECT_TRUE(PdfJpegGraphicOf(empty).Empty());
}

}  // namespace
}  // namespace qv
