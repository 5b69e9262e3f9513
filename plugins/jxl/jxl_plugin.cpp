// Picture plug-in for JPEG XL files (a bare codestream or the container), over libjxl: the first
// frame as shown, turned as the file's orientation says.
#include <jxl/decode.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "spi.h"
#include "spi_metadata_block.h"
#include "spi_owned.h"
#include "spi_plugin_exports.h"
#include "spi_plugin_support.h"

namespace {

using spi_plugin::TDib;

const spi_plugin::TPluginTexts kTexts = {"JPEG XL plug-in for Quenvale 1.0 (libjxl)", "*.jxl",
                                         "JPEG XL image"};

struct TDecoder : spi_plugin::TOwned<JxlDecoder, JxlDecoderDestroy> {
  TDecoder() : TOwned(JxlDecoderCreate(nullptr)) {}
};

std::int32_t Failure(std::int32_t code, const char *reason) {
  spi_plugin::SetLastError("JPEG XL: ", reason);
  return code;
}

// A decoder given the whole file; an SPI_ result code.
std::int32_t Start(const std::uint8_t *data, std::size_t size, int events, TDecoder &decoder) {
  JxlDecoder *d = decoder.Get();
  if (d == nullptr) return SPI_NO_MEMORY;
  if (JxlDecoderSubscribeEvents(d, events) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(d, data, size) != JXL_DEC_SUCCESS)
    return Failure(SPI_INTERNAL_ERROR, "the decoder could not be set up");
  JxlDecoderCloseInput(d);
  return SPI_SUCCESS;
}

// The result code for a status that ends decoding early.
std::int32_t Stopped(JxlDecoderStatus status) {
  return status == JXL_DEC_NEED_MORE_INPUT ? Failure(SPI_BROKEN_DATA, "the file ends too early")
                                           : Failure(SPI_BROKEN_DATA, "the file is damaged");
}

// The bitmap the decoder's pixels go into: the picture's size as shown (libjxl turns the picture
// by its orientation and gives the turned size), at one byte a channel, rows padded to 4 bytes as
// libjxl is asked to pad them.
std::int32_t Prepare(const JxlBasicInfo &info, JxlPixelFormat &format, TDib &dib) {
  const std::uint32_t width = info.xsize, height = info.ysize;
  const std::uint64_t area = std::uint64_t{width} * height;
  if (area == 0) return Failure(SPI_BROKEN_DATA, "the picture has no pixels");
  if (area > spi_plugin::kMaxPixels || area * 4 > spi_plugin::kMaxBlockBytes)
    return Failure(SPI_NO_MEMORY, "the picture is larger than a picture may be");
  const bool grey = info.num_color_channels == 1;
  const bool alpha = info.alpha_bits != 0;
  format.num_channels = (grey ? 1 : 3) + (alpha ? 1 : 0);
  format.data_type = JXL_TYPE_UINT8;  // libjxl rounds deeper samples to 8 bits
  format.endianness = JXL_NATIVE_ENDIAN;
  format.align = 4;
  return dib.Create(width, height, static_cast<int>(8 * format.num_channels),
                    format.num_channels == 1 ? 256 : 0, true);
}

std::int32_t Decode(const std::uint8_t *data, std::size_t size, HLOCAL *info, HLOCAL *pixels) {
  TDecoder decoder;
  std::int32_t result = Start(data, size, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE, decoder);
  if (result != SPI_SUCCESS) return result;
  JxlDecoder *d = decoder.Get();
  JxlBasicInfo basic{};
  JxlPixelFormat format{};
  TDib dib;
  bool have_info = false, done = false;
  while (!done) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(d);
    switch (status) {
      case JXL_DEC_BASIC_INFO:
        if (JxlDecoderGetBasicInfo(d, &basic) != JXL_DEC_SUCCESS) return Stopped(JXL_DEC_ERROR);
        result = Prepare(basic, format, dib);
        if (result != SPI_SUCCESS) return result;
        have_info = true;
        break;
      case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
        std::size_t needed = 0;
        if (!have_info || JxlDecoderImageOutBufferSize(d, &format, &needed) != JXL_DEC_SUCCESS ||
            needed > dib.RowSize() * dib.Height())
          return Failure(SPI_BROKEN_DATA, "the picture does not match its stated size");
        if (JxlDecoderSetImageOutBuffer(d, &format, dib.Pixels(), needed) != JXL_DEC_SUCCESS)
          return Failure(SPI_INTERNAL_ERROR, "the decoder refused the pixel buffer");
        break;
      }
      case JXL_DEC_FULL_IMAGE: done = true; break;  // the first frame is the picture
      case JXL_DEC_SUCCESS: return Failure(SPI_BROKEN_DATA, "the file holds no picture");
      default: return Stopped(status);
    }
  }

  // Red, green, blue (and alpha) become blue, green, red over white; grey and alpha, grey over
  // white. Each in place.
  switch (format.num_channels) {
    case 1: break;
    case 2:
      result = dib.PackToGrey([](const std::uint8_t *grey_alpha, std::uint8_t *level) {
        *level = spi_plugin::OverWhite(grey_alpha[0], grey_alpha[1]);
      });
      if (result != SPI_SUCCESS) return result;
      break;
    case 3:
      for (std::uint32_t y = 0; y < dib.Height(); ++y) {
        std::uint8_t *row = dib.Row(y);
        for (std::uint32_t x = 0; x < dib.Width(); ++x, row += 3) std::swap(row[0], row[2]);
      }
      break;
    default:
      dib.PackTo24Bits([](const std::uint8_t *rgba, std::uint8_t *bgr) {
        bgr[0] = spi_plugin::OverWhite(rgba[2], rgba[3]);
        bgr[1] = spi_plugin::OverWhite(rgba[1], rgba[3]);
        bgr[2] = spi_plugin::OverWhite(rgba[0], rgba[3]);
      });
  }
  if (format.num_channels <= 2) dib.SetGreyLevels();
  return dib.Deliver(info, pixels);
}

