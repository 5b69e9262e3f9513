// The conversion job: one input file to one output file or one PDF page.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "app/pdf_steps.h"

namespace qv {

class IJobHost;
class IJobSettings;
class TPReport;

// Output extension by FileFormat and the reader-selection text.
inline constexpr const char* kOutputExtensions[4] = {".bmp", ".jpg", ".png", ".pdf"};
inline constexpr char kReaderExtensions[] = ".bmp.png.jpg.jpeg.pdf";

// Target sizes of TargetRes 2 to 9 (0 is no resize, 1 the primary display).
inline constexpr int kTargetWidths[10] = {0, 0, 96, 640, 800, 1024, 1152, 1280, 1280, 1600};
inline constexpr int kTargetHeights[10] = {0, 0, 96, 480, 600, 768, 864, 960, 1024, 1200};

// The resize-failure message box.
inline constexpr char kResizeErrorText[] =
    "対象の画像サイズが大きすぎます。\r\n申し訳ありませんが縮小できません。";
inline constexpr char kResizeErrorCaption[] = "エラー";

// Position of a file's extension in kReaderExtensions (1-based, 0 when empty or absent):
// 1 BMP, 5 PNG, 9 and 13 JPEG, anything else the plug-in host.
int ReaderPosition(const std::string& file_name);

// The folder an output goes to: beside the input (OutputMode 0; also -1) or DstDir with "/".
std::string OutputFolder(const std::string& file_name, int output_mode, const std::string& dst_dir);

// The format a FileFormat value writes: outside 0..3 (-1 from a hand-edited file) it is BMP, the
// dialog's default, so a file is never silently dropped.
int EffectiveFileFormat(int file_format);

// The output path for a file: folder plus the name with the format's extension.
std::string OutputPath(const std::string& file_name, int output_mode, const std::string& dst_dir,
                       int file_format);

class TConversionJob {
 public:
  TConversionJob(const IJobSettings& settings, IJobHost& host);

  // Converts one file. A resize failure is reported through the host and absorbed; every other
  // failure passes to the caller.
  void ConvertFile(const std::string& file_name);

  // True while a PDF report is open for the current drop; pages go to report.
  bool PdfMode() const { return pdf_mode_; }
  void SetPdfMode(bool pdf_mode, TPReport* report) {
    pdf_mode_ = pdf_mode;
    report_ = report;
  }
  // In PDF mode, hands each page's picture to sink instead of printing it into a report (the
  // caller prints them in list order).
  void SetPdfPageSink(std::function<void(TPdfPagePicture)> sink) { page_sink_ = std::move(sink); }
  // Pages added since SetPdfMode(true, ...).
  int PagesAdded() const { return pages_added_; }

 private:
  // True when this file becomes a PDF page that embeds the input JPEG's bytes unchanged and no
  // step needs its pixels (the colour reduction would see them, so it does).
  bool PageNeedsNoPixels(int reader_position, bool resized) const;
  void AddPage(TPdfPagePicture picture);
  static void MakeOutputFolder(const std::string& output_path);
  void ReadImage(int reader_position, const std::string& file_name, class TBitmap& image);
  // The size the picture of width x height is resized to (fitted inside the target when the
  // shape is kept); none when it is not resized.
  std::optional<std::pair<int, int>> ResizeTarget(int width, int height);
  // Resizes to target (reporting a failure); the picture keeps its size when that fails.
  void Resize(class TBitmap& image, std::pair<int, int> target);
  // True when the page embeds the input JPEG's own bytes: no target size, or one the picture
  // already fits inside with the shape kept, and no sepia.
  bool PdfKeepsInputJpeg(int reader_position, bool resized) const;
  void Write(const class TBitmap& image, const std::string& file_name, int reader_position,
             const std::string& output_path, bool resized);

  const IJobSettings& settings_;
  IJobHost& host_;
  bool pdf_mode_ = false;
  TPReport* report_ = nullptr;
  int pages_added_ = 0;
  std::function<void(TPdfPagePicture)> page_sink_;
};

}  // namespace qv
