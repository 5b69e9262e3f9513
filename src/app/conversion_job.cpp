// The conversion job: output naming, reader choice, resize, effects and the writers.
#include "app/conversion_job.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <utility>

#include "app/colour_step.h"
#include "app/declared_size.h"
#include "app/fit_inside.h"
#include "app/image_io.h"
#include "app/image_steps.h"
#include "app/job_host.h"
#include "app/memory_budget.h"
#include "app/name_pattern.h"
#include "app/pdf_steps.h"
#include "codecs/jpeg/exif_block.h"
#include "codecs/jpeg/exif_date.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_metadata.h"
#include "codecs/jpeg/xmp_packet.h"
#include "colour/colour_transforms.h"
#include "colour/picture_colour.h"
#include "imaging/bitmap.h"
#include "imaging/orient_upright.h"
#include "runtime/exceptions.h"
#include "runtime/file_replacement.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "runtime/strings.h"
#include "runtime/translation.h"
#include "settings/job_settings.h"

namespace qv {

int ReaderPosition(const std::string& file_name) {
  std::string ext = LowerCaseAscii(ExtractFileExt(file_name));
  if (ext.empty()) return 0;
  if (ext == kMultiPictureExtension) ext = ".jpg";
  const char* found = std::strstr(kReaderExtensions, ext.c_str());
  return found ? static_cast<int>(found - kReaderExtensions) + 1 : 0;
}

std::string OutputFolder(const std::string& file_name, TOutputPlace place,
                         const std::string& dst_dir, const std::string& subfolder) {
  // Into a folder without a folder would make the outputs land in "/": refused.
  if (place == TOutputPlace::kDstDir) {
    if (dst_dir.empty())
      throw Exception(FormatText(Tr(kNoOutputFolderText),
                                 {RowOf(TSetting::kOutputMode).key, RowOf(TSetting::kDstDir).key}));
    return IncludeTrailingPathDelimiter(dst_dir) + subfolder;
  }
  return ExtractFilePath(file_name);
}

std::string OutputPath(const std::string& file_name, TOutputPlace place, const std::string& dst_dir,
                       TOutputFormat format, const std::string& subfolder) {
  std::string folder = OutputFolder(file_name, place, dst_dir, subfolder);
  std::string name = ChangeFileExt(ExtractFileName(file_name), OutputExtension(format));
  return folder + name;
}

TConversionJob::TConversionJob(const IJobSettings& settings, IJobHost& host)
    : settings_(settings), host_(host), colour_transforms_(std::make_shared<TColourTransforms>()) {}

TConversionJob::~TConversionJob() = default;

void TConversionJob::BeginDrop() {
  colour_transforms_->Clear();
  std::lock_guard lock(drop_outputs_->mutex);
  drop_outputs_->in_drop = true;
  drop_outputs_->inputs.clear();
  drop_outputs_->kept.clear();
  drop_outputs_->turns_ended.clear();
  drop_outputs_->next_turn = 0;
  drop_outputs_->named.clear();
}

void TConversionJob::KeepInputs(const std::vector<std::string>& keys) {
  std::lock_guard lock(drop_outputs_->mutex);
  drop_outputs_->kept.insert(keys.begin(), keys.end());
}

void TConversionJob::SetPdfPageSink(std::function<void(TPdfPagePicture)> sink) {
  page_sink_ = std::move(sink);
}

void TConversionJob::SetOutputHold(std::function<void(THeldOutput)> hold) {
  output_hold_ = std::move(hold);
}

void TConversionJob::RecordDropOutput(const std::string& key, const std::string& input) {
  if (key.empty()) return;  // named by the pattern: recorded when the name was given
  std::lock_guard lock(drop_outputs_->mutex);
  if (drop_outputs_->in_drop) drop_outputs_->inputs[key] = input;
}

void TConversionJob::ShareDropOutputs(const TConversionJob& other) {
  drop_outputs_ = other.drop_outputs_;
  colour_transforms_ = other.colour_transforms_;
}

void TConversionJob::AddPage(TPdfPagePicture picture) {
  if (page_sink_)
    page_sink_(std::move(picture));
  else
    PrintPdfPage(*report_, picture);
  ++pages_added_;
}

std::string OutputKey(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return path;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal().string() : canonical.string();
}

namespace {

// Shows the hourglass while a file is converted and gives the cursor back on every path.
class TBusyCursor {
 public:
  explicit TBusyCursor(IJobHost& host) : host_(host), saved_(host.Cursor()) {
    host_.SetCursor(TCursor::crHourGlass);
  }
  ~TBusyCursor() { host_.SetCursor(saved_); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;

 private:
  IJobHost& host_;
  TCursor saved_;
};

// What an output format can carry of a profile; page_embeds_input: a PDF page of the input's own
// bytes.
TProfileCarrier CarrierOf(TOutputFormat format, bool page_embeds_input) {
  switch (format) {
    case TOutputFormat::kBmp: return TProfileCarrier::kNone;
    case TOutputFormat::kPdf:
      return page_embeds_input ? TProfileCarrier::kInputJpeg : TProfileCarrier::kRgb;
    default: return TProfileCarrier::kRgb;
  }
}

// The pixels a JPEG of so many components holds.
TColourSpace JpegPixelSpace(int components) {
  switch (components) {
    case 1: return TColourSpace::kGrey;
    case 3: return TColourSpace::kRgb;
    case 4: return TColourSpace::kCmyk;
    default: return TColourSpace::kOther;
  }
}

// True for a picture of grey levels: 8 bits a pixel through a palette of greys (as the plug-ins
// hand over a grey picture).
bool IsGreyPicture(const TBitmap& image) {
  if (image.PixelFormat() != TPixelFormat::pf8bit) return false;
  for (const TRGBQuad& entry : image.Palette())
    if (entry.red != entry.green || entry.green != entry.blue) return false;
  return true;
}

// True when resizing width x height to target makes more pixels.
bool Enlarges(int width, int height, std::pair<int, int> target) {
  return std::int64_t{target.first} * target.second > std::int64_t{width} * height;
}

}  // namespace

// A file's picture on its way through the steps.
struct TConversionJob::TPicture {
  TBitmap image;
  TReader reader = TReader::kPlugins;
  TJpegMetadata metadata;             // of a JPEG input, or a plug-in's picture's
  std::vector<std::uint8_t> profile;  // the ICC profile read with the picture (empty: untagged)
  TColourPlan colour;                 // what is done with it
  bool colour_converted = false;      // the pixels are sRGB's now (converted while decoding)
  // The EXIF orientation the pixels are (or the page is) turned by (0 when they are not).
  int orientation = 0;
  // A plug-in's picture that its file's own orientation turned (an EXIF orientation it carries
  // no longer holds).
  bool turned_by_file = false;
  std::optional<std::pair<int, int>> target;  // the size it is resized to
  bool target_known = false;                  // target was found while the file was read
  bool resized = false;                       // resized while decoding
  bool toned = false;                         // toned sepia while resized
};

TJobOutcome TConversionJob::ConvertFile(const std::string& file_name) {
  return ConvertFile(TDropName{.path = file_name}, -1);
}

TJobOutcome TConversionJob::ConvertFile(const TDropName& name, int index) {
  const std::string& file_name = name.path;
  warnings_.clear();
  output_.clear();
  TBusyCursor busy(host_);

  const TOutputFormat format = OutputFormatOf(settings_.Choice(TSetting::kFileFormat));
  const TNamePattern pattern(settings_.Text(TSetting::kNamePattern));
  // A page is no output file: a file beside the input carrying the page's would-be name
  // ("a.pdf" beside "a.jpg") does not pass the page over.
  std::string output_path;
  std::string output_key;
  if (format != TOutputFormat::kPdf && pattern.Empty()) {
    output_path = OutputPath(file_name, OutputPlaceOf(settings_.Choice(TSetting::kOutputMode)),
                             settings_.Text(TSetting::kDstDir), format, name.subfolder);
    output_key = OutputKey(output_path);
    if (OutputPassedOver(file_name, output_path, output_key)) return TJobOutcome::kOutputExists;
  } else if (format != TOutputFormat::kPdf && !pattern.NeedsPicture()) {
    output_path = TakeNamedOutput(name, index, pattern, nullptr);
    if (output_path.empty()) return TJobOutcome::kOutputExists;
  }

  TPicture picture;
  picture.reader = ReaderOf(file_name);
  if (picture.reader == TReader::kJpeg) {
    if (ReadJpeg(file_name, format, picture)) return TJobOutcome::kConverted;  // page embedded
  } else if (picture.reader == TReader::kPlugins) {
    ReadPluginPicture(file_name, format, picture);
    if (picture.image.Empty()) return TJobOutcome::kNoReader;
    picture.target = ResizeTarget(picture.image.Width(), picture.image.Height());
  } else {
    ReadImage(file_name, format, picture);
    if (picture.image.Empty()) return TJobOutcome::kNoReader;
    if (!picture.target_known)
      picture.target = ResizeTarget(picture.image.Width(), picture.image.Height());
  }

  // Colours are converted where the picture has the fewer pixels: before it is enlarged, after
  // it is reduced.
  if (picture.target && !picture.resized) {
    if (Enlarges(picture.image.Width(), picture.image.Height(), *picture.target))
      ConvertColour(file_name, picture);
    Resize(picture.image, *picture.target);
  }
  ConvertColour(file_name, picture);
  if (settings_.Checked(TSetting::kSepiaMode) && !(picture.resized && picture.toned))
    SepiaStep(picture.image);
  if (settings_.Checked(TSetting::kReduce256ColorMode)) Reduce256Step(picture.image);
  if (format != TOutputFormat::kPdf && pattern.NeedsPicture()) {
    output_path = TakeNamedOutput(name, index, pattern, &picture);
    if (output_path.empty()) return TJobOutcome::kOutputExists;
  }

  std::string folder = ExtractFilePath(output_path);
  if (format != TOutputFormat::kPdf && !folder.empty() && !DirectoryExists(folder))
    ForceDirectories(folder);

  if (!Write(picture, file_name, output_path, output_key)) return TJobOutcome::kOutputExists;
  if (format != TOutputFormat::kPdf) output_ = output_path;
  return TJobOutcome::kConverted;
}

void TConversionJob::EndTurn(int index) const {
  if (index < 0) return;
  {
    std::lock_guard lock(drop_outputs_->mutex);
    std::vector<bool>& ended = drop_outputs_->turns_ended;
    if (ended.size() <= static_cast<std::size_t>(index))
      ended.resize(static_cast<std::size_t>(index) + 1, false);
    ended[static_cast<std::size_t>(index)] = true;
    while (static_cast<std::size_t>(drop_outputs_->next_turn) < ended.size() &&
           ended[static_cast<std::size_t>(drop_outputs_->next_turn)])
      ++drop_outputs_->next_turn;
  }
  drop_outputs_->turn_ended.notify_all();
}

namespace {

// "photo (2).jpg": the name numbered before its extension.
std::string Numbered(const std::string& path, int number) {
  const std::string extension = ExtractFileExt(path);
  return path.substr(0, path.size() - extension.size()) + " (" + IntToStr(number) + ")" + extension;
}

// When a file last changed, as local time.
std::tm ModificationTime(const std::string& file_name) {
  struct stat info;
  std::tm date{};
  if (::stat(file_name.c_str(), &info) == 0) ::localtime_r(&info.st_mtim.tv_sec, &date);
  return date;
}

}  // namespace

std::string TConversionJob::TakeNamedOutput(const TDropName& name, int index,
                                            const TNamePattern& pattern, const TPicture* picture) {
  const std::string& file_name = name.path;
  const TOutputFormat format = OutputFormatOf(settings_.Choice(TSetting::kFileFormat));
  const std::string folder =
      OutputFolder(file_name, OutputPlaceOf(settings_.Choice(TSetting::kOutputMode)),
                   settings_.Text(TSetting::kDstDir), name.subfolder);
  TNameFields fields;
  fields.name = ChangeFileExt(ExtractFileName(file_name), "");
  fields.extension = OutputExtension(format) + 1;
  fields.number = index + 1;
  fields.folder = std::filesystem::path(OutputKey(file_name)).parent_path().filename().string();
  if (picture) {
    fields.width = picture->image.Width();
    fields.height = picture->image.Height();
    std::optional<std::tm> taken = ExifDateTaken(picture->metadata.exif);
    fields.date = taken ? *taken : ModificationTime(file_name);
  }
  const std::string wanted = folder + pattern.Format(fields);

  // The names are given out in the drop's order, so the numbers do not depend on which file
  // was converted first.
  std::unique_lock lock(drop_outputs_->mutex);
  if (index >= 0)
    drop_outputs_->turn_ended.wait(lock, [&] { return drop_outputs_->next_turn >= index; });
  const std::string input_key = OutputKey(file_name);
  std::string path = wanted;
  if (auto given = drop_outputs_->named.find(index);
      index >= 0 && given != drop_outputs_->named.end()) {
    path = given->second;  // converted once more (its output found the disk full): the same name
  } else {
    for (int number = 2;
         drop_outputs_->inputs.contains(OutputKey(path)) || OutputKey(path) == input_key; ++number)
      path = Numbered(wanted, number);
  }
  if (settings_.Choice(TSetting::kOverWrite) == 0 && FileExists(path)) {
    lock.unlock();
    EndTurn(index);
    return {};
  }
  drop_outputs_->inputs[OutputKey(path)] = file_name;
  if (index >= 0) drop_outputs_->named[index] = path;
  lock.unlock();
  EndTurn(index);
  if (path != wanted) {
    // TRANSLATORS: the name the output was given instead of the pattern's.
    Warn(file_name, FormatText(Tr("written as \"%s\": another file of the drop has its name"),
                               {ExtractFileName(path)}));
  }
  return path;
}

std::optional<std::uint64_t> TConversionJob::ExpectedPeak(const std::string& file_name) {
  const TReader reader = ReaderOf(file_name);
  std::optional<std::pair<int, int>> size = reader == TReader::kPlugins
                                                ? host_.PictureSizeByPlugins(file_name)
                                                : DeclaredSize(file_name, reader);
  if (!size) return std::nullopt;
  std::optional<std::pair<int, int>> target;
  try {
    target = ResizeTarget(size->first, size->second);
  } catch (const std::exception&) {
    // No display to ask: the conversion fails before it resizes anything.
  }
  return ConversionPeak(size->first, size->second, target);
}

std::optional<TJpegMetadata> TConversionJob::KeptMetadata(const TPicture& picture,
                                                          TOutputFormat format,
                                                          const std::string& file_name) {
  // Every output but BMP holds metadata (a PDF page is made elsewhere).
  if (format == TOutputFormat::kBmp || format == TOutputFormat::kPdf) return std::nullopt;
  TJpegMetadata kept;
  // A JPEG's metadata: the EXIF block tells the picture's new size, and that it stands upright
  // when its pixels were turned; a turned or resized picture's thumbnail is dropped.
  // A plug-in's picture keeps its EXIF block the same way (turned also when the file's own
  // orientation turned it).
  if ((picture.reader == TReader::kJpeg || picture.reader == TReader::kPlugins) &&
      settings_.Checked(TSetting::kKeepMetadata)) {
    kept = picture.metadata;
    kept.icc_profile.clear();
    const bool turned = TurnsPicture(picture.orientation) || picture.turned_by_file;
    if (!kept.exif.empty()) {
      TEditedExif edited =
          EditExif(kept.exif, {.reset_orientation = turned,
                               .drop_thumbnail = turned || picture.target.has_value(),
                               .width = picture.image.Width(),
                               .height = picture.image.Height()});
      if (edited.left_out != nullptr)
        Warn(file_name, FormatText(Tr(kExifLeftOutWarning), {Tr(edited.left_out)}));
      kept.exif = std::move(edited.block);
    }
    if (turned) ResetXmpOrientation(kept.xmp);
  }
  // The profile, where the plan keeps it (always a profile of the written pixels).
  if (picture.colour.keep) kept.icc_profile = picture.profile;
  if (kept.exif.empty() && kept.icc_profile.empty() && kept.xmp.empty() &&
      kept.xmp_extension.empty() && kept.photoshop.empty())
    return std::nullopt;
  return kept;
}

bool TConversionJob::OutputPassedOver(const std::string& file_name, const std::string& output_path,
                                      const std::string& output_key) {
  const bool overwrite = settings_.Choice(TSetting::kOverWrite) != 0;
  // A second input of this drop with the same output: the settings decide as for any existing
  // file, and the host names both inputs.
  std::optional<std::string> earlier;
  {
    std::lock_guard lock(drop_outputs_->mutex);
    if (drop_outputs_->kept.contains(output_key)) return true;
    if (auto found = drop_outputs_->inputs.find(output_key); found != drop_outputs_->inputs.end())
      earlier = found->second;
  }
  if (earlier) {
    host_.SameOutputTwice(*earlier, file_name, output_path, overwrite);
    if (!overwrite) return true;
  }
  return !overwrite && FileExists(output_path);
}

bool TConversionJob::ReadJpeg(const std::string& file_name, TOutputFormat format,
                              TPicture& picture) {
  // The header first: a PDF page may take the bytes as they are, never decoded, and a fast
  // shrink picks its decoding scale from the full size.
  TJPEGImage jpeg;
  LoadJpegFile(file_name, jpeg);
  picture.metadata = ReadJpegMetadata(jpeg.CompressedData());
  picture.profile = picture.metadata.icc_profile;
  if (settings_.Checked(TSetting::kAutoOrient))
    picture.orientation = ExifOrientation(picture.metadata.exif);
  const int orientation = picture.orientation;
  const bool swaps = SwapsSides(orientation);
  const int full_width = jpeg.Width(), full_height = jpeg.Height();
  picture.target =
      swaps ? ResizeTarget(full_height, full_width) : ResizeTarget(full_width, full_height);
  const std::optional<std::pair<int, int>>& target = picture.target;
  const int components = jpeg.JPEGData()->Components();
  PlanPictureColour(file_name, format, JpegPixelSpace(components), picture);
  if (PageNeedsNoPixels(format, target.has_value(), orientation)) {
    CheckEmbeddableJpeg(jpeg);
    TPdfPagePicture page = MakeJpegPdfPagePicture(jpeg, UprightRotation(orientation));
    if (picture.colour.keep) page.jpeg.SetIccProfile(picture.profile);
    AddPage(std::move(page));
    return true;
  }
  if (target && settings_.Checked(TSetting::kFastShrink)) {
    auto [width, height] = *target;
    if (swaps) std::swap(width, height);
    jpeg.SetScale(JpegScaleFor(full_width, full_height, width, height));
  }
  // CMYK pixels exist only while the library decodes: their profile converts them there.
  if (picture.colour.convert && components == 4) {
    try {
      auto transform = colour_transforms_->ToSrgb(
          picture.profile,
          jpeg.JPEGData()->AdobeInverted() ? TPixelLayout::kCmyk8Inverted : TPixelLayout::kCmyk8);
      jpeg.SetCmykConverter([transform](const std::uint8_t* cmyk, std::uint8_t* bgr,
                                        std::size_t width) { transform->Apply(cmyk, bgr, width); });
      picture.colour_converted = true;
    } catch (const EColourProfile& error) {
      IgnoreProfile(file_name, picture, error.Message());
    }
  }
  // A picture that is not turned is resized while it is decoded, never held at full size; one
  // that is enlarged and needs its colours converted is converted first, at its smaller size.
  const bool convert_first = picture.colour.convert && !picture.colour_converted && target &&
                             Enlarges(full_width, full_height, *target);
  const TResampleMethod method = ResampleMethodOf(settings_.Choice(TSetting::kResampleMode));
  // Sepia follows the colour conversion: rows are toned as they are made only when no
  // conversion is left for the resized picture.
  const bool sepia = settings_.Checked(TSetting::kSepiaMode) &&
                     !(picture.colour.convert && !picture.colour_converted);
  picture.resized =
      target && !TurnsPicture(orientation) && !convert_first &&
      DecodeResizedJpeg(jpeg, target->first, target->second, method, picture.image, sepia, work_);
  picture.toned = picture.resized && sepia && ResizeTonesSepia(method);
  if (!picture.resized) jpeg.AssignTo(picture.image);
  // The library completed the picture by working around damage: it is converted as it is, and
  // the user hears that it may lack rows or show garbled blocks.
  if (jpeg.DecodeWarnings() > 0) {
    // TRANSLATORS: the warning, then the JPEG library's own message (in English).
    Warn(file_name, FormatText(Tr("%s (JPEG library: %s)"),
                               {Tr(kIncompletePictureWarning), jpeg.FirstDecodeWarning()}));
  }
  if (!picture.resized) OrientUpright(picture.image, orientation);
  return false;
}

void TConversionJob::ReadPluginPicture(const std::string& file_name, TOutputFormat format,
                                       TPicture& picture) {
  const bool orient = settings_.Checked(TSetting::kAutoOrient);
  const bool keep = settings_.Checked(TSetting::kKeepMetadata);
  const bool profiles =
      ProfileModeOf(settings_.Choice(TSetting::kColorProfile)) != TProfileMode::kIgnore;
  if (!orient && !keep && !profiles) {
    host_.ReadByPlugins(file_name, picture.image);
    return;
  }
  TPluginMetadata metadata;
  host_.ReadByPluginsWithMetadata(file_name, picture.image, metadata);
  if (picture.image.Empty()) return;
  // An orientation of the file's own (HEIF's rotation and mirror properties, JPEG XL's field)
  // has turned the picture already; EXIF's then says the same or is stale, and never turns it
  // a second time.
  picture.turned_by_file = metadata.orientation != 0;
  if (orient && !picture.turned_by_file) {
    picture.orientation = ExifOrientation(metadata.exif);
    OrientUpright(picture.image, picture.orientation);
  }
  if (keep) picture.metadata.exif = std::move(metadata.exif);
  if (!metadata.icc_profile.empty()) {
    picture.profile = std::move(metadata.icc_profile);
    PlanPictureColour(file_name, format,
                      IsGreyPicture(picture.image) ? TColourSpace::kGrey : TColourSpace::kRgb,
                      picture);
  }
}

void TConversionJob::Warn(const std::string& file_name, const std::string& text) {
  warnings_.push_back(text);
  host_.FileWarning(file_name, text);
}

void TConversionJob::ReadImage(const std::string& file_name, TOutputFormat format,
                               TPicture& picture) {
  TBitmap& image = picture.image;
  switch (picture.reader) {
    case TReader::kBmp:
      picture.resized = ReadBmpFile(file_name, image, [&](int width, int height, bool fourth_byte) {
        return ChooseStreamedResize(width, height, fourth_byte, picture);
      });
      break;
    case TReader::kPng:
      picture.resized = ReadPngFile(
          file_name, image,
          [&](const std::vector<std::uint8_t>& profile, const TChunkIHDR& header) {
            if (profile.empty()) {  // an iCCP chunk that does not inflate
              IgnoreProfile(file_name, picture, Tr(kProfileUnreadable));
              return TPngProfileUse{};
            }
            picture.profile = profile;
            const int type = header.colour_type;
            PlanPictureColour(file_name, format,
                              type == 0 || type == 4 ? TColourSpace::kGrey : TColourSpace::kRgb,
                              picture);
            TPngProfileUse use;
            use.raw_samples =
                picture.colour.convert || (picture.colour.keep && !picture.colour.srgb);
            // 16-bit colour goes through a 16-bit transform as it is decoded.
            if (picture.colour.convert && header.bit_depth == 16 && (type == 2 || type == 6)) {
              try {
                auto transform = colour_transforms_->ToSrgb(
                    profile, type == 6 ? TPixelLayout::kRgba16 : TPixelLayout::kRgb16);
                use.deep_rows = [transform](const std::uint8_t* samples, std::uint8_t* bgr,
                                            std::size_t count) {
                  transform->Apply(samples, bgr, count);
                };
                picture.colour_converted = true;
              } catch (const EColourProfile& error) {
                IgnoreProfile(file_name, picture, error.Message());
                return TPngProfileUse{};
              }
            }
            return use;
          },
          [&](const TChunkIHDR& header) {
            return ChooseStreamedResize(static_cast<int>(header.width),
                                        static_cast<int>(header.height), false, picture);
          });
      break;
    case TReader::kJpeg: ReadJpegFile(file_name, image); break;
    case TReader::kPlugins: host_.ReadByPlugins(file_name, image); break;
  }
}

std::unique_ptr<TStreamedResize> TConversionJob::ChooseStreamedResize(int width, int height,
                                                                      bool fourth_byte,
                                                                      TPicture& picture) {
  std::optional<std::pair<int, int>> target;
  try {
    target = ResizeTarget(width, height);
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception&) {
    return nullptr;  // asked again once the picture is read, failing where it always did
  }
  picture.target = target;
  picture.target_known = true;
  // A picture enlarged with its colours to convert is converted first, at its smaller size.
  if (!target ||
      (picture.colour.convert && !picture.colour_converted && Enlarges(width, height, *target)))
    return nullptr;
  // Sepia follows the colour conversion: rows are toned as they are made only when no
  // conversion is left for the resized picture.
  const bool sepia = settings_.Checked(TSetting::kSepiaMode) &&
                     !(picture.colour.convert && !picture.colour_converted);
  std::unique_ptr<TStreamedResize> resize =
      TStreamedResize::For(ResampleMethodOf(settings_.Choice(TSetting::kResampleMode)), width,
                           height, target->first, target->second, sepia, fourth_byte, work_);
  picture.toned = resize && resize->Tones();
  return resize;
}

bool TConversionJob::PageEmbedsInput(const TPicture& picture) const {
  return PdfKeepsInputJpeg(picture.reader, picture.target.has_value()) &&
         UprightRotation(picture.orientation) >= 0;
}

void TConversionJob::PlanPictureColour(const std::string& file_name, TOutputFormat format,
                                       TColourSpace pixel_space, TPicture& picture) {
  const bool embeds = format == TOutputFormat::kPdf && PageEmbedsInput(picture);
  picture.colour = PlanColour(ProfileModeOf(settings_.Choice(TSetting::kColorProfile)),
                              settings_.Checked(TSetting::kKeepMetadata), CarrierOf(format, embeds),
                              picture.profile, pixel_space, *colour_transforms_);
  if (!picture.colour.ignored.empty()) IgnoreProfile(file_name, picture, picture.colour.ignored);
}

void TConversionJob::IgnoreProfile(const std::string& file_name, TPicture& picture,
                                   std::string reason) {
  picture.colour = {};
  picture.colour_converted = false;
  Warn(file_name, FormatText(Tr(kProfileIgnoredWarning), {reason}));
}

void TConversionJob::ConvertColour(const std::string& file_name, TPicture& picture) {
  if (!picture.colour.convert || picture.colour_converted) return;
  try {
    ConvertToSrgb(picture.image, *colour_transforms_, picture.profile);
    picture.colour_converted = true;
  } catch (const EColourProfile& error) {
    IgnoreProfile(file_name, picture, error.Message());
  }
}

bool TConversionJob::PdfKeepsInputJpeg(TReader reader, bool resized) const {
  // With no target size, or one the picture already fits inside with the shape kept, and no
  // sepia.
  bool size_kept =
      settings_.Choice(TSetting::kTargetRes) == 0 && !settings_.Checked(TSetting::kCustomSize);
  if (settings_.Checked(TSetting::kKeepAspect) && !resized) size_kept = true;
  return size_kept && !settings_.Checked(TSetting::kSepiaMode) && reader == TReader::kJpeg;
}

bool TConversionJob::PageNeedsNoPixels(TOutputFormat format, bool resized, int orientation) const {
  // A mirror image cannot be shown by turning the page: its pixels are compressed anew. The
  // colour reduction runs on the pixels (and may fail on them) even though the page keeps the
  // input's bytes, so it decodes too.
  return format == TOutputFormat::kPdf && TakesPages() &&
         PdfKeepsInputJpeg(TReader::kJpeg, resized) && UprightRotation(orientation) >= 0 &&
         !settings_.Checked(TSetting::kReduce256ColorMode);
}

std::optional<std::pair<int, int>> TConversionJob::ResizeTarget(int image_width, int image_height) {
  int index = settings_.Choice(TSetting::kTargetRes);
  int width = 0, height = 0;
  if (settings_.Checked(TSetting::kCustomSize)) {
    width = settings_.Clamped(TSetting::kCustomWidth);
    height = settings_.Clamped(TSetting::kCustomHeight);
  } else if (index == 1) {
    // Asking for the display size is not part of the resize: a host that cannot tell fails the
    // file with its own message rather than the resize message.
    std::tie(width, height) = host_.PrimaryDisplaySize();
  } else if (index >= 2 && index <= 9) {
    width = kTargetWidths[index];
    height = kTargetHeights[index];
  } else {
    return std::nullopt;  // no resize, or an index beyond the table (hand-edited file)
  }
  if (settings_.Checked(TSetting::kKeepAspect) && width > 0 && height > 0) {
    // The target is a box: the picture fits inside with its shape kept and is never enlarged,
    // so a picture already inside the box is left as it is.
    if (image_width <= width && image_height <= height) return std::nullopt;
    return FitInside(image_width, image_height, width, height);
  }
  return std::make_pair(width, height);
}

void TConversionJob::Resize(TBitmap& image, std::pair<int, int> target) {
  try {
    ResizeBitmap(image, target.first, target.second,
                 ResampleMethodOf(settings_.Choice(TSetting::kResampleMode)), work_);
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception&) {
    host_.ShowErrorMessage(Tr(kResizeErrorText), Tr(kResizeErrorCaption));
    // The file is written at its own size: converted, but not as asked. The message box has
    // told the user; the warning only counts it.
    warnings_.push_back(Tr(kResizeErrorText));
  }
}

bool TConversionJob::Write(const TPicture& picture, const std::string& file_name,
                           const std::string& output_path, const std::string& output_key) {
  const TBitmap& image = picture.image;
  const int orientation = picture.orientation;
  TOutputFormat format = OutputFormatOf(settings_.Choice(TSetting::kFileFormat));
  if (format == TOutputFormat::kPdf) {
    if (!TakesPages()) return true;
    // A JPEG that kept its pixels embeds its own bytes. A turned photo embedded unchanged turns
    // its page instead; a mirror image cannot be shown by turning, so those pixels are
    // compressed anew, upright.
    const bool embed = PageEmbedsInput(picture);
    TPdfPagePicture page =
        MakePdfPagePicture(image, file_name, embed, settings_.Clamped(TSetting::kJPEGQL),
                           embed ? UprightRotation(orientation) : 0, work_);
    if (picture.colour.keep) page.jpeg.SetIccProfile(picture.profile);
    AddPage(std::move(page));
    return true;
  }
  std::optional<TJpegMetadata> kept = KeptMetadata(picture, format, file_name);
  const TJpegMetadata* keep = kept ? &*kept : nullptr;
  // The output lands only when complete: a failure leaves any old file untouched. Without
  // overwriting, a file that appears at the path meanwhile (or is there under another spelling,
  // where the file system ignores case) is kept.
  const bool overwrite = settings_.Choice(TSetting::kOverWrite) != 0;
  auto out = std::make_unique<TSafeFileStream>(
      output_path, overwrite ? TExistingFile::kReplace : TExistingFile::kKeep);
  switch (format) {
    case TOutputFormat::kBmp: WriteBmp(image, *out); break;
    case TOutputFormat::kJpeg:
      WriteJpeg(image, *out, settings_.Clamped(TSetting::kJPEGQL), keep, work_);
      break;
    case TOutputFormat::kPng:
      WritePng(image, *out, settings_.Clamped(TSetting::kPNGCL), keep,
               settings_.Choice(TSetting::kPNGFilters) == 1);
      break;
    case TOutputFormat::kWebP:
      WriteWebPFile(image, *out, settings_.Clamped(TSetting::kWebPQuality),
                    settings_.Checked(TSetting::kWebPLossless), keep);
      break;
    case TOutputFormat::kAvif:
      WriteAvifFile(image, *out, settings_.Clamped(TSetting::kAVIFQuality),
                    settings_.Clamped(TSetting::kAVIFSpeed), keep);
      break;
    case TOutputFormat::kPdf: break;  // handled above
  }
  // The input's modification time, to the nanosecond; with {date} in a name pattern the EXIF
  // date names the file but never dates it.
  if (settings_.Checked(TSetting::kKeepDate)) {
    struct stat info;
    if (::stat(file_name.c_str(), &info) == 0)
      out->SetModificationTime(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
  }
  if (output_hold_) {
    output_hold_({std::move(out), output_key, file_name});
    return true;
  }
  if (!out->Commit()) return false;
  RecordDropOutput(output_key, file_name);
  return true;
}

}  // namespace qv
