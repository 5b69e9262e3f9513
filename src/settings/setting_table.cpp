// The rows of every setting.
#include "settings/setting_table.h"

#include <array>

#include "runtime/exceptions.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

namespace {

using enum TSettingKind;
using enum TSettingPage;

constexpr TItemCaption kTargetResItems[] = {
    {N_("No resizing")},
    {N_("Fit to the desktop size")},
    {N_("96x96 (MSN messenger ICON)")},
    {NC_("settings dialog", "640x480"), "settings dialog"},
    {"800x600"},
    {"1024x768"},
    {"1152x864"},
    {"1280x960"},
    {"1280x1024"},
    {"1600x1200"},
};
constexpr const char* kTargetResNames[] = {"none",      "desktop",  "96x96",    "640x480",
                                           "800x600",   "1024x768", "1152x864", "1280x960",
                                           "1280x1024", "1600x1200"};

constexpr TItemCaption kFileFormatItems[] = {
    {N_("Bitmap (Windows BMP)")},     {N_("JPEG (small, some loss)")},
    {N_("PNG (small, lossless)")},    {N_("PDF (an Adobe PDF file)")},
    {N_("WebP (smaller than JPEG)")}, {N_("AVIF (smallest, slow to write)")},
};
constexpr const char* kFileFormatNames[] = {"bmp", "jpeg,jpg", "png", "pdf", "webp", "avif"};

constexpr TItemCaption kOutputModeItems[] = {
    {N_("Beside the input file")},
    {N_("Into the folder given below")},
};
constexpr const char* kOutputModeNames[] = {"beside", "folder"};

constexpr TItemCaption kOverWriteItems[] = {{N_("Pass it over")}, {N_("Overwrite it")}};
constexpr const char* kOverWriteNames[] = {"pass", "overwrite"};

constexpr TItemCaption kResampleModeItems[] = {{"Bi-Linear"}, {"Bi-Linear(MMX)"}, {"Mitchell"},
                                               {"Lanczos3"},  {"B-Spline"},       {"Bell"}};
constexpr const char* kResampleModeNames[] = {"bilinear", "bilinear-mmx", "mitchell",
                                              "lanczos3", "bspline",      "bell"};

constexpr TItemCaption kColorProfileItems[] = {
    {N_("Convert to sRGB (as every viewer shows it)")},
    {N_("Keep in the output (convert only for BMP)")},
    {N_("Ignore (numbers unchanged, profile dropped)")},
};
constexpr const char* kColorProfileNames[] = {"srgb", "keep", "ignore"};

// What a drop in the window does with inputs it would replace by their own conversions.
constexpr TItemCaption kReplaceOriginalsItems[] = {
    {N_("Ask")}, {N_("Replace them")}, {N_("Skip them")}};
constexpr const char* kReplaceOriginalsNames[] = {"ask", "replace", "skip"};

constexpr TItemCaption kPngFilterItems[] = {{"sub"}, {"all"}};
constexpr const char* kPngFilterNames[] = {"sub", "all"};

// The dialog's first two pages hold the settings the file has always had (and the web formats'
// settings beside JPEG's and PNG's); every setting added since is optional, so a file of default
// settings keeps its old contents.
constexpr TSettingRow kRows[] = {
    {.id = TSetting::kTargetRes,
     .key = "TargetRes",
     .kind = kChoice,
     .default_value = "0",
     .items = kTargetResItems,
     .names = kTargetResNames,
     .page = kImage,
     .caption = N_("Output &size"),
     .option = "--size",
     .option_value = TOptionValue::kSize,
     .help = N_("or any WIDTHxHEIGHT, each side 1..65535")},
    {.id = TSetting::kFileFormat,
     .key = "FileFormat",
     .kind = kChoice,
     .default_value = "0",
     .items = kFileFormatItems,
     .names = kFileFormatNames,
     .page = kImage,
     .caption = N_("Output &format"),
     .option = "--format",
     .help = N_("output format")},
    {.id = TSetting::kSepiaMode,
     .key = "SepiaMode",
     .kind = kCheck,
     .default_value = "0",
     .page = kImage,
     .caption = N_("Save in sepia tones"),
     .option = "--sepia",
     .option_value = TOptionValue::kFlag,
     .help = N_("tone the pictures sepia")},
    {.id = TSetting::kReduce256ColorMode,
     .key = "Reduce256ColorMode",
     .kind = kCheck,
     .default_value = "0",
     .page = kImage,
     .caption = N_("Reduce to 256 colours"),
     .option = "--reduce256",
     .option_value = TOptionValue::kFlag,
     .help = N_("reduce the pictures to 256 colours")},
    {.id = TSetting::kDstDir,
     .key = "DstDir",
     .kind = kText,
     .default_value = "",
     .page = kSaving,
     .option = "--out",
     .value_name = "DIR",
     .help = N_("write into DIR (created when missing)"),
     .also_key = "OutputMode",
     .also_value = "1"},
    {.id = TSetting::kOutputMode,
     .key = "OutputMode",
     .kind = kChoice,
     .default_value = "0",
     .items = kOutputModeItems,
     .names = kOutputModeNames,
     .page = kSaving,
     .caption = N_("&Destination")},
    {.id = TSetting::kOverWrite,
     .key = "OverWrite",
     .kind = kChoice,
     .default_value = "0",
     .items = kOverWriteItems,
     .names = kOverWriteNames,
     .page = kSaving,
     .caption = N_("If the output exi&sts"),
     .option = "--overwrite",
     .option_value = TOptionValue::kFlag,
     .help = N_("overwrite existing outputs (default: pass them over)")},
    {.id = TSetting::kResampleMode,
     .key = "ResampleMode",
     .kind = kChoice,
     .default_value = "0",
     .items = kResampleModeItems,
     .names = kResampleModeNames,
     .page = kSaving,
     .caption = N_("Resa&mpling method"),
     .option = "--resample",
     .help = N_("resampling method")},
    {.id = TSetting::kPNGCL,
     .key = "PNGCL",
     .kind = kNumber,
     .default_value = "9",
     .min_value = 0,
     .max_value = 9,
     .page = kSaving,
     .caption = N_("PNG Compress Level"),
     .option = "--png-level",
     .value_name = "N",
     .help = N_("PNG compression level 0..9")},
    {.id = TSetting::kJPEGQL,
     .key = "JPEGQL",
     .kind = kNumber,
     .default_value = "85",
     .min_value = 1,
     .max_value = 100,
     .page = kSaving,
     .caption = N_("JPEG Quality Level"),
     .option = "--quality",
     .value_name = "N",
     .help = N_("JPEG quality 1..100")},
    {.id = TSetting::kWebPQuality,
     .key = "WebPQuality",
     .kind = kNumber,
     .default_value = "80",
     .optional = true,
     .min_value = 1,
     .max_value = 100,
     .page = kSaving,
     .caption = N_("WebP Quality Level"),
     .option = "--webp-quality",
     .value_name = "N",
     .help = N_("WebP quality 1..100 (with --webp-lossless: the effort\n"
                "spent on a smaller file)")},
    {.id = TSetting::kWebPLossless,
     .key = "WebPLossless",
     .kind = kCheck,
     .default_value = "0",
     .optional = true,
     .page = kSaving,
     .caption = N_("WebP &lossless (exact pixels)"),
     .option = "--webp-lossless",
     .option_value = TOptionValue::kFlag,
     .help = N_("write WebP files without loss")},
    {.id = TSetting::kAVIFQuality,
     .key = "AVIFQuality",
     .kind = kNumber,
     .default_value = "60",
     .optional = true,
     .min_value = 1,
     .max_value = 100,
     .page = kSaving,
     .caption = N_("AVIF Quality Level"),
     .option = "--avif-quality",
     .value_name = "N",
     .help = N_("AVIF quality 1..100")},
    {.id = TSetting::kAutoOrient,
     .key = "AutoOrient",
     .kind = kCheck,
     .default_value = "0",
     .optional = true,
     .page = kPhotos,
     .caption = N_("Turn photos &upright by their EXIF orientation"),
     .option = "--auto-orient",
     .option_value = TOptionValue::kFlag,
     .help = N_("turn photos upright by their EXIF orientation (JPEG, and HEIC,\n"
                "AVIF or JPEG XL files that state no orientation of their own;\n"
                "in a PDF, an unchanged JPEG turns the page instead)")},
    {.id = TSetting::kKeepMetadata,
     .key = "KeepMetadata",
     .kind = kCheck,
     .default_value = "0",
     .optional = true,
     .page = kPhotos,
     .caption = N_("Keep &EXIF data and colour profile (into JPEG, PNG, WebP or AVIF)"),
     .option = "--keep-metadata",
     .option_value = TOptionValue::kFlag,
     .help = N_("into JPEG, PNG, WebP or AVIF: keep the EXIF data and the\n"
                "colour profile of a JPEG, HEIC, AVIF or JPEG XL photo")},
    {.id = TSetting::kKeepAspect,
     .key = "KeepAspect",
     .kind = kCheck,
     .default_value = "0",
     .optional = true,
     .page = kPhotos,
     .caption = N_("&Keep the aspect ratio: fit inside the target size, never enlarge"),
     .option = "--fit",
     .option_value = TOptionValue::kFlag,
     .help = N_("keep the aspect ratio: scale to fit inside the --size\nbox, never enlarging")},
    {.id = TSetting::kCustomSize,
     .key = "CustomSize",
     .kind = kCheck,
     .default_value = "0",
     .optional = true,
     .page = kPhotos,
     .caption = N_("&Custom target size instead of the listed sizes:")},
    {.id = TSetting::kCustomWidth,
     .key = "CustomWidth",
     .kind = kNumber,
     .default_value = "1024",
     .optional = true,
     .min_value = kCustomSizeMin,
     .max_value = kCustomSizeMax,
     .page = kPhotos},
    {.id = TSetting::kCustomHeight,
     .key = "CustomHeight",
     .kind = kNumber,
     .default_value = "768",
     .optional = true,
     .min_value = kCustomSizeMin,
     .max_value = kCustomSizeMax,
     .page = kPhotos},
    {.id = TSetting::kColorProfile,
     .key = "ColorProfile",
     .kind = kChoice,
     .default_value = "0",
     .optional = true,
     .items = kColorProfileItems,
     .names = kColorProfileNames,
     .page = kPhotos,
     .caption = N_("Colour &profiles of the pictures"),
     .option = "--color-profile",
     .help = N_("a picture's colour profile: convert to sRGB (default),\n"
                "keep it in the output (implied by --keep-metadata),\n"
                "or ignore it")},
    {.id = TSetting::kRecurse,
     .key = "Recurse",
     .kind = kCheck,
     .default_value = "0",
     .optional = true,
     .page = kBatch,
     .caption = N_("Convert dropped &folders with their subfolders"),
     .option = "--recursive",
     .short_option = "-r",
     .option_value = TOptionValue::kFlag,
     .help = N_("a folder named stands for the pictures under it, its\n"
                "subfolders included (with --out their tree is mirrored)")},
    {.id = TSetting::kNamePattern,
     .key = "NamePattern",
     .kind = kText,
     .default_value = "",
     .optional = true,
     .page = kBatch,
     .caption = N_("Output &name:"),
     .option = "--name",
     .value_name = "PATTERN",
     .help = N_("output names from a pattern with the fields {name},\n"
                "{ext}, {n}, {n:3}, {w}, {h}, {date}, {date:%Y%m%d},\n"
                "{folder}; names a drop makes twice get \" (2)\"")},
    {.id = TSetting::kKeepDate,
     .key = "KeepDate",
     .kind = kCheck,
     .default_value = "0",
     .optional = true,
     .page = kBatch,
     .caption = N_("Give each output the modification &date of its input"),
     .option = "--keep-date",
     .option_value = TOptionValue::kFlag,
     .help = N_("give each output the modification time of its input")},
    // The window's: the command line has --keep-going for a run.
    {.id = TSetting::kKeepGoing,
     .key = "KeepGoing",
     .kind = kCheck,
     .default_value = "0",
     .optional = true,
     .page = kBatch,
     .caption = N_("&Keep going after a file fails (the result list names it)")},
    {.id = TSetting::kJobs,
     .key = "Jobs",
     .kind = kNumber,
     .default_value = "0",
     .optional = true,
     .min_value = 0,
     .max_value = kMaxJobs,
     .page = kBatch,
     .caption = N_("Files converted at &once (0: one per core):"),
     .option = "--jobs",
     .short_option = "-j",
     .value_name = "N",
     .help = N_("convert up to N files at once (0: one per core, the\n"
                "default); outputs, PDF page order and messages are\n"
                "those of -j 1")},
    // The window's: the command line replaces files only with --overwrite.
    {.id = TSetting::kReplaceOriginals,
     .key = "ReplaceOriginals",
     .kind = kChoice,
     .default_value = "0",
     .optional = true,
     .items = kReplaceOriginalsItems,
     .names = kReplaceOriginalsNames,
     .page = kBatch,
     .caption = N_("Re&placing originals")},
    {.id = TSetting::kResultListAlways,
     .key = "ResultListAlways",
     .kind = kCheck,
     .default_value = "0",
     .optional = true,
     .page = kBatch,
     .caption = N_("Open the result &list after every drop, not only after a problem")},
    {.id = TSetting::kFastShrink,
     .key = "FastShrink",
     .kind = kCheck,
     .default_value = "0",
     .optional = true,
     .option = "--fast-shrink",
     .option_value = TOptionValue::kFlag,
     .help = N_("decode a JPEG that is reduced at 1/2, 1/4 or 1/8 size\n"
                "first (faster; pixels differ slightly)")},
    {.id = TSetting::kPNGFilters,
     .key = "PNGFilters",
     .kind = kChoice,
     .default_value = "0",
     .optional = true,
     .items = kPngFilterItems,
     .names = kPngFilterNames,
     .option = "--png-filters",
     .help = N_("PNG row filters: Sub on every row (default), or the\n"
                "best of all five per row (smaller files)")},
    {.id = TSetting::kIncludeHidden,
     .key = "IncludeHidden",
     .kind = kCheck,
     .default_value = "0",
     .optional = true,
     .option = "--include-hidden",
     .option_value = TOptionValue::kFlag,
     .help = N_("with --recursive, also names with a leading dot")},
    {.id = TSetting::kAVIFSpeed,
     .key = "AVIFSpeed",
     .kind = kNumber,
     .default_value = "6",
     .optional = true,
     .min_value = 0,
     .max_value = 10,
     .option = "--avif-speed",
     .value_name = "N",
     .help = N_("AVIF encoder speed 0 (slowest, smallest) to 10 (fastest)")},
    {.id = TSetting::kMemoryBudget,
     .key = "MemoryBudget",
     .kind = kText,
     .default_value = "",
     .optional = true,
     .option = "--memory-budget",
     .option_value = TOptionValue::kBytes,
     .value_name = "SIZE",
     .help = N_("memory the pictures of files converted at once may\n"
                "take (bytes, or with K, M, G; default: half the\n"
                "available memory, or QV_MEMORY_BUDGET)")},
};

// Every row stands at its setting's place, the rows of a page together in the order of the pages
// (the order the dialog's controls are walked in), and a choice's names match its items.
constexpr bool RowsInOrder() {
  for (std::size_t i = 0; i < std::size(kRows); ++i) {
    if (static_cast<std::size_t>(kRows[i].id) != i) return false;
    if (i > 0 && kRows[i].page < kRows[i - 1].page) return false;
    if (kRows[i].kind == kChoice && kRows[i].items.size() != kRows[i].names.size()) return false;
  }
  return true;
}
static_assert(std::size(kRows) == kSettingCount, "a row for every setting");
static_assert(RowsInOrder(), "rows in the order of TSetting and of the pages; choices named");

// The first name of a "name,alias" entry.
std::string_view FirstName(std::string_view entry) { return entry.substr(0, entry.find(',')); }

}  // namespace

