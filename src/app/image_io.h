// The readers and writers the conversion job calls, one function per format.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/streamed_resize.h"
#include "codecs/png/png_object.h"
#include "runtime/work_context.h"

namespace qv {

class TBitmap;
class TJPEGImage;
enum class TJPEGScale;
class TStream;
struct TJpegMetadata;

// What the JPEG library worked around while completing a picture (corrupt or truncated data):
// how many warnings it gave and the text of the first.
struct TReadWarnings {
  int count = 0;
  std::string first;
};

// A resize a picture's rows may go through as they are read, chosen for its size and whether
// its pixels have a fourth byte (TStreamedResize::For); nullptr reads the whole picture.
using TResizeChoice =
    std::function<std::unique_ptr<TStreamedResize>(int width, int height, bool fourth_byte)>;

// Read the file into image (replacing what it held). With choose_resize, an uncompressed
// picture may go through the resize it gives as it is read: image becomes the resized picture
// (exactly what resizing the whole one gives) and the call returns true.
bool ReadBmpFile(const std::string& file_name, TBitmap& image,
                 const TResizeChoice& choose_resize = {});
// A resize a PNG's rows may go through as they are decoded, chosen for its header (after its
// profile was asked about); nullptr reads the whole picture.
using TPngResizeChoice = std::function<std::unique_ptr<TStreamedResize>(const TChunkIHDR& header)>;
// on_profile is asked about the colours of a PNG that carries an ICC profile (TPNGObject's
// OnProfile). choose_resize is asked about a PNG that is not interlaced; when it gives a resize,
// image becomes the resized picture (exactly what resizing the whole one gives) and the call
// returns true.
bool ReadPngFile(const std::string& file_name, TBitmap& image,
                 const decltype(TPNGObject::OnProfile)& on_profile = {},
                 const TPngResizeChoice& choose_resize = {});
// With metadata, the file's EXIF block and ICC profile are returned there too.
TReadWarnings ReadJpegFile(const std::string& file_name, TBitmap& image,
                           TJpegMetadata* metadata = nullptr);
// Loads the JPEG a file holds into jpeg: the whole file, or of a multi-picture file (named with
// kMultiPictureExtension) its first picture, so that a page embeds that picture alone.
void LoadJpegFile(const std::string& file_name, TJPEGImage& jpeg);
// The smallest DCT scale (1/8, 1/4, 1/2) at which a JPEG of full_width x full_height still
// decodes to at least twice width x height in both directions; full size when none does.
TJPEGScale JpegScaleFor(int full_width, int full_height, int width, int height);
// Refuses a JPEG that decoding would refuse, so a page that embeds the bytes unread fails where
// a decoded one would: a colour space of neither 1, 3 nor 4 components (EJPEG), a declared size
// over the image limits (EOutOfMemory), more than kMaxJpegScans scans (EJPEG kTooManyScans).
void CheckEmbeddableJpeg(TJPEGImage& jpeg);

// Write image in the format to stream (the job gives a stream that lands in the file only when
// complete).
void WriteBmp(const TBitmap& image, TStream& stream);
// With metadata, its EXIF block and ICC profile go into the file too. The spare threads of work
// may share the compression.
void WriteJpeg(const TBitmap& image, TStream& stream, int quality,
               const TJpegMetadata* metadata = nullptr, const TWorkContext& work = {});
// all_filters: the encoder chooses among the five row filters per row instead of Sub always, and
// the file so made is kept only when it is smaller than the one with Sub always.
void WritePng(const TBitmap& image, TStream& stream, int compression_level,
              const TJpegMetadata* metadata = nullptr, bool all_filters = false);
// quality 1..100; lossless: the pixels exactly, quality then being the effort.
void WriteWebPFile(const TBitmap& image, TStream& stream, int quality, bool lossless,
                   const TJpegMetadata* metadata = nullptr);
// quality 1..100, speed 0 (slowest) to 10.
void WriteAvifFile(const TBitmap& image, TStream& stream, int quality, int speed,
                   const TJpegMetadata* metadata = nullptr);

}  // namespace qv