// The picture's size as shown (libjxl gives it turned by the orientation) and depth, from the
// basic information alone.
std::int32_t Info(const std::uint8_t *data, std::size_t size, std::uint32_t &width,
                  std::uint32_t &height, int &bits) {
  TDecoder decoder;
  std::int32_t result = Start(data, size, JXL_DEC_BASIC_INFO, decoder);
  if (result != SPI_SUCCESS) return result;
  const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.Get());
  if (status != JXL_DEC_BASIC_INFO) return Stopped(status);
  JxlBasicInfo basic{};
  if (JxlDecoderGetBasicInfo(decoder.Get(), &basic) != JXL_DEC_SUCCESS)
    return Stopped(JXL_DEC_ERROR);
  width = basic.xsize;
  height = basic.ysize;
  bits = basic.num_color_channels == 1 ? 8 : 24;
  return SPI_SUCCESS;
}

// Whether the decoded pixels are plain sRGB (or grey with sRGB's white and curve): the colours
// every output is taken to have when it carries no profile.
bool PixelsAreSrgb(JxlDecoder *d) {
  JxlColorEncoding encoding;
  if (JxlDecoderGetColorAsEncodedProfile(d, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding) !=
      JXL_DEC_SUCCESS)
    return false;
  const bool rgb = encoding.color_space == JXL_COLOR_SPACE_RGB;
  return (rgb || encoding.color_space == JXL_COLOR_SPACE_GRAY) &&
         encoding.white_point == JXL_WHITE_POINT_D65 &&
         encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB &&
         (!rgb || encoding.primaries == JXL_PRIMARIES_SRGB);
}

