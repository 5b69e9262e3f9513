// The names of a drop converted one after the other, each when the batch run asks for it.
#include "app/in_place_drop.h"

namespace qv {

const IJobSettings& TInPlaceDrop::SettingsFor(int) {
  snapshot_.Take(settings_);
  return snapshot_;
}

TFileResult TInPlaceDrop::Finish(int index) {
  return ConvertDropName(job_, snapshot_, names_.At(index).value(), index);
}

}  // namespace qv
