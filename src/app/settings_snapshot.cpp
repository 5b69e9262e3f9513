// The settings as they stood at one moment.
#include "app/settings_snapshot.h"

namespace qv {

void TSettingsSnapshot::Take(const IJobSettings& source) {
  output_mode_ = source.OutputMode();
  dst_dir_ = source.DstDir();
  over_write_ = source.OverWrite();
  file_format_ = source.FileFormat();
  target_res_ = source.TargetRes();
  resample_mode_ = source.ResampleMode();
  sepia_mode_ = source.SepiaMode();
  reduce_256_color_mode_ = source.Reduce256ColorMode();
  jpeg_ql_ = source.JPEGQL();
  png_cl_ = source.PNGCL();
  auto_orient_ = source.AutoOrient();
  keep_metadata_ = source.KeepMetadata();
  keep_aspect_ = source.KeepAspect();
  custom_size_ = source.CustomSize();
  custom_width_ = source.CustomWidth();
  custom_height_ = source.CustomHeight();
  fast_shrink_ = source.FastShrink();
  png_filters_ = source.PNGFilters();
}

}  // namespace qv
