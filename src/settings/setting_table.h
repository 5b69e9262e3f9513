// The home of every setting: one row each, with its INI key, kind, default, range or choices, the
// control that holds it and the command-line option that sets it. The INI file, the settings
// dialog's model, --set, --show-settings, the option parser, the help text and the snapshot a
// worker converts with all follow from the rows.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qv {

// The settings, in the order of the rows (which is the order of the INI file's keys).
enum class TSetting {
  kTargetRes,
  kFileFormat,
  kSepiaMode,
  kReduce256ColorMode,
  kDstDir,
  kOutputMode,
  kOverWrite,
  kResampleMode,
  kPNGCL,
  kJPEGQL,
  kWebPQuality,
  kWebPLossless,
  kAVIFQuality,
  kAutoOrient,
  kKeepMetadata,
  kKeepAspect,
  kCustomSize,
  kCustomWidth,
  kCustomHeight,
  kColorProfile,
  kRecurse,
  kNamePattern,
  kKeepDate,
  kKeepGoing,
  kJobs,
  kReplaceOriginals,
  kResultListAlways,
  kFastShrink,
  kPNGFilters,
  kIncludeHidden,
  kAVIFSpeed,
  kMemoryBudget,
  kCount  // not a setting: the number of them
};
inline constexpr std::size_t kSettingCount = static_cast<std::size_t>(TSetting::kCount);

// How a setting is held, and the text it is stored as.
enum class TSettingKind {
  kChoice,  // a radio group: the item index, -1 for none ("3")
  kCheck,   // a check box: "1" or "0"
  kNumber,  // a spin field: its text, a decimal integer as typed ("85"; not clamped there)
  kText,    // an edit: any text without line breaks
};

// Where the setting's control sits in the settings dialog. Settings of no page have hidden
// controls: the INI file and the command line set them.
enum class TSettingPage { kImage, kSaving, kPhotos, kBatch, kNone };

// What the command-line option of a setting takes.
enum class TOptionValue {
  kFlag,   // no value: sets the setting to "1"
  kValue,  // a choice's name, a number in the setting's range, or a text that is not empty
  kSize,   // --size: a named TargetRes item, or WIDTHxHEIGHT (a custom size)
  kBytes,  // a number of bytes, with K, M or G after it (see ParseByteSize)
};

// A caption of a choice's item, translated in the dialog (in context when one is given).
struct TItemCaption {
  const char* text;
  const char* context = nullptr;
};

struct TSettingRow {
  TSetting id;
  const char* key;  // the INI key and the control's name
  TSettingKind kind;
  const char* default_value;  // the control's design-time value, as stored text
  // Left out of a section that does not hold it until it leaves default_value, so a file of
  // default settings keeps the contents it had before the setting existed.
  bool optional = false;
  int min_value = 0;  // kNumber: the field's range
  int max_value = 0;
  std::span<const TItemCaption> items = {};  // kChoice: the items as the dialog shows them
  std::span<const char* const> names = {};   // kChoice: the items as the command line names them
  TSettingPage page = TSettingPage::kNone;
  const char* caption = nullptr;  // the control's caption or label (its group's title)
  // The command-line option that sets it (nullptr: only --set does), what it takes, the value's
  // name in the help text, and the help text.
  const char* option = nullptr;
  const char* short_option = nullptr;  // "-r"
  TOptionValue option_value = TOptionValue::kValue;
  const char* value_name = nullptr;
  const char* help = nullptr;
  // A setting the option sets too, to this value (--out also writes into the folder).
  const char* also_key = nullptr;
  const char* also_value = nullptr;
};

// Every row, in the order of TSetting.
std::span<const TSettingRow> SettingRows();
const TSettingRow& RowOf(TSetting setting);
// The row whose key is key (ASCII case ignored, as the INI file's keys are); nullptr if none.
const TSettingRow* FindSettingRow(std::string_view key);

// The text a setting is stored as when given text (--set, the INI file), or none when the text
// is no value of it: a choice takes a decimal index from -1 to the item count - 1, a check box a
// decimal integer (not 0 is checked: "1"), a number field a decimal integer kept as given (like
// text typed into the field, it is not clamped), a text field anything without a line break.
std::optional<std::string> StoredValueOf(const TSettingRow& row, const std::string& text);

// The index of a choice's command-line name (the first of its names separated by ","), or -1.
int ChoiceOfName(const TSettingRow& row, std::string_view name);
// A choice's names as the help text lists them: "bmp|jpeg|png|pdf".
std::string ChoiceNames(const TSettingRow& row);

// The most files converted at once (Jobs; 0 is one per core).
inline constexpr int kMaxJobs = 1024;

// Limits of a custom target size, in pixels per side.
inline constexpr int kCustomSizeMin = 1;
inline constexpr int kCustomSizeMax = 65535;

}  // namespace qv
