// Picture plug-in for AVIF files, over libavif: the primary picture (an image sequence's first),
// cropped, turned and mirrored as its properties say, which libavif leaves to its caller.
#include <avif/avif.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "spi.h"
#include "spi_dib_turn.h"
#include "spi_metadata_block.h"
#include "spi_orientation.h"
#include "spi_owned.h"
#include "spi_plugin_exports.h"
#include "spi_plugin_support.h"

namespace {

using spi_plugin::TDib;

const spi_plugin::TPluginTexts kTexts = {"AVIF plug-in for Quenvale 1.0 (libavif)", "*.avif",
                                         "AVIF image"};

struct TDecoder : spi_plugin::TOwned<avifDecoder, avifDecoderDestroy> {
  TDecoder() : TOwned(avifDecoderCreate()) {}
};

struct TImage : spi_plugin::TOwned<avifImage, avifImageDestroy> {
  TImage() : TOwned(avifImageCreateEmpty()) {}
};

// The result code for a libavif failure, its text kept for GetPictureError.
std::int32_t Failure(avifResult result, const avifDecoder *decoder) {
  std::string text = avifResultToString(result);
  if (decoder != nullptr && decoder->diag.error[0] != '\0')
    text += std::string(": ") + decoder->diag.error;
  spi_plugin::SetLastError("AVIF: ", text.c_str());
  switch (result) {
    case AVIF_RESULT_OUT_OF_MEMORY: return SPI_NO_MEMORY;
    case AVIF_RESULT_INVALID_FTYP:
    case AVIF_RESULT_NO_CODEC_AVAILABLE:
    case AVIF_RESULT_NOT_IMPLEMENTED: return SPI_UNKNOWN_FORMAT;
    default: return SPI_BROKEN_DATA;
  }
}

// A decoder over the file, its container parsed; an SPI_ result code. Strictness is off, so
// files of encoders that leave out a box the format asks for are read as other viewers read them.
std::int32_t Parse(const std::uint8_t *data, std::size_t size, bool metadata, TDecoder &decoder) {
  avifDecoder *d = decoder.Get();
  if (d == nullptr) return SPI_NO_MEMORY;
  d->maxThreads = 1;  // a host converting several files at once keeps its threads busy itself
  d->strictFlags = AVIF_STRICT_DISABLED;
  d->imageSizeLimit = static_cast<std::uint32_t>(spi_plugin::kMaxPixels);
  d->ignoreExif = metadata ? AVIF_FALSE : AVIF_TRUE;
  d->ignoreXMP = metadata ? AVIF_FALSE : AVIF_TRUE;
  avifResult result = avifDecoderSetIOMemory(d, data, size);
  if (result == AVIF_RESULT_OK) result = avifDecoderParse(d);
  return result == AVIF_RESULT_OK ? SPI_SUCCESS : Failure(result, d);
}

// Refuses (SPI_NO_MEMORY) a picture beyond the limits before its pixels are had.
std::int32_t CheckSize(std::uint32_t width, std::uint32_t height) {
  const std::uint64_t area = std::uint64_t{width} * height;
  if (width == 0 || height == 0) {
    spi_plugin::SetLastError("AVIF: ", "the picture has no pixels");
    return SPI_BROKEN_DATA;
  }
  if (area > spi_plugin::kMaxPixels || area * 4 > spi_plugin::kMaxBlockBytes) {
    spi_plugin::SetLastError("AVIF: ", "the picture is larger than a picture may be");
    return SPI_NO_MEMORY;
  }
  return SPI_SUCCESS;
}

// The turn the rotation and mirror properties make (in that order, as the format has them).
spi_plugin::TTurn StatedTurn(const avifImage &image) {
  spi_plugin::TTurn turn = spi_plugin::kAsStored;
  if (image.transformFlags & AVIF_TRANSFORM_IROT)
    turn = spi_plugin::Then(turn, spi_plugin::Anticlockwise(image.irot.angle & 3));
  if (image.transformFlags & AVIF_TRANSFORM_IMIR)
    turn = spi_plugin::Then(turn, spi_plugin::Mirrored((image.imir.mode & 1) != 0));
  return turn;
}

// The decoded picture, cropped by its clean aperture when that is a valid crop, converted by
// libavif straight into dib's rows as 8-bit blue, green, red (and alpha). An SPI_ result code.
std::int32_t Convert(avifDecoder *decoder, TDib &dib, bool &alpha, bool &grey) {
  avifImage *image = decoder->image;
  TImage cropped;
  if (cropped.Get() == nullptr) return SPI_NO_MEMORY;
  avifImage *source = image;
  if (image->transformFlags & AVIF_TRANSFORM_CLAP) {
    avifCropRect rect;
    avifDiagnostics diagnostics;
    if (avifCropRectConvertCleanApertureBox(&rect, &image->clap, image->width, image->height,
                                            image->yuvFormat, &diagnostics) &&
        avifImageSetViewRect(cropped.Get(), image, &rect) == AVIF_RESULT_OK)
      source = cropped.Get();
  }
  std::int32_t result = CheckSize(source->width, source->height);
  if (result != SPI_SUCCESS) return result;
  alpha = source->alphaPlane != nullptr;
  grey = source->yuvFormat == AVIF_PIXEL_FORMAT_YUV400;
  result = dib.Create(source->width, source->height, alpha ? 32 : 24, 0, true);
  if (result != SPI_SUCCESS) return result;
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, source);
  rgb.depth = 8;  // libavif rounds deeper samples to 8 bits
  rgb.format = alpha ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
  rgb.alphaPremultiplied = AVIF_FALSE;
  rgb.pixels = dib.Pixels();
  rgb.rowBytes = static_cast<std::uint32_t>(dib.RowSize());
  avifResult converted = avifImageYUVToRGB(source, &rgb);
  return converted == AVIF_RESULT_OK ? SPI_SUCCESS : Failure(converted, nullptr);
}

