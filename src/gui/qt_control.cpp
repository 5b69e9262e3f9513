// Qt widgets seen through the settings layer's control tree (kind, name, children, value).
#include "gui/qt_control.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QStackedWidget>

#include "widgets/radio_group.h"

namespace qv::gui {

namespace {

TControlKind KindOf(QWidget* widget) {
  if (qobject_cast<QLineEdit*>(widget)) return TControlKind::kEdit;
  if (qobject_cast<QCheckBox*>(widget)) return TControlKind::kCheckBox;
  if (qobject_cast<QRadioButton*>(widget)) return TControlKind::kRadioButton;
  if (qobject_cast<widgets::TRadioGroup*>(widget)) return TControlKind::kRadioGroup;
  if (qobject_cast<QListWidget*>(widget)) return TControlKind::kListBox;
  if (qobject_cast<QComboBox*>(widget)) return TControlKind::kComboBox;
  return TControlKind::kOther;
}

// Object names are UTF-8 (they are ASCII component names here).
std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }
QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TQtControl::TQtControl(QWidget* widget) : widget_(widget), kind_(KindOf(widget)) {}

TQtControl::~TQtControl() = default;

std::string TQtControl::Name() const { return Utf8(widget_->objectName()); }

std::optional<std::string> TQtControl::OptionalDefault() const {
  QVariant value = widget_->property(kOptionalDefaultProperty);
  if (!value.isValid()) return std::nullopt;
  return Utf8(value.toString());
}

void TQtControl::ListChildren() const {
  if (listed_) return;
  listed_ = true;
  // The pages of a page control in page order: raising the shown page reorders the stack's
  // children, but the pages were created in page order.
  if (auto* stack = qobject_cast<QStackedWidget*>(widget_)) {
    for (int i = 0; i < stack->count(); ++i)
      children_.push_back(std::make_unique<TQtControl>(stack->widget(i)));
    return;
  }
  for (QObject* child : widget_->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    // Dialogs and menus owned by a form are windows of their own, not its controls.
    if (!widget || widget->isWindow()) continue;
    children_.push_back(std::make_unique<TQtControl>(widget));
  }
}

std::size_t TQtControl::ChildCount() const {
  ListChildren();
  return children_.size();
}

IControl* TQtControl::Child(std::size_t index) {
  ListChildren();
  return index < children_.size() ? children_[index].get() : nullptr;
}

// Text in the settings layer is UTF-8, as Qt's own text is; folder names that are not valid
// UTF-8 are carried by the edit as Qt decoded them.
std::string TQtControl::Text() const {
  auto* edit = qobject_cast<QLineEdit*>(widget_);
  return edit ? Utf8(edit->text()) : std::string();
}

void TQtControl::SetText(const std::string& text) {
  if (auto* edit = qobject_cast<QLineEdit*>(widget_)) edit->setText(FromUtf8(text));
}

bool TQtControl::Checked() const {
  auto* button = qobject_cast<QAbstractButton*>(widget_);
  return button && button->isChecked();
}

void TQtControl::SetChecked(bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget_)) button->setChecked(checked);
}

int TQtControl::ItemIndex() const {
  if (auto* group = qobject_cast<widgets::TRadioGroup*>(widget_)) return group->ItemIndex();
  if (auto* list = qobject_cast<QListWidget*>(widget_)) return list->currentRow();
  if (auto* combo = qobject_cast<QComboBox*>(widget_)) return combo->currentIndex();
  return -1;
}

void TQtControl::SetItemIndex(int index) {
  if (auto* group = qobject_cast<widgets::TRadioGroup*>(widget_))
    group->SetItemIndex(index);
  else if (auto* list = qobject_cast<QListWidget*>(widget_))
    list->setCurrentRow(index);
  else if (auto* combo = qobject_cast<QComboBox*>(widget_))
    combo->setCurrentIndex(index);
}

int TQtControl::ItemCount() const {
  if (auto* group = qobject_cast<widgets::TRadioGroup*>(widget_)) return group->Count();
  if (auto* list = qobject_cast<QListWidget*>(widget_)) return list->count();
  if (auto* combo = qobject_cast<QComboBox*>(widget_)) return combo->count();
  return 0;
}

TQtForm::TQtForm(QWidget* form) : form_(form), control_(form) {}

int TQtForm::Top() const { return form_->y(); }
int TQtForm::Left() const { return form_->x(); }
int TQtForm::Height() const { return form_->frameGeometry().height(); }
int TQtForm::Width() const { return form_->frameGeometry().width(); }
void TQtForm::SetTop(int top) { form_->move(form_->x(), top); }
void TQtForm::SetLeft(int left) { form_->move(left, form_->y()); }
void TQtForm::SetHeight(int height) {
  form_->resize(form_->width(), height - (form_->frameGeometry().height() - form_->height()));
}
void TQtForm::SetWidth(int width) {
  form_->resize(width - (form_->frameGeometry().width() - form_->width()), form_->height());
}

}  // namespace qv::gui
