// TJPEGImage: reading, decoding and compressing JPEG streams through libjpeg. Every library
// call runs inside a guarded step (see jpeg_error_manager.h); exceptions are thrown only after
// the step has returned.
#include "codecs/jpeg/jpeg_image.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

#include <jerror.h>

#include "codecs/jpeg/jpeg_band_check.h"
#include "codecs/jpeg/jpeg_band_encoder.h"
#include "codecs/jpeg/jpeg_cmyk.h"
#include "codecs/jpeg/jpeg_error_manager.h"
#include "codecs/jpeg/jpeg_memory_managers.h"
#include "imaging/image_limits.h"
#include "runtime/spare_threads.h"
#include "runtime/stream.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

namespace {

// TRANSLATORS: libjpeg's message number.
constexpr char kJpegErrorFormat[] = N_("JPEG error #%d");
constexpr char kCannotResize[] = N_("Cannot resize a JPEG image");
constexpr int kQuantizedColors = 236;
constexpr int kMaxRowsPerCall = 16;

bool IsAbort(const std::exception_ptr &error) {
  try {
    std::rethrow_exception(error);
  } catch (const EAbort &) {
    return true;
  } catch (...) {
    return false;
  }
}

// One decompressor and what its guarded steps need.
struct Decoder {
  jpeg_decompress_struct cinfo{};
  JpegErrorState errors;
  JpegProgress progress;
  JpegMemorySource source;
  const std::uint8_t *data = nullptr;
  std::size_t size = 0;
  bool created = false;
  bool multiscan = false;
  // Temporary colour map (blue, green, red per entry).
  const std::vector<TRGBQuad> *colormap = nullptr;
  // Row loop.
  std::uint8_t *row0 = nullptr;
  std::ptrdiff_t step = 0;
  bool one_row = true;
  std::uint8_t *cmyk_row = nullptr;
  bool inverted_cmyk = false;
  const TCmykRowConverter *cmyk_converter = nullptr;  // none or empty: the plain inversion
  // Band loop: where each row of the band goes.
  std::vector<JSAMPROW> band;
  int band_got = 0;

  Decoder(const std::vector<std::uint8_t> &bytes, const std::function<void(int)> *callback)
      : data(bytes.data()), size(bytes.size()) {
    cinfo.err = InitJpegErrors(errors);
    InitJpegProgress(progress, errors, callback);
    progress.max_scans = kMaxJpegScans;
  }
  ~Decoder() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
  Decoder(const Decoder &) = delete;
  Decoder &operator=(const Decoder &) = delete;
};

void StepOpen(void *context) {
  auto *d = static_cast<Decoder *>(context);
  d->created = true;  // destroying a zeroed object is harmless
  jpeg_create_decompress(&d->cinfo);
  d->cinfo.mem->max_memory_to_use = static_cast<long>(kMaxDecodedBytes);
  // Always watched: the monitor also counts the scans.
  d->cinfo.progress = &d->progress.manager;
  SetJpegMemorySource(&d->cinfo, d->source, d->data, d->size);
  jpeg_read_header(&d->cinfo, TRUE);
  d->multiscan = jpeg_has_multiple_scans(&d->cinfo) != 0;
}

void StepCalcOutput(void *context) {
  jpeg_calc_output_dimensions(&static_cast<Decoder *>(context)->cinfo);
}

void StepColormap(void *context) {
  auto *d = static_cast<Decoder *>(context);
  jpeg_decompress_struct &c = d->cinfo;
  int components = c.out_color_space == JCS_GRAYSCALE ? 1 : 3;
  auto count = static_cast<JDIMENSION>(std::min<std::size_t>(d->colormap->size(), 256));
  JSAMPARRAY map = c.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&c), JPOOL_IMAGE, count,
                                       static_cast<JDIMENSION>(components));
  for (JDIMENSION i = 0; i < count; ++i) {
    const TRGBQuad &q = (*d->colormap)[i];
    map[0][i] = q.blue;
    if (components == 3) {
      map[1][i] = q.green;
      map[2][i] = q.red;
    }
  }
  c.colormap = map;
  c.actual_number_of_colors = static_cast<int>(count);
}

void StepStart(void *context) { jpeg_start_decompress(&static_cast<Decoder *>(context)->cinfo); }

