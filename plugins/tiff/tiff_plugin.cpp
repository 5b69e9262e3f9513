// Picture plug-in for TIFF files (first image, any layout libtiff reads as RGBA), over libtiff.
#include <tiffio.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <new>

#include "spi.h"
#include "spi_metadata_block.h"
#include "spi_plugin_exports.h"
#include "spi_plugin_support.h"

namespace {

using spi_plugin::TDib;

const spi_plugin::TPluginTexts kTexts = {"TIFF plug-in for Quenvale 1.0 (libtiff)", "*.tif;*.tiff",
                                         "TIFF image"};

struct TMemorySource {
  const std::uint8_t *data;
  std::uint64_t size;
  std::uint64_t position;
};

tmsize_t ReadProc(thandle_t handle, void *buffer, tmsize_t count) {
  auto *source = static_cast<TMemorySource *>(handle);
  if (count <= 0 || source->position >= source->size) return 0;
  std::uint64_t left = source->size - source->position;
  std::uint64_t n =
      static_cast<std::uint64_t>(count) < left ? static_cast<std::uint64_t>(count) : left;
  std::memcpy(buffer, source->data + source->position, n);
  source->position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t, void *, tmsize_t) { return 0; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto *source = static_cast<TMemorySource *>(handle);
  std::uint64_t base = whence == SEEK_CUR   ? source->position
                       : whence == SEEK_END ? source->size
                                            : 0;
  if (offset > UINT64_MAX - base) return static_cast<toff_t>(-1);
  source->position = base + offset;  // past the end is allowed; reads there return nothing
  return source->position;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<TMemorySource *>(handle)->size; }
int MapProc(thandle_t, void **, toff_t *) { return 0; }
void UnmapProc(thandle_t, void *, toff_t) {}

// libtiff's messages have nowhere to go: the host abandons a file that fails.
int QuietHandler(TIFF *, void *, const char *, const char *, va_list) { return 1; }

class TTiffFile {
 public:
  explicit TTiffFile(TMemorySource &source) {
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return;
    TIFFOpenOptionsSetErrorHandlerExtR(options, QuietHandler, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, QuietHandler, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(spi_plugin::kMaxBlockBytes));
    tiff_ = TIFFClientOpenExt("memory", "rm", &source, ReadProc, WriteProc, SeekProc, CloseProc,
                              SizeProc, MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
  }
  ~TTiffFile() {
    if (tiff_ != nullptr) TIFFClose(tiff_);
  }
  TTiffFile(const TTiffFile &) = delete;
  TTiffFile &operator=(const TTiffFile &) = delete;
  TIFF *Get() const { return tiff_; }

 private:
  TIFF *tiff_ = nullptr;
};

std::int32_t Decode(const std::uint8_t *data, std::size_t size, HLOCAL *info, HLOCAL *pixels) {
  TMemorySource source{data, size, 0};
  TTiffFile file(source);
  TIFF *tiff = file.Get();
  if (tiff == nullptr) return SPI_UNKNOWN_FORMAT;
  std::uint32_t width = 0, height = 0;
  if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height))
    return SPI_BROKEN_DATA;
  if (width == 0 || height == 0) return SPI_BROKEN_DATA;
  if (std::uint64_t{width} * height > spi_plugin::kMaxPixels ||
      std::uint64_t{width} * height * 4 > spi_plugin::kMaxBlockBytes)
    return SPI_NO_MEMORY;
  char message[1024];
  if (!TIFFRGBAImageOK(tiff, message)) return SPI_UNKNOWN_FORMAT;

  // libtiff's RGBA raster is read straight into the pixel block as a 32-bit bitmap (bottom row
  // first, as the bitmap stores it), then packed to 24 bits in place: one picture's memory.
  TDib dib;
  std::int32_t result = dib.Create(width, height, 32, 0);
  if (result != SPI_SUCCESS) return result;
  if (!TIFFReadRGBAImageOriented(tiff, width, height,
                                 reinterpret_cast<std::uint32_t *>(dib.Pixels()),
                                 ORIENTATION_BOTLEFT, 0))
    return SPI_BROKEN_DATA;
  dib.PackTo24Bits([](const std::uint8_t *pixel, std::uint8_t *bgr) {
    std::uint32_t p;
    std::memcpy(&p, pixel, 4);
    // The RGBA interface gives colours premultiplied by alpha: over white adds 255 - alpha.
    unsigned lift = 255u - TIFFGetA(p);
    auto over = [lift](unsigned c) {
      return static_cast<std::uint8_t>(c + lift > 255u ? 255u : c + lift);
    };
    bgr[0] = over(TIFFGetB(p));
    bgr[1] = over(TIFFGetG(p));
    bgr[2] = over(TIFFGetR(p));
  });
  return dib.Deliver(info, pixels);
}

// The first image's size from its directory; the picture comes at 24 bits.
std::int32_t Info(const std::uint8_t *data, std::size_t size, std::uint32_t &width,
                  std::uint32_t &height, int &bits) {
  TMemorySource source{data, size, 0};
  TTiffFile file(source);
  if (file.Get() == nullptr) return SPI_UNKNOWN_FORMAT;
  if (!TIFFGetField(file.Get(), TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(file.Get(), TIFFTAG_IMAGELENGTH, &height))
    return SPI_BROKEN_DATA;
  bits = 24;
  return SPI_SUCCESS;
}

// The first image's colour profile, for pictures whose colours come out as they are stored (RGB
// and YCbCr): the RGBA interface gives CMYK and Lab pictures as RGB numbers of its own, which a
// profile of the stored colours no longer describes, and grey ones in colour.
std::int32_t ReadMetadata(const std::uint8_t *data, std::size_t size,
                          spi_plugin::TMetadataBlock &block) {
  TMemorySource source{data, size, 0};
  TTiffFile file(source);
  if (file.Get() == nullptr) return SPI_UNKNOWN_FORMAT;
  std::uint16_t photometric = 0;
  if (!TIFFGetField(file.Get(), TIFFTAG_PHOTOMETRIC, &photometric)) return SPI_SUCCESS;
  if (photometric != PHOTOMETRIC_RGB && photometric != PHOTOMETRIC_YCBCR) return SPI_SUCCESS;
  std::uint32_t length = 0;
  void *profile = nullptr;
  if (TIFFGetField(file.Get(), TIFFTAG_ICCPROFILE, &length, &profile) && profile != nullptr)
    block.Add(SPI_METADATA_ICC, static_cast<const std::uint8_t *>(profile), length);
  return SPI_SUCCESS;
}

// Classic and big TIFF, either byte order.
bool IsTiff(const std::uint8_t *head) {
  return std::memcmp(head, "II*\0", 4) == 0 || std::memcmp(head, "MM\0*", 4) == 0 ||
         std::memcmp(head, "II+\0", 4) == 0 || std::memcmp(head, "MM\0+", 4) == 0;
}

}  // namespace

// The exported functions spi.h asks for.
extern "C" {

SPI_PICTURE_PLUGIN_EXPORTS(kTexts, IsTiff, Info, Decode)
SPI_METADATA_EXPORT(ReadMetadata)

}  // extern "C"
