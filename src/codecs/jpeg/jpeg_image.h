// The JPEG image: one picture held as compressed bytes and as a decoded Raster image, converted
// between the two on demand through libjpeg.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/work_context.h"

namespace qv {

class TStream;

// A fatal error of the JPEG library: "JPEG エラー #%d" with the library's message code.
// The most scans a JPEG stream may have: progressive files have a few dozen at most, and each
// scan costs a pass over the picture's coefficients.
inline constexpr int kMaxJpegScans = 100;
// The message of a stream with more.
inline constexpr char kTooManyScans[] =
    "JPEG: more than 100 scans (a damaged or hostile progressive file)";

// Whether compression of colour pictures may go to the band encoder (jpeg_band_encoder.h) when
// spare threads are at hand: only with the processor's vector forms of its functions (which
// QV_SIMD=none turns off), and only when they gave libjpeg's bytes at the check made at the first
// call in the process (jpeg_band_check.h). Otherwise libjpeg compresses every picture.
bool JpegBandEncoderInUse();

class EJPEG : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
  // The exception for libjpeg's message code, with the library's own text for it.
  explicit EJPEG(int message_code, std::string library_message = {});
  // libjpeg's message code (-1 when the exception was made from a text).
  int MessageCode() const noexcept { return message_code_; }
  // libjpeg's own English text for the code, for logs and tests ("Empty input file").
  const std::string &LibraryMessage() const noexcept { return library_message_; }

 private:
  int message_code_ = -1;
  std::string library_message_;
};

// The compressed form: one complete JPEG stream and what its header says. Never changed once
// built, so TJPEGImage objects assigned from one another share it.
class TJPEGData {
 public:
  const std::vector<std::uint8_t> &Data() const noexcept { return data_; }
  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }
  bool Grayscale() const noexcept { return grayscale_; }
  // Components of the stream: 1 grey, 3 colour, 4 CMYK or YCCK (0 when there is no stream).
  // Whoever embeds the bytes unchanged (a PDF image) needs it for the colour space.
  int Components() const noexcept { return components_; }
  // A four-component stream with an Adobe marker: its CMYK samples are stored inverted.
  bool AdobeInverted() const noexcept { return adobe_inverted_; }

 private:
  std::vector<std::uint8_t> data_;
  int width_ = 0;
  int height_ = 0;
  bool grayscale_ = false;
  int components_ = 0;
  bool adobe_inverted_ = false;
  friend class TJPEGImage;
};

enum class TJPEGPerformance { jpBestQuality, jpBestSpeed };

// Converts width four-component pixels, as the library delivers them (the samples as stored:
// inverted in a stream with an Adobe marker), into blue, green, red bytes. Called while the
// library decodes, so it must not throw.
using TCmykRowConverter =
    std::function<void(const std::uint8_t *cmyk, std::uint8_t *bgr, std::size_t width)>;
enum class TJPEGPixelFormat { jf24Bit, jf8Bit };
// Decoding scale: 1, 1/2, 1/4, 1/8.
enum class TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };

class TJPEGImage {
 public:
  TJPEGImage();
  TJPEGImage(const TJPEGImage &other);
  TJPEGImage &operator=(const TJPEGImage &other);
  ~TJPEGImage();

  // Takes every byte from the stream's position to its end as the compressed data and reads its
  // header (size, greyscale, progressive). The decoded image is dropped. Throws EJPEG for a
  // header the library rejects (the bytes stay held), EReadError for a short stream.
  void LoadFromStream(TStream &stream);
  // Writes the compressed bytes, compressing the decoded image first when none are held. An
  // empty image writes nothing.
  void SaveToStream(TStream &stream);
  // LoadFromStream over the file (EFOpenError when it cannot be opened).
  void LoadFromFile(const std::string &path);
  // SaveToStream into the file, which appears only when complete.
  void SaveToFile(const std::string &path);

  // Takes a copy of the image and drops the compressed bytes (a new quality takes effect at the
  // next compression).
  void Assign(const TBitmap &source);
  // Shares the other's compressed data and copies its decoded image and settings.
  void Assign(const TJPEGImage &source);
  // Gives target a copy of the decoded image, decoding first when needed (EJPEG, EOutOfMemory
  // for an image over the size limits).
  void AssignTo(TBitmap &target);
  // The decoded image, decoding first when needed.
  const TBitmap &Bitmap();
  // Decodes the held bytes (at the current scale) without keeping the picture: bands of at
  // most band_rows rows go to sink from the top down as the library delivers them, as the first
  // row's address, the step between rows (positive) and the number of rows, 24-bit pixels in
  // Raster order. Rows a damaged file lacks are not delivered; DecodeWarnings() tells of them
  // afterwards. Returns false, having decoded nothing, when the settings do not give 24-bit
  // colour rows (four-component streams, greyscale or 8-bit output, a temporary palette) or a
  // decoded image is already held. OnProgress is not called. Throws EJPEG as Bitmap() does;
  // an exception from sink ends the decoding and propagates.
  bool DecodeInBands(
      int band_rows,
      const std::function<void(const std::uint8_t *rows, std::ptrdiff_t step, int count)> &sink);
  // DecodeInBands with the rows decoded straight to where the caller keeps them: before each
  // band, place(first, count, rows) sets rows[i] to the address of row first + i (Width() x 3
  // bytes, each row its own); after it, rows_in(count) tells how many of them came. Returns and
  // throws as DecodeInBands; place and rows_in may throw too.
  bool DecodeInPlace(int band_rows,
                     const std::function<void(int first, int count, std::uint8_t **rows)> &place,
                     const std::function<void(int count)> &rows_in);