std::int32_t Decode(const std::uint8_t *data, std::size_t size, HLOCAL *info, HLOCAL *pixels) {
  TDib dib;
  bool alpha = false, grey = false;
  spi_plugin::TTurn turn;
  {
    TDecoder decoder;
    std::int32_t result = Parse(data, size, false, decoder);
    if (result != SPI_SUCCESS) return result;
    result = CheckSize(decoder.Get()->image->width, decoder.Get()->image->height);
    if (result != SPI_SUCCESS) return result;
    avifResult decoded = avifDecoderNextImage(decoder.Get());
    if (decoded != AVIF_RESULT_OK) return Failure(decoded, decoder.Get());
    result = Convert(decoder.Get(), dib, alpha, grey);
    if (result != SPI_SUCCESS) return result;
    turn = StatedTurn(*decoder.Get()->image);
  }  // the decoder's planes are given back before the picture is turned

  if (grey) {
    std::int32_t result =
        alpha
            ? dib.PackToGrey([](const std::uint8_t *bgra, std::uint8_t *level) {
                *level = spi_plugin::OverWhite(bgra[1], bgra[3]);
              })
            : dib.PackToGrey([](const std::uint8_t *bgr, std::uint8_t *level) { *level = bgr[1]; });
    if (result != SPI_SUCCESS) return result;
  } else if (alpha) {
    dib.PackTo24Bits([](const std::uint8_t *bgra, std::uint8_t *bgr) {
      bgr[0] = spi_plugin::OverWhite(bgra[0], bgra[3]);
      bgr[1] = spi_plugin::OverWhite(bgra[1], bgra[3]);
      bgr[2] = spi_plugin::OverWhite(bgra[2], bgra[3]);
    });
  }
  std::int32_t result = spi_plugin::TurnDib(dib, turn);
  if (result != SPI_SUCCESS) return result;
  return dib.Deliver(info, pixels);
}

// The picture's size as Decode gives it (cropped by a valid clean aperture, then turned), read
// from the container alone; its depth as the colour picture it most often is.
std::int32_t Info(const std::uint8_t *data, std::size_t size, std::uint32_t &width,
                  std::uint32_t &height, int &bits) {
  TDecoder decoder;
  std::int32_t result = Parse(data, size, false, decoder);
  if (result != SPI_SUCCESS) return result;
  const avifImage &image = *decoder.Get()->image;
  width = image.width;
  height = image.height;
  if (image.transformFlags & AVIF_TRANSFORM_CLAP) {
    avifCropRect rect;
    avifDiagnostics diagnostics;
    if (avifCropRectConvertCleanApertureBox(&rect, &image.clap, image.width, image.height,
                                            image.yuvFormat, &diagnostics))
      width = rect.width, height = rect.height;
  }
  if ((image.transformFlags & AVIF_TRANSFORM_IROT) && (image.irot.angle & 1) != 0)
    std::swap(width, height);
  bits = image.yuvFormat == AVIF_PIXEL_FORMAT_YUV400 ? 8 : 24;
  return SPI_SUCCESS;
}

// The EXIF block, XMP packet and ICC profile the container holds for the picture, and the turn
// its properties make (which Decode applies).
std::int32_t ReadMetadata(const std::uint8_t *data, std::size_t size,
                          spi_plugin::TMetadataBlock &block) {
  TDecoder decoder;
  std::int32_t result = Parse(data, size, true, decoder);
  if (result != SPI_SUCCESS) return result;
  const avifImage &image = *decoder.Get()->image;
  block.AddExif(image.exif.data, image.exif.size);
  block.Add(SPI_METADATA_XMP, image.xmp.data, image.xmp.size);
  block.Add(SPI_METADATA_ICC, image.icc.data, image.icc.size);
  if (image.transformFlags & (AVIF_TRANSFORM_IROT | AVIF_TRANSFORM_IMIR))
    block.AddOrientation(
        static_cast<std::uint32_t>(spi_plugin::ExifOrientationOf(StatedTurn(image))));
  return SPI_SUCCESS;
}

bool IsAvif(const std::uint8_t *head) {
  static const bool can_decode =
      avifCodecName(AVIF_CODEC_CHOICE_AUTO, AVIF_CODEC_FLAG_CAN_DECODE) != nullptr;
  avifROData input{head, SPI_HEADER_BYTES};
  return can_decode && avifPeekCompatibleFileType(&input);
}

}  // namespace

// The exported functions spi.h asks for, and its extensions.
extern "C" {

SPI_PICTURE_PLUGIN_EXPORTS(kTexts, IsAvif, Info, Decode)
SPI_METADATA_EXPORT(ReadMetadata)
SPI_ERROR_AND_FLAGS_EXPORTS(SPI_PLUGIN_CONCURRENT)

}  // extern "C"
