// The conversion job: output naming, reader choice, resize, effects and the writers.
#include "app/conversion_job.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "app/fit_inside.h"
#include "app/image_io.h"
#include "app/image_steps.h"
#include "app/job_host.h"
#include "app/job_settings.h"
#include "app/pdf_steps.h"
#include "codecs/jpeg_image.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "runtime/strings.h"
#include "settings/photo_settings.h"

namespace qv {

int ReaderPosition(const std::string& file_name) {
  std::string ext = LowerCaseAscii(ExtractFileExt(file_name));
  if (ext.empty()) return 0;
  const char* found = std::strstr(kReaderExtensions, ext.c_str());
  return found ? static_cast<int>(found - kReaderExtensions) + 1 : 0;
}

std::string OutputFolder(const std::string& file_name, int output_mode,
                         const std::string& dst_dir) {
  // OutputMode -1 (no item chosen, from a hand-edited file) writes beside the input, the
  // dialog's default.
  if (output_mode == 1) return IncludeTrailingPathDelimiter(dst_dir);
  return ExtractFilePath(file_name);
}

std::string OutputPath(const std::string& file_name, int output_mode, const std::string& dst_dir,
                       int file_format) {
  std::string folder = OutputFolder(file_name, output_mode, dst_dir);
  std::string name = ChangeFileExt(ExtractFileName(file_name), kOutputExtensions[file_format]);
  return folder + name;
}

TConversionJob::TConversionJob(const IJobSettings& settings, IJobHost& host)
    : settings_(settings), host_(host) {}

int EffectiveFileFormat(int file_format) {
  return file_format >= 0 && file_format <= 3 ? file_format : 0;
}

void TConversionJob::ConvertFile(const std::string& file_name) {
  TCursor saved_cursor = host_.Cursor();
  host_.SetCursor(TCursor::crHourGlass);

  std::string output_path = OutputPath(file_name, settings_.OutputMode(), settings_.DstDir(),
                                       EffectiveFileFormat(settings_.FileFormat()));
  if (settings_.OverWrite() == 0 && FileExists(output_path)) {
    host_.SetCursor(saved_cursor);
    return;
  }

  TBitmap image;
  int reader_position = ReaderPosition(file_name);
  const bool jpeg_input = reader_position == 9 || reader_position == 13;
  std::optional<std::pair<int, int>> target;
  if (jpeg_input) {
    // The header first: a PDF page may take the bytes as they are, never decoded, and a fast
    // shrink picks its decoding scale from the full size.
    TJPEGImage jpeg;
    jpeg.LoadFromFile(file_name);
    target = ResizeTarget(jpeg.Width(), jpeg.Height());
    if (PageNeedsNoPixels(reader_position, target.has_value())) {
      CheckEmbeddableJpeg(jpeg);
      MakeOutputFolder(output_path);
      AddPage(MakePdfPagePicture(jpeg));
      host_.SetCursor(saved_cursor);
      return;
    }
    if (target && settings_.FastShrink())
      jpeg.SetScale(JpegScaleFor(jpeg.Width(), jpeg.Height(), target->first, target->second));
    jpeg.AssignTo(image);
  } else {
    ReadImage(reader_position, file_name, image);
  }
  if (image.Empty()) {
    host_.SetCursor(saved_cursor);
    return;
  }

  if (!jpeg_input) target = ResizeTarget(image.Width(), image.Height());
  if (target) Resize(image, *target);
  if (settings_.SepiaMode()) SepiaStep(image);
  if (settings_.Reduce256ColorMode()) Reduce256Step(image);

  MakeOutputFolder(output_path);
  Write(image, file_name, reader_position, output_path, target.has_value());
  host_.SetCursor(saved_cursor);
}

void TConversionJob::AddPage(TPdfPagePicture picture) {
  if (page_sink_)
    page_sink_(std::move(picture));
  else
    PrintPdfPage(*report_, picture);
  ++pages_added_;
}

bool TConversionJob::PdfKeepsInputJpeg(int reader_position, bool resized) const {
  bool size_kept = settings_.TargetRes() == 0 && !settings_.CustomSize();
  if (settings_.KeepAspect() && !resized) size_kept = true;
  return size_kept && !settings_.SepiaMode() && (reader_position == 9 || reader_position == 13);
}

bool TConversionJob::PageNeedsNoPixels(int reader_position, bool resized) const {
  return pdf_mode_ && (report_ != nullptr || page_sink_) &&
         EffectiveFileFormat(settings_.FileFormat()) == 3 &&
         PdfKeepsInputJpeg(reader_position, resized) && !settings_.Reduce256ColorMode();
}

void TConversionJob::MakeOutputFolder(const std::string& output_path) {
  std::string folder = ExtractFilePath(output_path);
  if (!folder.empty() && !DirectoryExists(folder)) ForceDirectories(folder);
}

void TConversionJob::ReadImage(int reader_position, const std::string& file_name, TBitmap& image) {
  switch (reader_position) {
    case 1: ReadBmpFile(file_name, image); break;
    case 5: ReadPngFile(file_name, image); break;
    case 9:
    case 13: ReadJpegFile(file_name, image); break;
    default: host_.ReadByPlugins(file_name, image); break;
  }
}

std::optional<std::pair<int, int>> TConversionJob::ResizeTarget(int image_width, int image_height) {
  if (settings_.TargetRes() <= 0 && !settings_.CustomSize()) return std::nullopt;
  int index = settings_.TargetRes();
  int width = 0, height = 0;
  if (settings_.CustomSize()) {
    // The field's range; a hand-edited or unconfirmed value outside it is clamped.
    width = std::clamp(settings_.CustomWidth(), kCustomSizeMin, kCustomSizeMax);
    height = std::clamp(settings_.CustomHeight(), kCustomSizeMin, kCustomSizeMax);
  } else if (index == 1) {
    // Asking for the display size is not part of the resize: a host that cannot tell fails the
    // file with its own message rather than the resize message.
    std::tie(width, height) = host_.PrimaryDisplaySize();
  } else if (index >= 2 && index <= 9) {
    width = kTargetWidths[index];
    height = kTargetHeights[index];
  } else {
    return std::nullopt;  // an index beyond the table (hand-edited file)
  }
  if (settings_.KeepAspect() && width > 0 && height > 0) {
    // The target is a box: the picture fits inside with its shape kept and is never enlarged,
    // so a picture already inside the box is left as it is.
    if (image_width <= width && image_height <= height) return std::nullopt;
    return FitInside(image_width, image_height, width, height);
  }
  return std::make_pair(width, height);
}

void TConversionJob::Resize(TBitmap& image, std::pair<int, int> target) {
  try {
    ResizeBitmap(image, target.first, target.second, settings_.ResampleMode());
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception&) {
    host_.ShowErrorMessage(kResizeErrorText, kResizeErrorCaption);
  }
}

namespace {

// Quality 1..100 and level 0..9, the ranges of the dialog's fields: an unconfirmed or
// hand-edited value outside them is clamped rather than wrapped into the codec's byte.
int Clamp(int value, int low, int high) { return std::min(std::max(value, low), high); }

}  // namespace

void TConversionJob::Write(const TBitmap& image, const std::string& file_name, int reader_position,
                           const std::string& output_path, bool resized) {
  int format = EffectiveFileFormat(settings_.FileFormat());
  if (format == 3) {
    if (!pdf_mode_ || (report_ == nullptr && !page_sink_)) return;
    // A JPEG that kept its pixels embeds its own bytes.
    bool embed = PdfKeepsInputJpeg(reader_position, resized);
    AddPage(MakePdfPagePicture(image, file_name, embed, Clamp(settings_.JPEGQL(), 1, 100)));
    return;
  }
  // The output lands only when complete: a failure leaves any old file untouched.
  TSafeFileStream out(output_path);
  switch (format) {
    case 0: WriteBmp(image, out); break;
    case 1: WriteJpeg(image, out, Clamp(settings_.JPEGQL(), 1, 100)); break;
    case 2:
      WritePng(image, out, Clamp(settings_.PNGCL(), 0, 9), settings_.PNGFilters() == 1);
      break;
  }
  out.Commit();
}

}  // namespace qv