std::span<const TSettingRow> SettingRows() { return kRows; }

const TSettingRow& RowOf(TSetting setting) { return kRows[static_cast<std::size_t>(setting)]; }

const TSettingRow* FindSettingRow(std::string_view key) {
  for (const TSettingRow& row : kRows)
    if (EqualsNoCase(row.key, key)) return &row;
  return nullptr;
}

std::optional<std::string> StoredValueOf(const TSettingRow& row, const std::string& text) {
  std::optional<std::int32_t> number = ParseInt32(text);
  switch (row.kind) {
    case kChoice:
      if (!number || *number < -1 || *number >= static_cast<int>(row.items.size()))
        return std::nullopt;
      return IntToStr(*number);
    case kCheck:
      if (!number) return std::nullopt;
      return *number != 0 ? "1" : "0";
    case kNumber:
      if (!number) return std::nullopt;
      return text;
    case kText:
      if (text.find_first_of("\r\n") != std::string::npos) return std::nullopt;
      return text;
  }
  return std::nullopt;
}

int ChoiceOfName(const TSettingRow& row, std::string_view name) {
  for (std::size_t i = 0; i < row.names.size(); ++i) {
    std::string_view entry = row.names[i];
    for (std::size_t from = 0;;) {
      std::size_t comma = entry.find(',', from);
      if (entry.substr(from, comma - from) == name) return static_cast<int>(i);
      if (comma == std::string_view::npos) break;
      from = comma + 1;
    }
  }
  return -1;
}

std::string ChoiceNames(const TSettingRow& row) {
  std::string list;
  for (const char* name : row.names) {
    if (!list.empty()) list += '|';
    list += FirstName(name);
  }
  return list;
}

}  // namespace qv
