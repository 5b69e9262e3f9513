// The WebP writer: the picture's rows into libwebp's encoder, the bitstream and the metadata
// chunks joined by libwebp's muxer. Every library object is held by an owner that frees it; the
// library calls back into no code of ours but its own memory writer.
#include "codecs/webp/webp_writer.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <memory>
#include <string>

#include "imaging/bgr_rows.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"
#include "runtime/strings.h"

namespace qv {

namespace {

// An encoder picture, freed with its buffers.
class TWebPPicture {
 public:
  TWebPPicture() {
    if (!WebPPictureInit(&picture_)) Fail("version mismatch");
  }
  ~TWebPPicture() { WebPPictureFree(&picture_); }
  TWebPPicture(const TWebPPicture&) = delete;
  TWebPPicture& operator=(const TWebPPicture&) = delete;
  WebPPicture* operator->() { return &picture_; }
  WebPPicture* get() { return &picture_; }

  [[noreturn]] static void Fail(const char* reason) {
    throw EWebP(FormatText(Tr(webp_messages::kEncoderFailed), {reason}));
  }

 private:
  WebPPicture picture_;
};

// The encoder's output in memory.
class TWebPOutput {
 public:
  TWebPOutput() { WebPMemoryWriterInit(&writer_); }
  ~TWebPOutput() { WebPMemoryWriterClear(&writer_); }
  TWebPOutput(const TWebPOutput&) = delete;
  TWebPOutput& operator=(const TWebPOutput&) = delete;
  WebPMemoryWriter* get() { return &writer_; }
  WebPData Data() const { return {writer_.mem, writer_.size}; }

 private:
  WebPMemoryWriter writer_;
};

struct TMuxDeleter {
  void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

// The muxer's assembled file.
class TWebPData {
 public:
  TWebPData() { WebPDataInit(&data_); }
  ~TWebPData() { WebPDataClear(&data_); }
  TWebPData(const TWebPData&) = delete;
  TWebPData& operator=(const TWebPData&) = delete;
  WebPData* get() { return &data_; }

 private:
  WebPData data_;
};

const char* EncodingErrorText(WebPEncodingError error) {
  switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return "out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION: return "bad picture dimensions";
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW: return "first partition over 512 KiB";
    case VP8_ENC_ERROR_PARTITION_OVERFLOW: return "partition over 16 MiB";
    case VP8_ENC_ERROR_FILE_TOO_BIG: return "file over 4 GiB";
    case VP8_ENC_ERROR_INVALID_CONFIGURATION: return "invalid configuration";
    default: return "encoding error";
  }
}

void SetChunk(WebPMux* mux, const char* fourcc, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  const WebPData data{bytes.data(), bytes.size()};
  if (WebPMuxSetChunk(mux, fourcc, &data, 0) != WEBP_MUX_OK)
    TWebPPicture::Fail("cannot add a metadata chunk");
}

}  // namespace

void WriteWebP(const TBitmap& image, TStream& stream, const TWebPOptions& options,
               std::span<const std::uint8_t> exif, std::span<const std::uint8_t> icc_profile) {
  const int width = image.Width(), height = image.Height();
  if (width > kWebPMaxSide || height > kWebPMaxSide) {
    const std::string limit = IntToStr(kWebPMaxSide);
    throw EWebP(FormatText(Tr(webp_messages::kTooLarge),
                           {IntToStr(width), IntToStr(height), limit, limit}));
  }

  WebPConfig config;
  if (!WebPConfigInit(&config)) TWebPPicture::Fail("version mismatch");
  config.quality = static_cast<float>(std::clamp(options.quality, 1, 100));
  config.lossless = options.lossless ? 1 : 0;
  if (!WebPValidateConfig(&config)) TWebPPicture::Fail("invalid configuration");

  TWebPPicture picture;
  picture->width = width;
  picture->height = height;
  // Lossless coding works on ARGB; lossy coding takes the rows straight into YUV 4:2:0.
  picture->use_argb = options.lossless ? 1 : 0;
  {
    TBgrRows rows(image);
    if (!WebPPictureImportBGR(picture.get(), rows.Data(), static_cast<int>(rows.Stride())))
      TWebPPicture::Fail(EncodingErrorText(picture->error_code));
  }
  TWebPOutput output;
  picture->writer = WebPMemoryWrite;
  picture->custom_ptr = output.get();
  if (!WebPEncode(&config, picture.get()))
    TWebPPicture::Fail(EncodingErrorText(picture->error_code));

  if (exif.empty() && icc_profile.empty()) {
    stream.WriteBuffer(output.get()->mem, output.get()->size);
    return;
  }
  std::unique_ptr<WebPMux, TMuxDeleter> mux(WebPMuxNew());
  if (!mux) TWebPPicture::Fail("out of memory");
  const WebPData bitstream = output.Data();
  if (WebPMuxSetImage(mux.get(), &bitstream, 0) != WEBP_MUX_OK)
    TWebPPicture::Fail("cannot take the bitstream");
  SetChunk(mux.get(), "ICCP", icc_profile);
  SetChunk(mux.get(), "EXIF", exif);
  TWebPData file;
  if (WebPMuxAssemble(mux.get(), file.get()) != WEBP_MUX_OK)
    TWebPPicture::Fail("cannot assemble the file");
  stream.WriteBuffer(file.get()->bytes, file.get()->size);
}

}  // namespace qv
