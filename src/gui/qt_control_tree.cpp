// The input controls of a Qt form as the settings layer sees them: kind, name and value.
#include "gui/qt_control_tree.h"

#include <algorithm>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include "widgets/error_box.h"
#include "widgets/radio_group.h"

namespace qv::gui {

namespace {

void Walk(QWidget* container, std::vector<TQtControl>& out) {
  for (QObject* child : container->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (!widget) continue;
    if (qobject_cast<QLineEdit*>(widget)) {
      out.push_back({widget, TQtControlKind::Edit});
    } else if (qobject_cast<QCheckBox*>(widget)) {
      out.push_back({widget, TQtControlKind::CheckBox});
    } else if (qobject_cast<QRadioButton*>(widget)) {
      out.push_back({widget, TQtControlKind::RadioButton});
    } else if (qobject_cast<widgets::TRadioGroup*>(widget)) {
      out.push_back({widget, TQtControlKind::RadioGroup});
    } else if (qobject_cast<QListWidget*>(widget)) {
      out.push_back({widget, TQtControlKind::ListBox});
    } else if (qobject_cast<QComboBox*>(widget)) {
      out.push_back({widget, TQtControlKind::ComboBox});
    } else if (!widget->isWindow()) {
      // Dialogs owned by the form (its save dialog) are windows of their own, not its controls.
      Walk(widget, out);
    }
  }
}

}  // namespace

std::vector<TQtControl> WalkQtControls(QWidget* container) {
  std::vector<TQtControl> out;
  if (container) Walk(container, out);
  return out;
}

std::string ControlName(const TQtControl& control) { return widgets::ToLocal(control.widget->objectName()); }

std::string ControlText(const TQtControl& control) {
  if (auto* edit = qobject_cast<QLineEdit*>(control.widget)) return widgets::ToLocal(edit->text());
  return {};
}

void SetControlText(const TQtControl& control, const std::string& text) {
  if (auto* edit = qobject_cast<QLineEdit*>(control.widget)) edit->setText(widgets::FromLocal(text));
}

bool ControlChecked(const TQtControl& control) {
  auto* button = qobject_cast<QAbstractButton*>(control.widget);
  return button && button->isChecked();
}

void SetControlChecked(const TQtControl& control, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(control.widget)) button->setChecked(checked);
}

int ControlIndex(const TQtControl& control) {
  if (auto* group = qobject_cast<widgets::TRadioGroup*>(control.widget)) return group->ItemIndex();
  if (auto* list = qobject_cast<QListWidget*>(control.widget)) return list->currentRow();
  if (auto* combo = qobject_cast<QComboBox*>(control.widget)) return combo->currentIndex();
  return -1;
}

void SetControlIndex(const TQtControl& control, int index) {
  if (auto* group = qobject_cast<widgets::TRadioGroup*>(control.widget)) {
    group->SetItemIndex(index);
  } else if (auto* list = qobject_cast<QListWidget*>(control.widget)) {
    list->setCurrentRow(std::clamp(index, -1, list->count() - 1));
  } else if (auto* combo = qobject_cast<QComboBox*>(control.widget)) {
    combo->setCurrentIndex(std::clamp(index, -1, combo->count() - 1));
  }
}

}  // namespace qv::gui
