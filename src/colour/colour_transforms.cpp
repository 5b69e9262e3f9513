// The drop's colour profiles and transforms. The table of profiles is locked only to find or
// make an entry; each entry has a lock of its own, held while its profile is read or a transform
// built (LittleCMS reads a profile's tags as it goes, so one profile is never used by two
// threads at once), so jobs with other profiles never wait for it.
#include "colour/colour_transforms.h"

#include <array>
#include <string>

namespace qv {

struct TColourTransforms::TEntry {
  std::mutex mutex;
  bool read = false;
  std::shared_ptr<const TIccProfile> profile;
  std::string error;  // why the profile failed
  std::array<std::shared_ptr<const TColourTransform>, kPixelLayoutCount> transforms;
  std::array<std::string, kPixelLayoutCount> transform_errors;
};

TColourTransforms::TColourTransforms() = default;
TColourTransforms::~TColourTransforms() = default;

std::shared_ptr<TColourTransforms::TEntry> TColourTransforms::EntryOf(
    const std::vector<std::uint8_t>& bytes) {
  std::shared_ptr<TEntry> entry;
  {
    std::lock_guard lock(mutex_);
    std::shared_ptr<TEntry>& slot = entries_[bytes];
    if (!slot) slot = std::make_shared<TEntry>();
    entry = slot;
  }
  return entry;
}

std::shared_ptr<const TIccProfile> TColourTransforms::Profile(
    const std::vector<std::uint8_t>& bytes) {
  std::shared_ptr<TEntry> entry = EntryOf(bytes);
  std::lock_guard lock(entry->mutex);
  if (!entry->read) {
    entry->read = true;
    try {
      entry->profile = std::make_shared<const TIccProfile>(bytes);
    } catch (const EColourProfile& error) {
      entry->error = error.Message();
    }
  }
  if (!entry->profile) throw EColourProfile(entry->error);
  return entry->profile;
}

std::shared_ptr<const TColourTransform> TColourTransforms::ToSrgb(
    const std::vector<std::uint8_t>& bytes, TPixelLayout layout) {
  std::shared_ptr<const TIccProfile> profile = Profile(bytes);
  std::shared_ptr<TEntry> entry = EntryOf(bytes);
  const auto index = static_cast<std::size_t>(layout);
  std::lock_guard lock(entry->mutex);
  if (!entry->transforms[index] && entry->transform_errors[index].empty()) {
    try {
      entry->transforms[index] = std::make_shared<const TColourTransform>(*profile, layout);
      std::lock_guard count_lock(mutex_);
      ++built_;
    } catch (const EColourProfile& error) {
      entry->transform_errors[index] = error.Message();
    }
  }
  if (!entry->transforms[index]) throw EColourProfile(entry->transform_errors[index]);
  return entry->transforms[index];
}

void TColourTransforms::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
  built_ = 0;
}

int TColourTransforms::TransformsBuilt() const {
  std::lock_guard lock(mutex_);
  return built_;
}

}  // namespace qv
