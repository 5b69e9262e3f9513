// The settings the conversion job reads, each at the moment the step that needs it runs. The
// interface lives with the settings so the settings record can implement it without the settings
// depending on the job.
#pragma once

#include <string>

namespace qv {

// Implemented by the settings dialog (GUI) and by the settings record (command line). Values are
// as the controls hold them: item indexes may be -1, spin values are unclamped.
class IJobSettings {
 public:
  virtual ~IJobSettings() = default;
  virtual int OutputMode() const = 0;  // 0 beside the input, 1 into DstDir
  virtual std::string DstDir() const = 0;
  virtual int OverWrite() const = 0;     // 0 pass over an existing output, 1 overwrite
  virtual int FileFormat() const = 0;    // 0 BMP, 1 JPEG, 2 PNG, 3 PDF
  virtual int TargetRes() const = 0;     // 0 to 9
  virtual int ResampleMode() const = 0;  // 0 to 5
  virtual bool SepiaMode() const = 0;
  virtual bool Reduce256ColorMode() const = 0;
  // Spin values: the field's text as a decimal integer, its minimum when the text is not one.
  virtual int JPEGQL() const = 0;
  virtual int PNGCL() const = 0;

  // The photo options, each off unless the implementation stores it.
  // Turn a JPEG upright by its EXIF orientation right after reading.
  virtual bool AutoOrient() const { return false; }
  // Carry a JPEG's EXIF block and ICC profile into a JPEG or PNG output.
  virtual bool KeepMetadata() const { return false; }
  // Fit inside the target size with the aspect ratio kept, never enlarging.
  virtual bool KeepAspect() const { return false; }
  // Resize to CustomWidth x CustomHeight (spin values, 1 to 65535 in the field) instead of the
  // size TargetRes names.
  virtual bool CustomSize() const { return false; }
  virtual int CustomWidth() const { return 0; }
  virtual int CustomHeight() const { return 0; }
  // Speed and size options, off unless a stored setting turns them on.
  // Decode a JPEG that will be reduced at a DCT scale of 1/2, 1/4 or 1/8 first.
  virtual bool FastShrink() const { return false; }
  // PNG row filters: 0 Sub on every row, 1 the encoder chooses among all five per row.
  virtual int PNGFilters() const { return 0; }
};

}  // namespace qv
