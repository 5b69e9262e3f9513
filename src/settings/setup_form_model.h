// The settings dialog's control tree as a model: every control with its design-time value.
#pragma once

#include <memory>

#include "settings/model_control.h"

namespace qv {

// Builds the tree of the form "SetupForm" as the dialog lays it out, from the setting table:
//   SetupForm
//     PageControl1
//       TabSheet1 .. TabSheet4: the controls of the rows on the image, saving, photos and batch
//         pages, in the rows' order (radio groups with their items, check boxes, spin
//         fields with their range and spin button, the folder's ellipsis edit with its button)
//     StoredOnly: hidden controls of the rows on no page
//     GoButton, CancelButton (push buttons)
// every control at its row's default. The form stands at (0, 0); its size is not modelled.
std::unique_ptr<TModelControl> MakeSetupFormModel();

}  // namespace qv
