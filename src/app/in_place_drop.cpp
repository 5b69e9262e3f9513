// The names of a drop converted one after the other on the calling thread.
#include "app/in_place_drop.h"

#include "app/batch_host.h"

namespace qv {

const IJobSettings& TInPlaceDrop::SettingsFor(int) {
  snapshot_.Take(settings_);
  return snapshot_;
}

TFileResult TInPlaceDrop::Finish(int index) {
  TFileResult result;
  host_.RunFile(
      [&] { result = ConvertDropName(job_, snapshot_, files_[static_cast<std::size_t>(index)]); });
  return result;
}

}  // namespace qv