void StepReadRows(void *context) {
  auto *d = static_cast<Decoder *>(context);
  jpeg_decompress_struct &c = d->cinfo;
  std::uint8_t *row = d->row0;
  int per_call = d->one_row ? 1 : std::clamp(c.rec_outbuf_height, 1, kMaxRowsPerCall);
  JSAMPROW rows[kMaxRowsPerCall];
  while (c.output_scanline < c.output_height) {
    JDIMENSION got;
    if (d->cmyk_row != nullptr) {
      rows[0] = d->cmyk_row;
      got = jpeg_read_scanlines(&c, rows, 1);
      if (got == 1 && d->cmyk_converter != nullptr && *d->cmyk_converter)
        (*d->cmyk_converter)(d->cmyk_row, row, c.output_width);
      else if (got == 1)
        CmykRowToBgr(d->cmyk_row, row, c.output_width, d->inverted_cmyk);
    } else {
      for (int i = 0; i < per_call; ++i) rows[i] = row + d->step * i;
      got = jpeg_read_scanlines(&c, rows, static_cast<JDIMENSION>(per_call));
    }
    if (got == 0) break;  // a suspending source never happens over memory; do not spin
    row += d->step * static_cast<std::ptrdiff_t>(got);
  }
  jpeg_finish_decompress(&c);
}

// Reads the next rows, at most as many as the band has addresses for, each to its address;
// band_got tells how many came.
void StepReadBand(void *context) {
  auto *d = static_cast<Decoder *>(context);
  jpeg_decompress_struct &c = d->cinfo;
  const int band_rows = static_cast<int>(d->band.size());
  int got_total = 0;
  while (got_total < band_rows && c.output_scanline < c.output_height) {
    int per_call = std::clamp(c.rec_outbuf_height, 1, kMaxRowsPerCall);
    per_call = std::min(per_call, band_rows - got_total);
    JDIMENSION got =
        jpeg_read_scanlines(&c, d->band.data() + got_total, static_cast<JDIMENSION>(per_call));
    if (got == 0) break;  // a suspending source never happens over memory; do not spin
    got_total += static_cast<int>(got);
  }
  d->band_got = got_total;
}

void StepFinish(void *context) { jpeg_finish_decompress(&static_cast<Decoder *>(context)->cinfo); }

// What the decoder was set up to deliver.
struct OutputKind {
  bool cmyk;       // four-component rows, converted to 24 bits by us
  bool grey_out;   // one grey component
  bool want_8bit;  // an 8-bit image is wanted
  bool quantize;   // the library maps the colours to a palette
};

// Sets the decompressor's output (scale, colour space, quantization, speed) from the image's
// settings. Throws EJPEG for a stream whose components no output colour space fits.
OutputKind ConfigureOutput(Decoder &d, TJPEGScale scale, bool smoothing, bool grayscale_output,
                           TJPEGPixelFormat pixel_format, TJPEGPerformance performance) {
  jpeg_decompress_struct &c = d.cinfo;
  c.scale_num = 1;
  c.scale_denom = 1u << static_cast<unsigned>(scale);
  c.do_block_smoothing = smoothing ? TRUE : FALSE;
  // libjpeg hands back CMYK for four-component files and cannot convert it: we do, to 24 bits.
  const bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
  if (cmyk) {
    c.out_color_space = JCS_CMYK;
    d.inverted_cmyk = c.saw_Adobe_marker != 0;
  } else if (grayscale_output) {
    c.out_color_space = JCS_GRAYSCALE;
  } else if (c.out_color_space == JCS_RGB) {
    c.out_color_space = JCS_EXT_BGR;  // the byte order of 24-bit Raster rows
  }
  // Streams of 2 or 5 and more components have no colour space we can show; their rows would
  // not fit a 24-bit row either.
  if (!cmyk && c.out_color_space != JCS_GRAYSCALE && c.out_color_space != JCS_EXT_BGR)
    throw EJPEG(JERR_CONVERSION_NOTIMPL, "Unsupported color conversion request");
  const bool grey_out = c.out_color_space == JCS_GRAYSCALE;
  const bool want_8bit = pixel_format == TJPEGPixelFormat::jf8Bit || grey_out;
  const bool quantize = want_8bit && !cmyk;
  if (quantize) {
    c.quantize_colors = TRUE;
    c.desired_number_of_colors = kQuantizedColors;
  }
  if (performance == TJPEGPerformance::jpBestSpeed) {
    c.dct_method = JDCT_IFAST;
    c.two_pass_quantize = FALSE;
    c.dither_mode = JDITHER_ORDERED;
  }
  return {cmyk, grey_out, want_8bit, quantize};
}

