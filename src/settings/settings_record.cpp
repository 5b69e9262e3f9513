// The settings record: the settings dialog's controls as a model, for the command line.
#include "settings/settings_record.h"

#include <algorithm>

#include "runtime/exceptions.h"
#include "runtime/strings.h"

namespace qv {

namespace {

enum class Kind { kInteger, kBoolean, kText };

struct KeyInfo {
  const char* key;
  Kind kind;
  const char* fallback;
};

constexpr KeyInfo kKeys[] = {
    {"TargetRes", Kind::kInteger, "0"},    {"FileFormat", Kind::kInteger, "0"},
    {"SepiaMode", Kind::kBoolean, "0"},    {"Reduce256ColorMode", Kind::kBoolean, "0"},
    {"DstDir", Kind::kText, ""},           {"OutputMode", Kind::kInteger, "0"},
    {"OverWrite", Kind::kInteger, "0"},    {"ResampleMode", Kind::kInteger, "0"},
    {"PNGCL", Kind::kText, "9"},           {"JPEGQL", Kind::kText, "85"},
};

}  // namespace

TSettingsRecord::TSettingsRecord() {
  for (const auto& info : kKeys) values_.emplace_back(info.key, info.fallback);
}

bool TSettingsRecord::SetValue(const std::string& key, const std::string& value) {
  for (std::size_t i = 0; i < std::size(kKeys); ++i) {
    if (key != kKeys[i].key) continue;
    if (kKeys[i].kind != Kind::kText && !ParseInt32(value)) return false;
    values_[i].second = value;
    return true;
  }
  return false;
}

std::vector<std::pair<std::string, std::string>> TSettingsRecord::Values() const {
  return values_;
}

void TSettingsRecord::LoadFromIni(const std::string&, const std::string&) {}

void TSettingsRecord::SaveToIni(const std::string&, const std::string&) const {
  throw Exception("Saving settings is not built into this version");
}

namespace {

const std::string& Find(const std::vector<std::pair<std::string, std::string>>& values,
                        const char* key) {
  for (const auto& [k, v] : values)
    if (k == key) return v;
  static const std::string empty;
  return empty;
}

}  // namespace

int TSettingsRecord::OutputMode() const { return StrToIntDef(Find(values_, "OutputMode"), 0); }
std::string TSettingsRecord::DstDir() const { return Find(values_, "DstDir"); }
int TSettingsRecord::OverWrite() const { return StrToIntDef(Find(values_, "OverWrite"), 0); }
int TSettingsRecord::FileFormat() const { return StrToIntDef(Find(values_, "FileFormat"), 0); }
int TSettingsRecord::TargetRes() const { return StrToIntDef(Find(values_, "TargetRes"), 0); }
int TSettingsRecord::ResampleMode() const { return StrToIntDef(Find(values_, "ResampleMode"), 0); }
bool TSettingsRecord::SepiaMode() const { return StrToIntDef(Find(values_, "SepiaMode"), 0) != 0; }
bool TSettingsRecord::Reduce256ColorMode() const {
  return StrToIntDef(Find(values_, "Reduce256ColorMode"), 0) != 0;
}
int TSettingsRecord::JPEGQL() const { return StrToIntDef(Find(values_, "JPEGQL"), 1); }
int TSettingsRecord::PNGCL() const { return StrToIntDef(Find(values_, "PNGCL"), 0); }

std::string DefaultIniPath() { return {}; }
std::string DefaultIniSection() { return {}; }

}  // namespace qv
