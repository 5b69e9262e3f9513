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
  const TDropName name = names_.At(index).value();
  host_.RunFile([&] { result = ConvertDropName(job_, snapshot_, name, index); });
  return result;
}

}  // namespace qv