// One compressor and what its guarded step needs.
struct Encoder {
  jpeg_compress_struct cinfo{};
  JpegErrorState errors;
  JpegProgress progress;
  JpegMemoryDestination destination;
  std::vector<std::uint8_t> *out = nullptr;
  bool use_progress = false;
  bool created = false;
  const std::uint8_t *row0 = nullptr;
  std::ptrdiff_t step = 0;
  bool one_row = true;
  int width = 0;
  int height = 0;
  int quality = 90;
  bool grayscale = false;
  bool progressive = false;

  explicit Encoder(const std::function<void(int)> *callback) {
    cinfo.err = InitJpegErrors(errors);
    InitJpegProgress(progress, errors, callback);
    use_progress = callback != nullptr && *callback;
  }
  ~Encoder() {
    if (created) jpeg_destroy_compress(&cinfo);
  }
  Encoder(const Encoder &) = delete;
  Encoder &operator=(const Encoder &) = delete;
};

void StepCompress(void *context) {
  auto *e = static_cast<Encoder *>(context);
  jpeg_compress_struct &c = e->cinfo;
  e->created = true;
  jpeg_create_compress(&c);
  if (e->use_progress) c.progress = &e->progress.manager;
  SetJpegMemoryDestination(&c, e->destination, e->errors, *e->out);
  c.image_width = static_cast<JDIMENSION>(e->width);
  c.image_height = static_cast<JDIMENSION>(e->height);
  c.input_components = 3;
  c.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, e->quality, TRUE);
  if (e->grayscale) jpeg_set_colorspace(&c, JCS_GRAYSCALE);
  if (e->progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  const int per_call = e->one_row ? 1 : kMaxRowsPerCall;
  JSAMPROW rows[kMaxRowsPerCall];
  while (c.next_scanline < c.image_height) {
    int n = std::min<int>(per_call, static_cast<int>(c.image_height - c.next_scanline));
    const std::uint8_t *first = e->row0 + e->step * static_cast<std::ptrdiff_t>(c.next_scanline);
    for (int i = 0; i < n; ++i) rows[i] = const_cast<std::uint8_t *>(first + e->step * i);
    if (jpeg_write_scanlines(&c, rows, static_cast<JDIMENSION>(n)) == 0) break;
  }
  jpeg_finish_compress(&c);
}

// Rows can go to the library several at a time only when they follow each other upwards in
// memory at a 4-byte step.
bool OneRowPerCall(std::ptrdiff_t step) { return step <= 0 || step % 4 != 0; }

// libjpeg's header and tables for a colour picture at quality, read back from the file it
// writes for a small one; nothing when they are not what the band encoder continues. Made once
// per quality.
const std::optional<TJpegBaselineHeader> &BaselineHeader(int quality) {
  static std::mutex mutex;
  static std::map<int, std::optional<TJpegBaselineHeader>> headers;
  std::lock_guard lock(mutex);
  auto found = headers.find(quality);
  if (found != headers.end()) return found->second;
  std::optional<TJpegBaselineHeader> header;
  std::vector<std::uint8_t> pixels(16 * 16 * 3, 128);
  std::vector<std::uint8_t> file;
  Encoder encoder(nullptr);
  encoder.out = &file;
  encoder.width = 16;
  encoder.height = 16;
  encoder.quality = quality;
  encoder.row0 = pixels.data();
  encoder.step = 16 * 3;
  encoder.one_row = OneRowPerCall(encoder.step);
  if (RunJpegStep(encoder.errors, StepCompress, &encoder)) header = TJpegBaselineHeader::Read(file);
  return headers.emplace(quality, std::move(header)).first->second;
}

// Compresses source with libjpeg into out; false when progress stopped it.
bool CompressWithLibjpeg(const TBitmap &source, int quality, bool grayscale, bool progressive,
                         const std::function<void(int)> &progress, std::vector<std::uint8_t> &out) {
  auto encoder = std::make_unique<Encoder>(&progress);
  out.reserve(JpegFileRoom(source.Width(), source.Height()));
  encoder->out = &out;
  encoder->width = source.Width();
  encoder->height = source.Height();
  encoder->quality = quality;
  encoder->grayscale = grayscale;
  encoder->progressive = progressive;
  encoder->row0 = source.ScanLine(0);
  encoder->step = source.RowStep();
  encoder->one_row = OneRowPerCall(encoder->step);
  if (RunJpegStep(encoder->errors, StepCompress, encoder.get())) return true;
  if (encoder->errors.pending && IsAbort(encoder->errors.pending)) return false;
  ThrowJpegError(encoder->errors);
}

