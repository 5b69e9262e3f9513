// The job's names for the stored item indexes.
#include "app/job_options.h"

#include <string_view>

#include "app/conversion_job.h"

namespace qv {

TOutputFormat OutputFormatOf(int file_format) {
  switch (file_format) {
    case 1: return TOutputFormat::kJpeg;
    case 2: return TOutputFormat::kPng;
    case 3: return TOutputFormat::kPdf;
    case 4: return TOutputFormat::kWebP;
    case 5: return TOutputFormat::kAvif;
    default: return TOutputFormat::kBmp;
  }
}

const char* OutputExtension(TOutputFormat format) {
  switch (format) {
    case TOutputFormat::kBmp: return ".bmp";
    case TOutputFormat::kJpeg: return ".jpg";
    case TOutputFormat::kPng: return ".png";
    case TOutputFormat::kPdf: return ".pdf";
    case TOutputFormat::kWebP: return ".webp";
    case TOutputFormat::kAvif: return ".avif";
  }
  return ".bmp";
}

TOutputPlace OutputPlaceOf(int output_mode) {
  return output_mode == 1 ? TOutputPlace::kDstDir : TOutputPlace::kBesideInput;
}

namespace {

// Where an extension stands in kReaderExtensions, as ReaderPosition gives it (1-based). Compared
// character by character: g++ 12 with -fsanitize=undefined cannot evaluate string_view::find
// here as a constant (it sees the array's address tested against null).
constexpr int PositionOf(std::string_view extension) {
  const std::string_view all = kReaderExtensions;
  for (std::size_t at = 0; at + extension.size() <= all.size(); ++at) {
    std::size_t same = 0;
    while (same < extension.size() && all[at + same] == extension[same]) ++same;
    if (same == extension.size()) return static_cast<int>(at) + 1;
  }
  return 0;
}

}  // namespace

TReader ReaderOf(const std::string& file_name) {
  switch (ReaderPosition(file_name)) {
    case PositionOf(".bmp"): return TReader::kBmp;
    case PositionOf(".png"): return TReader::kPng;
    case PositionOf(".jpg"):
    case PositionOf(".jpeg"): return TReader::kJpeg;
    default: return TReader::kPlugins;
  }
}

TResampleMethod ResampleMethodOf(int resample_mode) {
  switch (resample_mode) {
    case 0: return TResampleMethod::kBilinear;
    case 1: return TResampleMethod::kFixedPointBilinear;
    case 2: return TResampleMethod::kMitchell;
    case 3: return TResampleMethod::kLanczos3;
    case 4: return TResampleMethod::kBSpline;
    case 5: return TResampleMethod::kBell;
    default: return TResampleMethod::kCropOrExtend;
  }
}

}  // namespace qv
