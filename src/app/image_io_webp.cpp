// WebP writing for the conversion job.
#include "app/image_io.h"
#include "codecs/jpeg/jpeg_metadata.h"
#include "codecs/webp/webp_writer.h"

namespace qv {

void WriteWebPFile(const TBitmap& image, TStream& stream, int quality, bool lossless,
                   const TJpegMetadata* metadata) {
  const TWebPOptions options{.quality = quality, .lossless = lossless};
  if (metadata)
    WriteWebP(image, stream, options, metadata->exif, metadata->icc_profile);
  else
    WriteWebP(image, stream, options);
}

}  // namespace qv