// libjpeg's file for a 24-bit picture, as Compress makes it without spare threads.
std::vector<std::uint8_t> LibjpegFile(const TBitmap &picture, int quality) {
  std::vector<std::uint8_t> file;
  CompressWithLibjpeg(picture, quality, false, false, {}, file);
  return file;
}

// The band encoder's functions when it is worth using: with the processor's vector forms (with
// the portable forms alone it is slower than libjpeg's own vector code), and only while they
// give libjpeg's bytes, which is checked once, at the first use in the process
// (jpeg_band_check.h). Otherwise libjpeg compresses every picture.
const TJpegKernels *BandKernels() {
  static const TJpegKernels *const kernels = []() -> const TJpegKernels * {
    const TVariant<TJpegKernels> &chosen = ChosenVariant(JpegKernelVariants());
    if (chosen.needs.Empty()) return nullptr;
    try {
      return BandEncoderMatchesLibjpeg(chosen.function, LibjpegFile) ? &chosen.function : nullptr;
    } catch (...) {
      return nullptr;  // whatever stopped the check, libjpeg alone is safe
    }
  }();
  return kernels;
}

// The band encoder takes the colour pictures libjpeg would write as one baseline scan. Alone it
// is about as fast as libjpeg, and slower when other threads work beside it, so it is used only
// when a spare thread waits to share the bands or is expected to come before the end: for the
// last files of a drop, or one file with all cores.
bool CompressInBands(const TWorkContext &work, int width, int height, bool grayscale,
                     bool progressive) {
  return SpareThreadAtHand(work) && !grayscale && !progressive && width <= 65500 &&
         height <= 65500 && BandKernels() != nullptr;
}

// The same with the band encoder; progress is reported at most every half second, as libjpeg's
// progress monitor does.
bool CompressWithBands(const TWorkContext &work, const TJpegBaselineHeader &header,
                       const TBitmap &source, const std::function<void(int)> &progress,
                       std::vector<std::uint8_t> &out) {
  long long last_report = JpegTickCount();
  auto report = [&](int percent) {
    const long long now = JpegTickCount();
    if (!progress || now - last_report < 500) return;
    last_report = now;
    progress(percent);
  };
  try {
    out = EncodeJpegInBands(*BandKernels(), header, source.ScanLine(0), source.RowStep(),
                            source.Width(), source.Height(), report, work);
  } catch (const EAbort &) {
    return false;
  }
  return true;
}

}  // namespace

bool JpegBandEncoderInUse() { return BandKernels() != nullptr; }

EJPEG::EJPEG(int message_code, std::string library_message)
    : EInvalidGraphic(FormatText(Tr(kJpegErrorFormat), {IntToStr(message_code)})),
      message_code_(message_code),
      library_message_(std::move(library_message)) {}

TJPEGImage::TJPEGImage() : data_(std::make_shared<TJPEGData>()) {}

TJPEGImage::TJPEGImage(const TJPEGImage &other) : TJPEGImage() { Assign(other); }

TJPEGImage &TJPEGImage::operator=(const TJPEGImage &other) {
  if (this != &other) Assign(other);
  return *this;
}

TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::NewData() {
  data_ = std::make_shared<TJPEGData>();
  need_recalc_ = true;
}

void TJPEGImage::FreeBitmap() {
  bitmap_.reset();
  need_recalc_ = true;
  decode_warnings_ = 0;
  first_decode_warning_.clear();
}

void TJPEGImage::Changed() {
  if (OnChange) OnChange();
}

void TJPEGImage::Clear() {
  NewData();
  FreeBitmap();
  Changed();
}

void TJPEGImage::LoadFromStream(TStream &stream) {
  NewData();
  FreeBitmap();
  std::int64_t count = std::max<std::int64_t>(stream.Remaining(), 0);
  if (count > 0) {
    CheckDecodedBytes(static_cast<std::uint64_t>(count));
    data_->data_.resize(static_cast<std::size_t>(count));
    stream.ReadBuffer(data_->data_.data(), data_->data_.size());
    ReadHeader();
  }
  palette_modified_ = true;
  Changed();
}

