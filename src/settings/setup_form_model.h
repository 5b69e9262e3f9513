// The settings dialog's control tree as a model: every control with its design-time value.
#pragma once

#include <memory>

#include "settings/model_control.h"

namespace qv {

// Builds the tree of the form "SetupForm" as the dialog lays it out, in its child order:
//   SetupForm
//     PageControl1
//       TabSheet1: TargetRes (radio group, 10 items, 0), FileFormat (radio group, 4 items, 0),
//                  SepiaMode (check box, unchecked), Reduce256ColorMode (check box, unchecked)
//       TabSheet2: Label1, Label2 (labels), DstDir (ellipsis edit, "", with its button),
//                  OutputMode (radio group, 2 items, 0), OverWrite (radio group, 2 items, 0),
//                  ResampleMode (radio group, 6 items, 0), PNGCL (spin field 0..9, "9"),
//                  JPEGQL (spin field 1..100, "85"); each spin field holds its spin button
//       TabSheet3: the photo options (see PhotoSettingDefaults): AutoOrient, KeepMetadata,
//                  KeepAspect, CustomSize (check boxes, unchecked), CustomWidth, CustomHeight (spin
//                  fields 1..65535, "1024", "768")
//     GoButton, CancelButton (push buttons)
// The form stands at (0, 0); its size is not modelled (0 x 0).
std::unique_ptr<TModelControl> MakeSetupFormModel();

}  // namespace qv
