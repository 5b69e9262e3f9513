// AVIF writing for the conversion job.
#include "app/image_io.h"
#include "codecs/avif/avif_writer.h"
#include "codecs/jpeg/jpeg_metadata.h"

namespace qv {

void WriteAvifFile(const TBitmap& image, TStream& stream, int quality, int speed,
                   const TJpegMetadata* metadata) {
  const TAvifOptions options{.quality = quality, .speed = speed};
  if (metadata)
    WriteAvif(image, stream, options, metadata->exif, metadata->icc_profile);
  else
    WriteAvif(image, stream, options);
}

}  // namespace qv