void TJPEGImage::ReadHeader() {
  Decoder d(data_->data_, nullptr);
  CallJpeg(d.errors, StepOpen, &d);
  data_->width_ = static_cast<int>(d.cinfo.image_width);
  data_->height_ = static_cast<int>(d.cinfo.image_height);
  data_->grayscale_ = d.cinfo.jpeg_color_space == JCS_GRAYSCALE;
  data_->components_ = d.cinfo.num_components;
  data_->adobe_inverted_ = d.cinfo.num_components == 4 && d.cinfo.saw_Adobe_marker;
  progressive_encoding_ = d.multiscan;
}

void TJPEGImage::SaveToStream(TStream &stream) {
  if (data_->data_.empty() && bitmap_ && !bitmap_->Empty()) Compress();
  if (!data_->data_.empty()) stream.WriteBuffer(data_->data_.data(), data_->data_.size());
}

void TJPEGImage::LoadFromFile(const std::string &path) {
  TFileStream stream(path);
  LoadFromStream(stream);
}

void TJPEGImage::SaveToFile(const std::string &path) {
  TSafeFileStream stream(path);
  SaveToStream(stream);
  stream.Commit();
}

void TJPEGImage::Assign(const TBitmap &source) {
  auto copy = std::make_unique<TBitmap>(source);
  NewData();
  bitmap_ = std::move(copy);
  need_recalc_ = true;
  Changed();
}

void TJPEGImage::Assign(const TJPEGImage &source) {
  if (&source == this) return;
  std::unique_ptr<TBitmap> copy;
  if (source.bitmap_) copy = std::make_unique<TBitmap>(*source.bitmap_);
  data_ = source.data_;
  bitmap_ = std::move(copy);
  quality_ = source.quality_;
  progressive_encoding_ = source.progressive_encoding_;
  grayscale_output_ = source.grayscale_output_;
  performance_ = source.performance_;
  pixel_format_ = source.pixel_format_;
  scale_ = source.scale_;
  smoothing_ = source.smoothing_;
  progressive_display_ = source.progressive_display_;
  temp_palette_ = source.temp_palette_;
  cmyk_converter_ = source.cmyk_converter_;
  decode_warnings_ = source.decode_warnings_;
  first_decode_warning_ = source.first_decode_warning_;
  need_recalc_ = true;
  Changed();
}

void TJPEGImage::AssignTo(TBitmap &target) { target = Bitmap(); }

const TBitmap &TJPEGImage::Bitmap() {
  if (!bitmap_) Decode();
  return *bitmap_;
}

