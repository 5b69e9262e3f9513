// PNG reading and writing for the conversion job.
#include "app/image_io.h"
#include "codecs/png/png_metadata.h"
#include "codecs/png/png_object.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"

namespace qv {

bool ReadPngFile(const std::string& file_name, TBitmap& image,
                 const decltype(TPNGObject::OnProfile)& on_profile,
                 const TPngResizeChoice& choose_resize) {
  TPNGObject png;
  png.OnProfile = on_profile;
  std::unique_ptr<TStreamedResize> resize;
  if (choose_resize) {
    png.OnRows = [&](const TChunkIHDR& header) -> TPngRowSink {
      resize = choose_resize(header);
      if (!resize) return {};
      return [&resize](const std::uint8_t* rows, std::ptrdiff_t step, int count) {
        resize->TakeRows(rows, step, count);
      };
    };
  }
  png.LoadFromFile(file_name);
  // A single transparent colour travels with the image, so a PNG written from it keeps it.
  const bool transparent = png.Transparency() == TPngTransparency::kBit;
  const TRGBQuad colour = transparent ? png.TransparentColor() : TRGBQuad{};
  if (resize) {
    // The one row held has the picture's format and palette.
    TBitmap like = png.Header().image.pixels;
    if (transparent) like.SetTransparent(true, colour);
    image = resize->Finish(like);
    return true;
  }
  png.AssignTo(image);
  if (transparent) image.SetTransparent(true, colour);
  return false;
}

namespace {

// The PNG file of image with Sub on every row, or with the filter of the smallest sum per row.
void EncodePng(const TBitmap& image, TStream& stream, int compression_level,
               const TJpegMetadata* metadata, bool all_filters) {
  TPNGObject png;
  if (all_filters) {
    png.SetFilters(kPngFilterSetAll);
    png.SetFilterChoice(TPngFilterChoice::kSmallestSum);
  }
  TRGBQuad transparent_color = image.TransparentColor();
  png.AssignBitmap(image, image.Transparent() ? &transparent_color : nullptr);
  png.SetCompressionLevel(compression_level);
  if (metadata) AddPngMetadata(png, *metadata);
  png.SaveToStream(stream);
}

}  // namespace

void WritePng(const TBitmap& image, TStream& stream, int compression_level,
              const TJpegMetadata* metadata, bool all_filters) {
  if (!all_filters) {
    EncodePng(image, stream, compression_level, metadata, false);
    return;
  }
  // The rule looks at one row at a time and can lose to Sub on every row, whose rows deflate
  // finds repeated where differing filters break them: both files are made, the smaller kept.
  TMemoryStream chosen, sub;
  EncodePng(image, chosen, compression_level, metadata, true);
  EncodePng(image, sub, compression_level, metadata, false);
  const TMemoryStream& smaller = sub.Bytes().size() < chosen.Bytes().size() ? sub : chosen;
  stream.WriteBuffer(smaller.Bytes().data(), smaller.Bytes().size());
}

}  // namespace qv