// The EXIF block and XMP packet of the container's boxes, the ICC profile of the decoded pixels
// (none when they are plain sRGB) and the orientation libjxl turns the picture by.
std::int32_t ReadMetadata(const std::uint8_t *data, std::size_t size,
                          spi_plugin::TMetadataBlock &block) {
  TDecoder decoder;
  std::int32_t result =
      Start(data, size, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_BOX, decoder);
  if (result != SPI_SUCCESS) return result;
  JxlDecoder *d = decoder.Get();
  // Told to keep the stored orientation, libjxl says what it is (otherwise it turns the picture
  // and reports it as upright).
  JxlDecoderSetKeepOrientation(d, JXL_TRUE);
  JxlDecoderSetDecompressBoxes(d, JXL_TRUE);
  std::vector<std::uint8_t> box;
  std::uint32_t box_kind = 0;  // the record the box in hand becomes, 0 for none
  bool have_exif = false, have_xmp = false;
  // Takes the box in hand, its size the buffer's less what the decoder left unwritten.
  auto finish_box = [&]() {
    if (box_kind == 0) return;
    box.resize(box.size() - JxlDecoderReleaseBoxBuffer(d));
    if (box_kind == SPI_METADATA_EXIF && !have_exif) {
      block.AddExif(box.data(), box.size());  // after its offset field, at the TIFF data
      have_exif = true;
    } else if (box_kind == SPI_METADATA_XMP && !have_xmp) {
      block.Add(SPI_METADATA_XMP, box);
      have_xmp = true;
    }
    box_kind = 0;
  };
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(d);
    if (status == JXL_DEC_SUCCESS) break;
    switch (status) {
      case JXL_DEC_BASIC_INFO: {
        JxlBasicInfo basic{};
        if (JxlDecoderGetBasicInfo(d, &basic) == JXL_DEC_SUCCESS &&
            basic.orientation != JXL_ORIENT_IDENTITY)
          block.AddOrientation(static_cast<std::uint32_t>(basic.orientation));
        break;
      }
      case JXL_DEC_COLOR_ENCODING: {
        std::size_t icc_size = 0;
        if (!PixelsAreSrgb(d) &&
            JxlDecoderGetICCProfileSize(d, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &icc_size) ==
                JXL_DEC_SUCCESS &&
            icc_size > 0 && icc_size < spi_plugin::kMaxBlockBytes) {
          std::vector<std::uint8_t> icc(icc_size);
          if (JxlDecoderGetColorAsICCProfile(d, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, icc.data(),
                                             icc.size()) == JXL_DEC_SUCCESS)
            block.Add(SPI_METADATA_ICC, icc);
        }
        break;
      }
      case JXL_DEC_BOX: {
        finish_box();
        JxlBoxType type;
        if (JxlDecoderGetBoxType(d, type, JXL_TRUE) != JXL_DEC_SUCCESS) break;
        if (std::memcmp(type, "Exif", 4) == 0) box_kind = SPI_METADATA_EXIF;
        if (std::memcmp(type, "xml ", 4) == 0) box_kind = SPI_METADATA_XMP;
        if (box_kind == 0) break;
        box.assign(65536, 0);
        if (JxlDecoderSetBoxBuffer(d, box.data(), box.size()) != JXL_DEC_SUCCESS) box_kind = 0;
        break;
      }
      case JXL_DEC_BOX_NEED_MORE_OUTPUT: {
        // The box is larger than the buffer: a larger one goes on where this one was filled.
        const std::size_t written = box.size() - JxlDecoderReleaseBoxBuffer(d);
        if (box.size() >= spi_plugin::kMaxBlockBytes / 2)
          return Failure(SPI_NO_MEMORY, "a metadata box is too large");
        box.resize(box.size() * 2);
        if (JxlDecoderSetBoxBuffer(d, box.data() + written, box.size() - written) !=
            JXL_DEC_SUCCESS)
          return Failure(SPI_INTERNAL_ERROR, "the decoder refused a box buffer");
        break;
      }
      default:
        // A file damaged after its header still has the metadata found before the damage.
        finish_box();
        return SPI_SUCCESS;
    }
  }
  finish_box();
  return SPI_SUCCESS;
}

bool IsJxl(const std::uint8_t *head) {
  const JxlSignature signature = JxlSignatureCheck(head, SPI_HEADER_BYTES);
  return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

}  // namespace

// The exported functions spi.h asks for, and its extensions.
extern "C" {

SPI_PICTURE_PLUGIN_EXPORTS(kTexts, IsJxl, Info, Decode)
SPI_METADATA_EXPORT(ReadMetadata)
SPI_ERROR_AND_FLAGS_EXPORTS(SPI_PLUGIN_CONCURRENT)

}  // extern "C"