void TJPEGImage::Decode() {
  Decoder d(data_->data_, &OnProgress);
  CallJpeg(d.errors, StepOpen, &d);
  jpeg_decompress_struct &c = d.cinfo;
  const auto [cmyk, grey_out, want_8bit, quantize] =
      ConfigureOutput(d, scale_, smoothing_, grayscale_output_, pixel_format_, performance_);
  if (temp_palette_) {
    if (quantize && !temp_palette_->empty()) {
      d.colormap = &*temp_palette_;
      CallJpeg(d.errors, StepColormap, &d);
    } else {
      temp_palette_.reset();
    }
  }
  CallJpeg(d.errors, StepCalcOutput, &d);
  // The library's rows must fit the rows we hand it.
  if (c.output_components != (cmyk ? 4 : quantize ? 1 : 3))
    throw EJPEG(JERR_CONVERSION_NOTIMPL, "Unsupported color conversion request");
  const int width = static_cast<int>(c.output_width);
  const int height = static_cast<int>(c.output_height);
  // Refuse before the library or we allocate anything the size of the image.
  CheckImageSize(width, height, 24);
  auto target = std::make_unique<TBitmap>();
  target->Allocate(width, height, quantize ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
  std::vector<std::uint8_t> cmyk_row;
  if (cmyk) {
    cmyk_row.resize(static_cast<std::size_t>(width) * 4);
    d.cmyk_row = cmyk_row.data();
    d.cmyk_converter = &cmyk_converter_;
  }
  CallJpeg(d.errors, StepStart, &d);
  if (quantize) {
    std::vector<TRGBQuad> palette(static_cast<std::size_t>(std::max(c.actual_number_of_colors, 0)));
    for (std::size_t i = 0; i < palette.size(); ++i) {
      if (grey_out) {
        std::uint8_t v = c.colormap[0][i];
        palette[i] = {v, v, v, 0};
      } else {
        palette[i] = {c.colormap[0][i], c.colormap[1][i], c.colormap[2][i], 0};
      }
    }
    target->SetPalette(std::move(palette));
  }
  d.row0 = target->ScanLine(0);
  d.step = target->RowStep();
  d.one_row = OneRowPerCall(d.step);
  const bool complete = RunJpegStep(d.errors, StepReadRows, &d);
  if (!complete && !(d.errors.pending && IsAbort(d.errors.pending))) {
    ThrowJpegError(d.errors);  // the decompressor goes with d; no image is kept
  }
  if (cmyk && want_8bit) target->SetPixelFormat(TPixelFormat::pf8bit);
  bitmap_ = std::move(target);
  decode_warnings_ = d.errors.warnings;
  first_decode_warning_ = d.errors.first_warning;
  need_recalc_ = true;
  if (OnProgress) {
    try {
      OnProgress(complete ? 100 : 0);
    } catch (const EAbort &) {
    }
  }
  if (palette_modified_) {
    palette_modified_ = false;
    Changed();
  }
}

bool TJPEGImage::DecodeInBands(
    int band_rows,
    const std::function<void(const std::uint8_t *rows, std::ptrdiff_t step, int count)> &sink) {
  if (bitmap_ || data_->data_.empty() || band_rows < 1) return false;
  // One band's rows, used again for every band.
  TBitmap band;
  return DecodeInPlace(
      band_rows,
      [&](int, int count, std::uint8_t **rows) {
        if (band.Empty()) band.Allocate(Width(), band_rows, TPixelFormat::pf24bit, true);
        for (int i = 0; i < count; ++i) rows[i] = band.ScanLine(i);
      },
      [&](int count) { sink(band.ScanLine(0), band.RowStep(), count); });
}

bool TJPEGImage::DecodeInPlace(
    int band_rows, const std::function<void(int first, int count, std::uint8_t **rows)> &place,
    const std::function<void(int count)> &rows_in) {
  if (bitmap_ || data_->data_.empty() || band_rows < 1) return false;
  Decoder d(data_->data_, nullptr);
  CallJpeg(d.errors, StepOpen, &d);
  jpeg_decompress_struct &c = d.cinfo;
  const OutputKind kind =
      ConfigureOutput(d, scale_, smoothing_, grayscale_output_, pixel_format_, performance_);
  if (kind.cmyk || kind.quantize || temp_palette_) return false;
  CallJpeg(d.errors, StepCalcOutput, &d);
  if (c.output_components != 3)
    throw EJPEG(JERR_CONVERSION_NOTIMPL, "Unsupported color conversion request");
  const int width = static_cast<int>(c.output_width);
  const int height = static_cast<int>(c.output_height);
  // The same refusal as for decoding the whole picture.
  CheckImageSize(width, height, 24);
  // The caller's rows are Width() pixels long: never write past them.
  if (width != Width()) throw std::logic_error("JPEG rows wider than the image's width");
  CallJpeg(d.errors, StepStart, &d);
  while (c.output_scanline < c.output_height) {
    // Outside the library's frames, as rows_in: both may throw.
    const int first = static_cast<int>(c.output_scanline);
    const int count = std::min(band_rows, height - first);
    d.band.resize(static_cast<std::size_t>(count));
    place(first, count, reinterpret_cast<std::uint8_t **>(d.band.data()));
    CallJpeg(d.errors, StepReadBand, &d);
    if (d.band_got == 0) break;
    rows_in(d.band_got);
  }
  CallJpeg(d.errors, StepFinish, &d);
  decode_warnings_ = d.errors.warnings;
  first_decode_warning_ = d.errors.first_warning;
  return true;
}

void TJPEGImage::Compress() {
  // Bytes without a decoded image: decode them so the picture is compressed again with the
  // current settings instead of being dropped.
  if (!bitmap_ && !data_->data_.empty()) Decode();
  auto fresh = std::make_shared<TJPEGData>();  // the old block may be shared: never refill it
  if (!bitmap_ || bitmap_->Width() == 0 || bitmap_->Height() == 0) {
    data_ = std::move(fresh);
    need_recalc_ = true;
    return;
  }
  TBitmap converted;
  const TBitmap *source = bitmap_.get();
  if (source->PixelFormat() != TPixelFormat::pf24bit) {
    converted = *source;
    converted.SetPixelFormat(TPixelFormat::pf24bit);
    source = &converted;
  }
  const std::optional<TJpegBaselineHeader> *header = nullptr;
  if (CompressInBands(work_, source->Width(), source->Height(), grayscale_output_,
                      progressive_encoding_))
    header = &BaselineHeader(quality_);
  const bool finished = header != nullptr && header->has_value()
                            ? CompressWithBands(work_, **header, *source, OnProgress, fresh->data_)
                            : CompressWithLibjpeg(*source, quality_, grayscale_output_,
                                                  progressive_encoding_, OnProgress, fresh->data_);
  if (!finished) {  // stopped from the progress report
    NewData();
    return;
  }
  fresh->width_ = source->Width();
  fresh->height_ = source->Height();
  fresh->grayscale_ = grayscale_output_;
  fresh->components_ = grayscale_output_ ? 1 : 3;
  data_ = std::move(fresh);
  need_recalc_ = true;
}

void TJPEGImage::CalcScaledSize() {
  if (!need_recalc_) return;
  scaled_width_ = data_->width_;
  scaled_height_ = data_->height_;
  if (scale_ != TJPEGScale::jsFullSize && !data_->data_.empty()) {
    Decoder d(data_->data_, nullptr);
    CallJpeg(d.errors, StepOpen, &d);
    d.cinfo.scale_num = 1;
    d.cinfo.scale_denom = 1u << static_cast<unsigned>(scale_);
    CallJpeg(d.errors, StepCalcOutput, &d);
    scaled_width_ = static_cast<int>(d.cinfo.output_width);
    scaled_height_ = static_cast<int>(d.cinfo.output_height);
  }
  need_recalc_ = false;
}

int TJPEGImage::Width() {
  if (bitmap_) return bitmap_->Width();
  CalcScaledSize();
  return scaled_width_;
}

int TJPEGImage::Height() {
  if (bitmap_) return bitmap_->Height();
  CalcScaledSize();
  return scaled_height_;
}

void TJPEGImage::SetWidth(int) { throw EInvalidGraphicOperation(Tr(kCannotResize)); }
void TJPEGImage::SetHeight(int) { throw EInvalidGraphicOperation(Tr(kCannotResize)); }

bool TJPEGImage::Grayscale() const { return data_->grayscale_; }

bool TJPEGImage::Empty() const { return data_->data_.empty() && (!bitmap_ || bitmap_->Empty()); }

const std::vector<std::uint8_t> &TJPEGImage::CompressedData() const { return data_->data_; }

void TJPEGImage::SetCompressionQuality(int quality) { quality_ = std::clamp(quality, 1, 100); }

// A decoding setting that changed drops a decoded image made from held bytes, so the next
// request decodes with it; an image assigned without bytes is kept.
void TJPEGImage::DecodeSettingChanged() {
  if (!data_->data_.empty()) FreeBitmap();
  need_recalc_ = true;
}

void TJPEGImage::SetGrayscaleOutput(bool on) {
  if (std::exchange(grayscale_output_, on) != on) DecodeSettingChanged();
}
void TJPEGImage::SetPerformance(TJPEGPerformance performance) {
  if (std::exchange(performance_, performance) != performance) DecodeSettingChanged();
}
void TJPEGImage::SetPixelFormat(TJPEGPixelFormat format) {
  if (std::exchange(pixel_format_, format) != format) DecodeSettingChanged();
}
void TJPEGImage::SetScale(TJPEGScale scale) {
  if (std::exchange(scale_, scale) != scale) DecodeSettingChanged();
}
void TJPEGImage::SetSmoothing(bool on) {
  if (std::exchange(smoothing_, on) != on) DecodeSettingChanged();
}

void TJPEGImage::SetCmykConverter(TCmykRowConverter converter) {
  cmyk_converter_ = std::move(converter);
  DecodeSettingChanged();
}

void TJPEGImage::SetTemporaryPalette(std::vector<TRGBQuad> palette) {
  temp_palette_ = std::move(palette);
  palette_modified_ = true;
}

}  // namespace qv
