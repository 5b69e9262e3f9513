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

// Where an extension stands in kReaderExtensions, as ReaderPosition gives it (1-based).
constexpr int PositionOf(std::string_view extension) {
  return static_cast<int>(std::string_view(kReaderExtensions).find(extension)) + 1;
}

}  // namespace

TReader ReaderOf(const std::string& file_name) {
  // Compared one by one rather than as case labels: the sanitizer build's checks keep the
  // positions from being constants there.
  const int position = ReaderPosition(file_name);
  if (position == PositionOf(".bmp")) return TReader::kBmp;
  if (position == PositionOf(".png")) return TReader::kPng;
  if (position == PositionOf(".jpg") || position == PositionOf(".jpeg")) return TReader::kJpeg;
  return TReader::kPlugins;
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
