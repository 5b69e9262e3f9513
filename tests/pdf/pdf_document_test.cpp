// Tests of the document, canvas, image objects and report: the one-page file byte for byte, the
// cross-reference table, fonts, registration, text state and layout rules.
#include <gtest/gtest.h>
#include <zlib.h>

#include <regex>

#include "pdf/document/pdf_canvas.h"
#include "pdf/document/pdf_doc.h"
#include "pdf/document/pdf_font.h"
#include "pdf/images/pdf_graphic.h"
#include "pdf/images/pdf_image_creator.h"
#include "pdf/objects/pdf_array.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/pdf_stream.h"
#include "pdf/objects/pdf_xref.h"
#include "pdf/report/pd_form.h"
#include "pdf/report/pr_jpeg_image.h"
#include "pdf/report/pr_page.h"
#include "pdf/report/pr_panel.h"
#include "pdf/report/pr_report.h"
#include "pdf_test_support.h"
#include "runtime/stream.h"
#include "support/test_data.h"

namespace qv {
namespace {

template <class F>
std::string MessageOf(F &&action) {
  try {
    action();
  } catch (const Exception &e) {
    return e.Message();
  }
  return "(no exception)";
}

std::string Inflate(const std::string &compressed) {
  std::vector<Bytef> out(1 << 20);
  uLongf size = out.size();
  if (uncompress(out.data(), &size, reinterpret_cast<const Bytef *>(compressed.data()),
                 compressed.size()) != Z_OK)
    return "(not zlib)";
  return std::string(out.begin(), out.begin() + static_cast<long>(size));
}

std::string Saved(TPdfDoc &doc) {
  TMemoryStream stream;
  doc.SaveToStream(stream);
  return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

// Prints one page form of a w x h JPEG onto the report, as the conversion job does.
void PrintJpegPage(TPReport &report, const TPdfJpegGraphic &jpeg) {
  TPDForm form;
  form.PDFPage().SetWidth(jpeg.Width());
  form.PDFPage().SetHeight(jpeg.Height());
  form.PDFJPEG().SetWidth(jpeg.Width());
  form.PDFJPEG().SetHeight(jpeg.Height());
  form.PDFJPEG().SetPicture(&jpeg);
  report.Print(form.PDFPage());
}

TEST(PdfFile, OnePage640x480IsWrittenLineByLine) {
  std::vector<std::uint8_t> jpeg_bytes = pdf_test::EncodeJpeg(pdf_test::PatternImage(640, 480));
  TPdfJpegGraphic jpeg(jpeg_bytes);
  testing::TempDir folder;
  TPReport report;
  report.SetFileName(folder.File("one.pdf"));
  report.SetCompressionMethod(TPdfCompressionMethod::cmFlateDecode);
  report.BeginDoc();
  PrintJpegPage(report, jpeg);
  report.EndDoc();
  EXPECT_FALSE(report.HasDoc());
  std::vector<std::uint8_t> file = ReadWholeFile(folder.File("one.pdf"));
  std::string actual(file.begin(), file.end());

  std::smatch m;
  ASSERT_TRUE(std::regex_search(actual, m, std::regex("/CreationDate \\((D:\\d{14})\\)")));
  std::string d1 = m[1];
  ASSERT_TRUE(std::regex_search(actual, m, std::regex("/ModDate \\((D:\\d{14})\\)")));
  std::string d2 = m[1];
  ASSERT_TRUE(std::regex_search(actual, m, std::regex("/PDFJPEG(\\d{1,5}) 7 0 R")));
  std::string n = m[1];
  ASSERT_LE(std::stoi(n), 65534);
  ASSERT_TRUE(std::regex_search(actual, m, std::regex("5 0 obj\r\n<<\r\n/Length (\\d+)\r\n")));
  std::size_t c = std::stoul(m[1]);
  std::size_t content_at = actual.find("stream\r\n", static_cast<std::size_t>(m.position(0))) + 8;
  std::string content = actual.substr(content_at, c);
  EXPECT_EQ(Inflate(content), "/F0 10 Tf\nq\n640 0 0 480 1 -0.99 cm\n/PDFJPEG" + n + " Do\nQ\n");

  std::string expected;
  std::vector<std::size_t> offsets;
  auto lines = [&](std::initializer_list<std::string> items) {
    for (const std::string &line : items) expected += line + "\r\n";
  };
  lines({"%PDF-1.2 "});
  offsets.push_back(expected.size());
  lines({"1 0 obj", "<<", "/Type /Catalog", "/Pages 3 0 R", "/PageMode /UseNone",
         "/PageLayout /SinglePage", ">>", "endobj"});
  offsets.push_back(expected.size());
  lines({"2 0 obj", "<<", "/Producer (Velumbra version 0.9)", "/Author ()",
         "/CreationDate (" + d1 + ")", "/Creator ()", "/Keywords ()", "/Subject ()", "/Title ()",
         "/ModDate (" + d2 + ")", ">>", "endobj"});
  offsets.push_back(expected.size());
  lines({"3 0 obj", "<<", "/Type /Pages", "/Kids [4 0 R ]", "/Count 1", ">>", "endobj"});
  offsets.push_back(expected.size());
  lines({"4 0 obj", "<<", "/Type /Page", "/Parent 3 0 R", "/MediaBox [0 0 640 480 ]",
         "/Resources <<", "/Font <<", "/F0 6 0 R", ">>", "/XObject <<", "/PDFJPEG" + n + " 7 0 R",
         ">>", "/ProcSet [/PDF /Text /ImageC ]", ">>", "/Contents 5 0 R", ">>", "endobj"});
  offsets.push_back(expected.size());
  lines(
      {"5 0 obj", "<<", "/Length " + std::to_string(c), "/Filter [/FlateDecode ]", ">>", "stream"});
  expected += content + "\n";
  lines({"endstream", "endobj"});
  offsets.push_back(expected.size());
  lines({"6 0 obj", "<<", "/Type /Font", "/Subtype /Type1", "/Encoding /WinAnsiEncoding",
         "/FirstChar 32", "/LastChar 255", "/BaseFont /Helvetica", "/Name /F0", ">>", "endobj"});
  offsets.push_back(expected.size());
  lines({"7 0 obj", "<<", "/Length " + std::to_string(jpeg_bytes.size()), "/Filter [/DCTDecode ]",
         "/Type /XObject", "/Subtype /Image", "/ColorSpace /DeviceRGB", "/Width 640", "/Height 480",
         "/BitsPerComponent 8", "/Name /PDFJPEG" + n, ">>", "stream"});
  expected += std::string(jpeg_bytes.begin(), jpeg_bytes.end()) + "\n";
  lines({"endstream", "endobj"});
  std::size_t xref_at = expected.size();
  lines({"xref", "0 8", "0000000000 65535 f"});
  for (std::size_t offset : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n", offset);
    lines({line});
  }
  lines({"trailer", "<<", "/Size 8", "/Root 1 0 R", "/Info 2 0 R", ">>", "startxref",
         std::to_string(xref_at), "%%EOF"});
  EXPECT_EQ(offsets[0], 11u);
  EXPECT_EQ(actual, expected);
  pdf_test::CommandResult check =
      pdf_test::RunCommand("qpdf --check '" + folder.File("one.pdf") + "'");
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
}

TEST(PdfDoc, ADocumentWithoutPageCannotBeSaved) {
  TPdfDoc doc;
  TMemoryStream stream;
  EXPECT_EQ(MessageOf([&] { doc.SaveToStream(stream); }),
            "SaveToStream --there is no document to save.");
  EXPECT_EQ(MessageOf([&] { doc.Canvas(); }), "GetCanvas --Document is null");
  EXPECT_EQ(MessageOf([&] { doc.Info(); }), "GetInfo --this method can not use this state..");
  EXPECT_EQ(MessageOf([&] { doc.Root(); }), "GetRoot --this method can not use this state..");
  EXPECT_EQ(MessageOf([&] { doc.GetFont("Arial"); }), "GetFont --document is null.");
  EXPECT_EQ(MessageOf([&] { doc.OutlineRoot(); }), "GetOutlineRoot --document is null..");
  doc.NewDoc();
  EXPECT_EQ(MessageOf([&] { doc.SaveToStream(stream); }), "GetPage --the Page is nil");
  EXPECT_EQ(MessageOf([&] { doc.OutlineRoot(); }), "GetOutlineRoot --not use outline mode..");
  EXPECT_TRUE(stream.Bytes().empty());
}

TEST(PdfDoc, SavingTwiceDiffersOnlyInModDate) {
  TPdfDoc doc;
  doc.NewDoc();
  doc.AddPage();
  std::string first = Saved(doc);
  std::string second = Saved(doc);
  std::regex mod_date("/ModDate \\(D:\\d{14}\\)");
  EXPECT_EQ(std::regex_replace(first, mod_date, "M"), std::regex_replace(second, mod_date, "M"));
  EXPECT_NE(first.find("xref\r\n0 7\r\n0000000000 65535 f\r\n0000000011 00000 n\r\n"),
            std::string::npos);
}

TEST(PdfDoc, FontsAreCreatedOnceByAlias) {
  TPdfDoc doc;
  doc.NewDoc();
  int objects = doc.ObjectMgr().ItemCount();
  TPdfFont &arial = doc.GetFont("Arial");
  EXPECT_EQ(doc.ObjectMgr().ItemCount(), objects + 1);
  EXPECT_EQ(&doc.GetFont("Arial"), &arial);
  EXPECT_EQ(doc.ObjectMgr().ItemCount(), objects + 1);
  EXPECT_EQ(arial.Data()->FindName("Name")->Value(), "F0");
  TPdfFont &times = doc.GetFont("Times-Bold");
  EXPECT_EQ(times.Data()->FindName("Name")->Value(), "F1");
  EXPECT_EQ(times.Data()->FindName("BaseFont")->Value(), "Times-Bold");
  auto &helvetica = dynamic_cast<TPdfType1Font &>(arial);
  EXPECT_EQ(helvetica.Width(' '), 278);
  EXPECT_EQ(helvetica.Width('0'), 556);
  EXPECT_EQ(helvetica.Width('\''), 191);
  EXPECT_EQ(helvetica.Width(160), 0);
  EXPECT_EQ(dynamic_cast<TPdfType1Font &>(doc.GetFont("FixedWidth-Italic")).Width('W'), 600);
  EXPECT_EQ(MessageOf([&] { doc.GetFont("Comic"); }), "クラス Comic が見つかりません");
}

TEST(PdfDoc, ImageObjectsRegisterUnderUniqueNames) {
  TPdfDoc doc;
  doc.NewDoc();
  TPdfJpegGraphic jpeg(pdf_test::EncodeJpeg(pdf_test::PatternImage(8, 4)));
  doc.AddXObject("IMG", CreatePdfImage(jpeg, "Pdf-Jpeg"));
  EXPECT_NE(doc.GetXObject("IMG"), nullptr);
  EXPECT_EQ(MessageOf([&] { doc.AddXObject("IMG", CreatePdfImage(jpeg, "Pdf-Jpeg")); }),
            "AddImage --the image named IMG is already exists..");
  EXPECT_EQ(MessageOf([&] { doc.AddXObject("X", std::make_unique<TPdfStream>()); }),
            "AddImage --the image is not valid TPdfImage..");
  EXPECT_EQ(MessageOf([&] { CreatePdfImage(jpeg, "Pdf-Png"); }), "クラス Pdf-Png が見つかりません");
  TPdfBitmapGraphic bitmap(pdf_test::PatternImage(2, 2));
  EXPECT_EQ(MessageOf([&] { CreatePdfImage(bitmap, "Pdf-Jpeg"); }), "only jpeg image is allowed.");
}

TEST(PdfDoc, JpegImageObjectEmbedsTheBytesUnchanged) {
  std::vector<std::uint8_t> bytes =
      ReadWholeFile(testing::TestDataPath("jpeg/libjpeg-turbo/testorig.jpg"));
  TPdfJpegGraphic jpeg(bytes);
  auto image = CreatePdfImage(jpeg, "Pdf-Jpeg");
  EXPECT_EQ(image->Data(), bytes);
  EXPECT_EQ(image->Attributes().FindNumber("Width")->Value(), 227);
  EXPECT_EQ(image->Attributes().FindNumber("Height")->Value(), 149);
  EXPECT_TRUE(image->Attributes().FindArray("Filter")->FindName("DCTDecode"));
}

TEST(PdfDoc, BitmapImageObjectsCarryRgbOrIndexedPixels) {
  TBitmap rgb = pdf_test::PatternImage(3, 2, 1);
  auto image = CreatePdfImage(TPdfBitmapGraphic(rgb), "Pdf-Bitmap");
  ASSERT_EQ(image->Data().size(), 18u);
  const std::uint8_t *top = rgb.ScanLine(0);
  EXPECT_EQ(image->Data()[0], top[2]);  // red first, top row first
  EXPECT_EQ(image->Data()[2], top[0]);
  EXPECT_EQ(image->Data()[9 + 1], rgb.ScanLine(1)[1]);
  EXPECT_EQ(image->Attributes().FindName("ColorSpace")->Value(), "DeviceRGB");
  EXPECT_TRUE(image->Attributes().FindArray("Filter")->FindName("FlateDecode"));

  TBitmap indexed;
  indexed.Allocate(2, 2, TPixelFormat::pf8bit);
  indexed.ScanLine(0)[1] = 7;
  auto palette_image = CreatePdfImage(TPdfBitmapGraphic(indexed), "Pdf-Bitmap");
  EXPECT_EQ(palette_image->Data(), (std::vector<std::uint8_t>{0, 7, 0, 0}));
  TPdfArray *space = palette_image->Attributes().FindArray("ColorSpace");
  ASSERT_NE(space, nullptr);
  TMemoryStream out;
  space->WriteTo(out);
  std::string text(out.Bytes().begin(), out.Bytes().end());
  const TRGBQuad &entry = indexed.Palette()[7];
  char hex[8];
  std::snprintf(hex, sizeof hex, "%02X%02X%02X", entry.red, entry.green, entry.blue);
  EXPECT_EQ(text.substr(0, 30), "[/Indexed /DeviceRGB 255 <" + text.substr(26, 4));
  EXPECT_EQ(text.size(), std::string("[/Indexed /DeviceRGB 255 <").size() + 256 * 7 + 3);
  EXPECT_EQ(text.substr(26 + 7 * 7, 7), std::string(hex) + " ");
}

TEST(PdfCanvas, DrawingAndFontSelection) {
  TPdfDoc doc;
  doc.SetCompressionMethod(TPdfCompressionMethod::cmNone);
  doc.NewDoc();
  doc.AddPage();
  TPdfCanvas &canvas = doc.Canvas();
  TPdfJpegGraphic jpeg(pdf_test::EncodeJpeg(pdf_test::PatternImage(4, 4)));
  doc.AddXObject("IM", CreatePdfImage(jpeg, "Pdf-Jpeg"));
  canvas.SetFont("Arial", 10);  // same font and size: nothing written
  canvas.DrawXObject(1, -1, 640, 480, "IM");
  canvas.DrawXObject(0, 0, 10, 10, "IM");
  EXPECT_EQ(MessageOf([&] { canvas.DrawXObject(0, 0, 1, 1, "NO"); }),
            "DrawXObject --XObject not found: NO");
  EXPECT_EQ(MessageOf([&] { canvas.DrawXObjectEx(0, 0, 1, 1, 0, 0, 1, 1, "NO"); }),
            "DrawXObjectEx --XObject not found: NO");
  canvas.DrawXObjectEx(0.5f, 0, 8, 8, 0, 0, 4, 4, "IM");
  auto *contents = dynamic_cast<TPdfStream *>(canvas.Page().Find("Contents"));
  EXPECT_EQ(std::string(contents->Data().begin(), contents->Data().end()),
            "/F0 10 Tf\nq\n640 0 0 480 1 -0.99 cm\n/IM Do\nQ\nq\n10 0 0 10 0 0 cm\n/IM Do\nQ\n"
            "q\n0 0 4 4 re\nW\nn\n8 0 0 8 0.5 0 cm\n/IM Do\nQ\n");
  EXPECT_EQ(canvas.Page().FindDictionary("Resources")->FindDictionary("XObject")->ItemCount(), 1);
  canvas.SetFont("Arial", 12);
  canvas.SetPageWidth(300);
  canvas.SetPageHeight(200);
  TMemoryStream out;
  canvas.Page().FindArray("MediaBox")->WriteTo(out);
  EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), "[0 0 300 200 ]");
}

TEST(PdfCanvas, VirtualCanvasKeepsStateButWritesNothing) {
  TPdfDoc doc;
  doc.NewDocForMeasuring();
  TPdfCanvas &canvas = doc.Canvas();
  canvas.SetFont("Times-Roman", 20);
  EXPECT_EQ(canvas.Attribute().FontSize(), 20);
  EXPECT_NE(canvas.Page().FindDictionary("Resources")->FindDictionary("Font")->Find("F1"), nullptr);
  canvas.SaveState();
  EXPECT_TRUE(dynamic_cast<TPdfStream *>(canvas.Page().Find("Contents"))->Data().size() ==
              10);  // "/F0 10 Tf\n" only
}

TEST(PdfCanvas, TextStateRangesAreChecked) {
  TPdfCanvasAttribute state;
  EXPECT_EQ(MessageOf([&] { state.SetHorizontalScaling(9); }),
            "SetHorizontalScaling --invalid font size");
  EXPECT_EQ(MessageOf([&] { state.SetHorizontalScaling(301); }),
            "SetHorizontalScaling --invalid font size");
  EXPECT_EQ(MessageOf([&] { state.SetFontSize(301); }), "SetCharSpace --invalid font size");
  EXPECT_EQ(MessageOf([&] { state.SetCharSpace(-31); }), "SetCharSpace --invalid char space");
  EXPECT_EQ(MessageOf([&] { state.SetWordSpace(-0.5f); }), "SetWordSpace --invalid word space");
  EXPECT_EQ(MessageOf([&] { state.SetLeading(300.5f); }), "SetLeading --invalid font size");
  state.SetHorizontalScaling(10);
  state.SetHorizontalScaling(300);
  state.SetCharSpace(-30);
  state.SetFontSize(300);
  EXPECT_EQ(state.FontSize(), 300);
}

TEST(PdfReport, PropertiesAreFixedWhileADocumentIsOpen) {
  TPReport report;
  report.SetTitle("before");
  report.BeginDoc();
  EXPECT_EQ(MessageOf([&] { report.SetTitle("x"); }), "SetTitle --invalid operation.");
  EXPECT_EQ(MessageOf([&] { report.SetKeywords("x"); }), "SetKeyWords --invalid operation.");
  EXPECT_EQ(MessageOf([&] { report.SetUseOutlines(true); }), "SetUseOutlines --invalid operation.");
  EXPECT_EQ(report.Title(), "before");
  report.SetFileName("other.pdf");  // allowed
  TPdfDoc *first = report.Doc();
  report.BeginDoc();  // discards the first document silently
  EXPECT_NE(report.Doc(), nullptr);
  (void)first;
  report.Abort();
  EXPECT_EQ(MessageOf([&] { report.EndDoc(); }), "document is null..");
  report.SetNonFullScreenPageMode(TPdfPageMode::pmFullScreen);
  EXPECT_EQ(report.NonFullScreenPageMode(), TPdfPageMode::pmUseNone);
}

TEST(PdfReport, SharedImagesAreEmbeddedOnce) {
  TPdfJpegGraphic jpeg(pdf_test::EncodeJpeg(pdf_test::PatternImage(16, 8)));
  for (bool shared : {false, true}) {
    TPReport report;
    report.BeginDoc();
    TPDForm form;
    form.PDFJPEG().SharedImage = shared;
    form.PDFJPEG().SetPicture(&jpeg);
    report.Print(form.PDFPage());
    report.Print(form.PDFPage());
    int images = 0;
    for (int i = 1; i < report.Doc()->ObjectMgr().ItemCount(); ++i)
      if (auto *stream = dynamic_cast<TPdfStream *>(report.Doc()->ObjectMgr().GetObject(i)))
        images += stream->Attributes().TypeOf() == "XObject";
    EXPECT_EQ(images, shared ? 1 : 2);
    if (shared) {
      EXPECT_NE(report.Doc()->GetXObject("PDFJPEG"), nullptr);
    }
  }
}

TEST(PdfReport, EmptyItemPrintsNothingAndWrongPicturesAreRefused) {
  TPReport report;
  report.BeginDoc();
  TPDForm form;
  report.Print(form.PDFPage());
  EXPECT_EQ(report.PageCount(), 1);
  auto *contents = dynamic_cast<TPdfStream *>(report.Doc()->Canvas().Page().Find("Contents"));
  EXPECT_EQ(std::string(contents->Data().begin(), contents->Data().end()), "/F0 10 Tf\n");
  TPdfBitmapGraphic bitmap(pdf_test::PatternImage(2, 2));
  EXPECT_EQ(MessageOf([&] { form.PDFJPEG().SetPicture(&bitmap); }), "only jpeg image is allowed.");
  TPRImage image;
  TPdfJpegGraphic jpeg(pdf_test::EncodeJpeg(pdf_test::PatternImage(2, 2)));
  EXPECT_EQ(MessageOf([&] { image.SetPicture(&jpeg); }), "only bitmap image is allowed.");
}

TEST(PdfLayout, MarginsAndClientPanels) {
  TPRPage page;
  auto &panel = page.AddChild(std::make_unique<TPRLayoutPanel>());
  panel.SetAlign(TAlign::alClient);
  page.Layout();
  EXPECT_EQ(panel.BoundsRect(), (TRect{33, 33, 33 + 530, 33 + 776}));
  page.SetMarginLeft(300);  // not less than 596 / 2: ignored
  EXPECT_EQ(page.MarginLeft(), 32);
  page.SetMarginLeft(297);
  EXPECT_EQ(page.MarginLeft(), 297);
  EXPECT_EQ(panel.Left(), 298);
  page.SetMarginTop(-1);
  EXPECT_EQ(page.MarginTop(), 32);
  auto &item = panel.AddChild(std::make_unique<TPRItem>());
  EXPECT_EQ(item.Page(), &page);
  EXPECT_EQ(MessageOf([&] { page.AddChild(std::make_unique<TPRItem>()); }),
            "this component must set on TPRPanel");
  TPRItem holder;
  (void)holder;
}

TEST(PdfLayout, PageFormFollowsTheImageSize) {
  TPDForm form;
  EXPECT_EQ(form.PDFPanel().BoundsRect(), (TRect{1, 1, 595, 841}));
  form.PDFPage().SetWidth(640);
  form.PDFPage().SetHeight(480);
  EXPECT_EQ(form.PDFPanel().BoundsRect(), (TRect{1, 1, 639, 479}));
}

}  // namespace
}  // namespace qv
