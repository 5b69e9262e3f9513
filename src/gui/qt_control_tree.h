// The input controls of a Qt form as the settings layer sees them: kind, name and value.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace qv::gui {

enum class TQtControlKind { Edit, CheckBox, RadioButton, RadioGroup, ListBox, ComboBox };

struct TQtControl {
  QWidget* widget;
  TQtControlKind kind;
};

// The form's input controls in walk order: children in creation order, depth first; a matched
// control (edit, check box, radio button, radio group, list box, combo box) is not descended
// into, so the buttons inside a radio group or a spin edit do not appear on their own.
std::vector<TQtControl> WalkQtControls(QWidget* container);

// The control's object name in the core's charset.
std::string ControlName(const TQtControl& control);
// Edits: the text. Check boxes and radio buttons: checked. Groups, lists, combos: item index.
std::string ControlText(const TQtControl& control);
void SetControlText(const TQtControl& control, const std::string& text);
bool ControlChecked(const TQtControl& control);
void SetControlChecked(const TQtControl& control, bool checked);
int ControlIndex(const TQtControl& control);
// Clamped to -1 .. item count - 1.
void SetControlIndex(const TQtControl& control, int index);

}  // namespace qv::gui