  // Produces the compressed bytes from the decoded image now (nothing without an image).
  void Compress();
  // Drops bytes and image: a new, empty data block.
  void Clear();

  // The decoded image's size when there is one; else the header's (at a scale other than full
  // size, the library's output size).
  int Width();
  int Height();
  // Always throw EInvalidGraphicOperation "JPEG イメージのサイズは変更できません".
  [[noreturn]] void SetWidth(int width);
  [[noreturn]] void SetHeight(int height);
  // The compressed stream is greyscale (one component).
  bool Grayscale() const;
  // No compressed bytes and no (or an empty) decoded image.
  bool Empty() const;

  // The compressed bytes held (empty when there are none; Compress() makes them).
  const std::vector<std::uint8_t> &CompressedData() const;
  // The shared compressed data block (never null).
  std::shared_ptr<const TJPEGData> JPEGData() const { return data_; }
  // True when a decoded image is held.
  bool HasBitmap() const { return bitmap_ != nullptr; }
  // Warnings of the last decoding: the library met corrupt or truncated data, worked around it
  // and completed the picture, which may therefore be incomplete. 0 before any decoding.
  int DecodeWarnings() const { return decode_warnings_; }
  // The library's English text of the first such warning ("Premature end of JPEG file").
  const std::string &FirstDecodeWarning() const { return first_decode_warning_; }

  // Settings.
  int CompressionQuality() const { return quality_; }
  void SetCompressionQuality(int quality);  // clamped to 1..100
  bool ProgressiveEncoding() const { return progressive_encoding_; }
  void SetProgressiveEncoding(bool on) { progressive_encoding_ = on; }
  bool GrayscaleOutput() const { return grayscale_output_; }
  void SetGrayscaleOutput(bool on);
  TJPEGPerformance Performance() const { return performance_; }
  void SetPerformance(TJPEGPerformance performance);
  TJPEGPixelFormat PixelFormat() const { return pixel_format_; }
  void SetPixelFormat(TJPEGPixelFormat format);
  TJPEGScale Scale() const { return scale_; }
  void SetScale(TJPEGScale scale);
  bool Smoothing() const { return smoothing_; }
  void SetSmoothing(bool on);
  bool ProgressiveDisplay() const { return progressive_display_; }
  void SetProgressiveDisplay(bool on) { progressive_display_ = on; }
  // A palette for 8-bit decoding: it becomes the library's colour map (dropped for 24-bit output).
  void SetTemporaryPalette(std::vector<TRGBQuad> palette);
  // How four-component streams become 24-bit pixels: through converter (a colour profile's
  // transform) instead of the plain inversion CMYK rows get without one; an empty converter
  // restores the inversion. A decoded image made from held bytes is dropped.
  void SetCmykConverter(TCmykRowConverter converter);
  // The work the image is compressed for: its spare threads may share the compression. Not
  // copied by Assign (it belongs to the work, not to the picture); a default context compresses
  // on the calling thread alone.
  void SetWorkContext(const TWorkContext &work) { work_ = work; }

  // Called with a percentage at most every 500 ms while the library works (and 100 at the end
  // of decoding). May throw EAbort to stop decoding: the partly decoded image is kept.
  std::function<void(int percent)> OnProgress;
  // Called when the picture changed (new bytes read, image decoded with a new palette).
  std::function<void()> OnChange;

 private:
  struct DecodeRequest;
  void NewData();
  void FreeBitmap();
  void Decode();
  void ReadHeader();
  void CalcScaledSize();
  void Changed();
  void DecodeSettingChanged();

  std::shared_ptr<TJPEGData> data_;
  std::unique_ptr<TBitmap> bitmap_;
  int quality_ = 90;
  bool progressive_encoding_ = false;
  bool grayscale_output_ = false;
  TJPEGPerformance performance_ = TJPEGPerformance::jpBestQuality;
  TJPEGPixelFormat pixel_format_ = TJPEGPixelFormat::jf24Bit;
  TJPEGScale scale_ = TJPEGScale::jsFullSize;
  bool smoothing_ = true;
  bool progressive_display_ = false;
  int scaled_width_ = 0;
  int scaled_height_ = 0;
  bool need_recalc_ = true;
  bool palette_modified_ = false;
  std::optional<std::vector<TRGBQuad>> temp_palette_;
  TCmykRowConverter cmyk_converter_;
  TWorkContext work_;
  int decode_warnings_ = 0;
  std::string first_decode_warning_;
};

}  // namespace qv
