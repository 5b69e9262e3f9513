// The job's names for the settings stored as item indexes. The settings stay integers as the
// controls hold them; the job turns each into its name here, where it reads it.
#pragma once

#include <string>

namespace qv {

// What a file is written as (FileFormat 0 to 5).
enum class TOutputFormat { kBmp, kJpeg, kPng, kPdf, kWebP, kAvif };

// FileFormat as stored. An index outside 0..5 (-1 from a hand-edited file) is BMP, the dialog's
// default, so a file is never silently dropped.
TOutputFormat OutputFormatOf(int file_format);

// The extension an output of the format gets: ".bmp", ".jpg", ".png", ".pdf", ".webp", ".avif".
const char* OutputExtension(TOutputFormat format);

// Where an output goes (OutputMode 0 or 1).
enum class TOutputPlace { kBesideInput, kDstDir };

// OutputMode as stored; anything but 1 (-1 from a hand-edited file) is beside the input, the
// dialog's default.
TOutputPlace OutputPlaceOf(int output_mode);

// The reader a file's extension selects.
enum class TReader { kBmp, kPng, kJpeg, kPlugins };

// By the extension's place in the reader-selection text (see ReaderPosition): 1 BMP, 5 PNG, 9 and
// 13 JPEG, anything else (no extension, ".pdf", an extension not in the text) the plug-in host.
TReader ReaderOf(const std::string& file_name);

// How a picture is resized (ResampleMode 0 to 5): "Bi-Linear", "Bi-Linear(MMX)", then the
// filtered resampler with the Mitchell, Lanczos3, B-Spline and Bell kernels.
enum class TResampleMethod {
  kBilinear,
  kFixedPointBilinear,
  kMitchell,
  kLanczos3,
  kBSpline,
  kBell,
  kCropOrExtend,  // no resampling: the picture is cut or extended to the target size
};

// ResampleMode as stored; an index outside 0..5 (-1 from a hand-edited file) crops or extends.
TResampleMethod ResampleMethodOf(int resample_mode);

}  // namespace qv
