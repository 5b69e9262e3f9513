// The settings as they stood at one moment: what a file is converted with when the conversion
// runs away from the controls that hold the settings (on a worker thread).
#pragma once

#include <string>

#include "settings/job_settings.h"

namespace qv {

// Every setting of IJobSettings is copied: a setting added there must be added here too.
class TSettingsSnapshot : public IJobSettings {
 public:
  // Reads every setting from source now.
  void Take(const IJobSettings& source);

  int OutputMode() const override { return output_mode_; }
  std::string DstDir() const override { return dst_dir_; }
  int OverWrite() const override { return over_write_; }
  int FileFormat() const override { return file_format_; }
  int TargetRes() const override { return target_res_; }
  int ResampleMode() const override { return resample_mode_; }
  bool SepiaMode() const override { return sepia_mode_; }
  bool Reduce256ColorMode() const override { return reduce_256_color_mode_; }
  int JPEGQL() const override { return jpeg_ql_; }
  int PNGCL() const override { return png_cl_; }
  bool AutoOrient() const override { return auto_orient_; }
  bool KeepMetadata() const override { return keep_metadata_; }
  bool KeepAspect() const override { return keep_aspect_; }
  bool CustomSize() const override { return custom_size_; }
  int CustomWidth() const override { return custom_width_; }
  int CustomHeight() const override { return custom_height_; }
  bool FastShrink() const override { return fast_shrink_; }
  int PNGFilters() const override { return png_filters_; }

 private:
  int output_mode_ = 0;
  std::string dst_dir_;
  int over_write_ = 0;
  int file_format_ = 0;
  int target_res_ = 0;
  int resample_mode_ = 0;
  bool sepia_mode_ = false;
  bool reduce_256_color_mode_ = false;
  int jpeg_ql_ = 85;
  int png_cl_ = 9;
  bool auto_orient_ = false;
  bool keep_metadata_ = false;
  bool keep_aspect_ = false;
  bool custom_size_ = false;
  int custom_width_ = 0;
  int custom_height_ = 0;
  bool fast_shrink_ = false;
  int png_filters_ = 0;
};

}  // namespace qv
